// Parses the same bytes through the memory source and through the file reader (a
// temporary file), each without a time limit and with one that does not run out:
// the results must all be the same, or the target stops with the field that differs.
#include <fcntl.h>
#include <unistd.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "byte_source.h"
#include "plovik/avi_parser.h"

namespace {

using plovik::CAviParser;

// A limit far beyond one run: the scans read the clock, yet it never runs out.
constexpr std::uint32_t kUnreachedLimit = 3'600'000;

// The temporary file stays open: rewriting it in place costs no flush, which closing a
// file truncated to nothing does on some file systems.
struct TempFile {
    std::string path;
    int fd = -1;
};

// In memory where the system offers it.
TempFile MakeTemp() {
    for (const char* dir : {"/dev/shm", "/tmp"}) {
        std::string name = std::string(dir) + "/plovik-fuzz-XXXXXX";
        if (const int fd = ::mkstemp(name.data()); fd >= 0) return {name, fd};
    }
    std::abort();
}

// Never destroyed, so that it is still there when the exit handler removes the file.
const TempFile& Temp() {
    static const TempFile* const temp = [] {
        const auto* t = new TempFile(MakeTemp());
        std::atexit([] { ::unlink(Temp().path.c_str()); });
        return t;
    }();
    return *temp;
}

void WriteTemp(std::string_view bytes) {
    const int fd = Temp().fd;
    if (::pwrite(fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()) ||
        ::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0) {
        std::abort();
    }
}

void Differ(const char* field) {
    std::fprintf(stderr, "results differ: %s\n", field);
    std::abort();
}

#define EXPECT_SAME(field) \
    if (!(a.field == b.field)) Differ(#field)
#define EXPECT_SAME_BYTES(field) \
    if (std::memcmp(&a.field, &b.field, sizeof a.field) != 0) Differ(#field)

void ExpectSame(const CAviParser& a, bool resultA, const CAviParser& b, bool resultB) {
    if (resultA != resultB) Differ("result");
    EXPECT_SAME(m_nError);
    EXPECT_SAME_BYTES(m_MainHeader);
    EXPECT_SAME_BYTES(m_AudioHeader);
    EXPECT_SAME_BYTES(m_VideoHeader);
    EXPECT_SAME_BYTES(m_TextHeader);
    EXPECT_SAME_BYTES(m_VideoFormat);
    EXPECT_SAME(m_AudioFormat.wFormatTag);
    EXPECT_SAME(m_AudioFormat.nChannels);
    EXPECT_SAME(m_AudioFormat.nSamplesPerSec);
    EXPECT_SAME(m_AudioFormat.nAvgBytesPerSec);
    EXPECT_SAME(m_AudioFormat.nBlockAlign);
    EXPECT_SAME(m_AudioFormat.wBitsPerSample);
    EXPECT_SAME(m_AudioFormat.cbSize);
    EXPECT_SAME(m_strPathName);
    EXPECT_SAME(m_dwRiffSize);
    EXPECT_SAME(m_qwFileSize);
    EXPECT_SAME(m_qwDataSize);
    EXPECT_SAME(m_llMoviPos);
    EXPECT_SAME(m_llMoviSize);
    EXPECT_SAME(m_llIndexPos);
    EXPECT_SAME(m_llIndexSize);
    EXPECT_SAME(m_bHasText);
    EXPECT_SAME(m_nKeyFrames);
    EXPECT_SAME(m_bIndexOK);
    EXPECT_SAME(m_nIndexKind);
    EXPECT_SAME(m_nIndexFrames);
    EXPECT_SAME(m_dwIndexTotalFrames);
    EXPECT_SAME(m_nRiffParts);
    EXPECT_SAME(m_Layout.nAudioStream);
    EXPECT_SAME(m_strSoftware);
    EXPECT_SAME(m_llFilePos);
    EXPECT_SAME(IsFrontIndex());
    EXPECT_SAME(VideoSuperIndex().size());
    for (std::size_t i = 0; i < a.VideoSuperIndex().size(); ++i) {
        EXPECT_SAME(VideoSuperIndex()[i].qwOffset);
        EXPECT_SAME(VideoSuperIndex()[i].dwSize);
        EXPECT_SAME(VideoSuperIndex()[i].dwDuration);
    }
    EXPECT_SAME(m_arKeyFrames.size());
    for (std::size_t k = 0; k < a.m_arKeyFrames.size(); ++k) {
        EXPECT_SAME(m_arKeyFrames[k].dwChunkOffset);
        EXPECT_SAME(m_arKeyFrames[k].dwReserved);
        EXPECT_SAME(m_arKeyFrames[k].qwChunkPos);
        if (std::bit_cast<std::uint64_t>(a.m_arKeyFrames[k].dTime) !=
            std::bit_cast<std::uint64_t>(b.m_arKeyFrames[k].dTime)) {
            Differ("m_arKeyFrames[k].dTime");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    WriteTemp(bytes);
    const std::string& path = Temp().path;
    // Reused as a caller may reuse one: a fresh parser each time would test less.
    static CAviParser memory, file, memoryTimed, fileTimed;
    const bool fromMemory =
        memory.ParseFrom(plovik::MakeMemorySource(bytes), path, 0xFFFFFFFF, false);
    const bool fromFile = file.Parse(path, 0xFFFFFFFF, false);
    const bool fromMemoryTimed =
        memoryTimed.ParseFrom(plovik::MakeMemorySource(bytes), path, kUnreachedLimit, false);
    const bool fromFileTimed = fileTimed.Parse(path, kUnreachedLimit, false);
    ExpectSame(memory, fromMemory, file, fromFile);
    ExpectSame(memory, fromMemory, memoryTimed, fromMemoryTimed);
    ExpectSame(memory, fromMemory, fileTimed, fromFileTimed);
    return 0;
}
