// Drives the C interface with arbitrary bytes through its read callback, which hands them
// out in pieces of a size the input's length chooses (1 byte to 128 KiB): every call must end with
// a status, the record must be one JSON line, and the verdict must be the findings' (ok: no error
// and no warning; anything else: at least one finding).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "plovik/plovik.h"

namespace {

struct Pieces {
    std::string_view bytes;
    std::size_t piece;  // the most one read gives
};

std::int64_t ReadPiece(void* user, std::uint64_t position, void* buffer, std::size_t n) {
    const Pieces& input = *static_cast<const Pieces*>(user);
    if (position >= input.bytes.size()) return 0;
    const std::size_t got = std::min({n, input.piece, input.bytes.size() - position});
    std::memcpy(buffer, input.bytes.data() + position, got);
    return static_cast<std::int64_t>(got);
}

void Require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Pieces input{{reinterpret_cast<const char*>(data), size}, std::size_t{1} << (size % 18)};
    const plovik_reader reader{&input, input.bytes.size(), &ReadPiece};
    plovik_file* file = nullptr;
    Require(plovik_open_reader(&reader, "fuzz.avi", PLOVIK_OPEN_SCAN, nullptr, nullptr, &file) ==
            PLOVIK_OK);
    const char* reason = nullptr;
    (void)plovik_file_failure(file, &reason);
    Require(reason != nullptr);

    char* json = nullptr;
    std::size_t length = 0;
    Require(plovik_record(file, PLOVIK_RECORD_CHECK | PLOVIK_RECORD_KEY_FRAMES, &json, &length) ==
            PLOVIK_OK);
    Require(length >= 2 && json[0] == '{' && json[length - 1] == '\n' &&
            std::memchr(json, '\n', length) == json + length - 1);
    plovik_free(json);

    plovik_verdict verdict = PLOVIK_VERDICT_OK;
    std::size_t count = 0;
    Require(plovik_verdict_of(file, &verdict) == PLOVIK_OK);
    Require(plovik_finding_count(file, &count) == PLOVIK_OK);
    bool judged = false;  // an error or a warning
    for (std::size_t i = 0; i < count; ++i) {
        plovik_finding finding;
        Require(plovik_finding_at(file, i, &finding) == PLOVIK_OK);
        Require(finding.rule != nullptr && finding.message != nullptr);
        judged = judged || finding.severity != PLOVIK_SEVERITY_INFO;
    }
    Require((verdict == PLOVIK_VERDICT_OK) != judged);
    plovik_close(file);
    return 0;
}
