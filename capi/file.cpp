// plovik_file: one analysed file, its record, verdict and findings; and the check's rules.
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "boundary.h"
#include "file_result.h"
#include "plovik/file_analysis.h"
#include "plovik/file_facts.h"
#include "reader_file.h"
#include "records.h"

struct plovik_file {
    std::string path;
    std::unique_ptr<plovik::CFileAnalysis> analysis;
    // Filled when first asked for; judged once the verdict or the findings are asked for.
    std::optional<plovik::FileResult> result;
    bool judged = false;
};

namespace plovik::capi {
namespace {

constexpr unsigned kOpenFlags = PLOVIK_OPEN_SCAN;

// A fresh analysis allocates its records and buffers anew, which costs about what analysing a
// small file costs: closed handles leave theirs for the next open, as a batch reuses its
// analyser. A few are kept, for the threads that open files at once.
class SpareAnalyses {
  public:
    std::unique_ptr<CFileAnalysis> Take() {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_spare.empty()) {
                std::unique_ptr<CFileAnalysis> analysis = std::move(m_spare.back());
                m_spare.pop_back();
                return analysis;
            }
        }
        return std::make_unique<CFileAnalysis>();
    }
    // Never allocates: the room for kKept is there from the start.
    void Give(std::unique_ptr<CFileAnalysis> analysis) noexcept {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_spare.size() < m_spare.capacity()) m_spare.push_back(std::move(analysis));
    }

    static SpareAnalyses& Instance() {
        static SpareAnalyses spare;
        return spare;
    }

  private:
    SpareAnalyses() { m_spare.reserve(kKept); }
    static constexpr std::size_t kKept = 8;
    std::mutex m_mutex;
    std::vector<std::unique_ptr<CFileAnalysis>> m_spare;
};
constexpr unsigned kRecordFlags = PLOVIK_RECORD_CHECK | PLOVIK_RECORD_KEY_FRAMES;

// The facts, filled once (again when they are to be judged and were not).
FileResult& Result(plovik_file& file, bool judged) {
    if (!file.result || (judged && !file.judged)) {
        file.result.emplace(FileResult{FillFacts(file.path, *file.analysis, judged), {}});
        file.judged = judged;
    }
    return *file.result;
}

plovik_status FailureStatus(const FileFacts& facts) {
    switch (facts.status) {
        case FileStatus::kOpenFailed:
            return PLOVIK_ERROR_OPEN;
        case FileStatus::kNotAvi:
            return PLOVIK_ERROR_NOT_AVI;
        case FileStatus::kHeaderFailed:
            return PLOVIK_ERROR_HEADER;
        default:
            return facts.readFailure ? PLOVIK_ERROR_READ : PLOVIK_OK;
    }
}

int SeverityCode(Severity severity) {
    switch (severity) {
        case Severity::kError:
            return PLOVIK_SEVERITY_ERROR;
        case Severity::kWarning:
            return PLOVIK_SEVERITY_WARNING;
        case Severity::kInfo:
            break;
    }
    return PLOVIK_SEVERITY_INFO;
}

plovik_verdict VerdictCode(Verdict verdict) {
    switch (verdict) {
        case Verdict::kUnreadable:
            return PLOVIK_VERDICT_UNREADABLE;
        case Verdict::kDamaged:
            return PLOVIK_VERDICT_DAMAGED;
        case Verdict::kWarnings:
            return PLOVIK_VERDICT_WARNINGS;
        case Verdict::kOk:
            break;
    }
    return PLOVIK_VERDICT_OK;
}

// The facts refer to the analysis: they go first.
void Close(plovik_file* file) noexcept {
    if (file == nullptr) return;
    file->result.reset();
    if (file->analysis) SpareAnalyses::Instance().Give(std::move(file->analysis));
    delete file;
}

// Analyses through analyse(analysis, options) and hands out the handle, unless the scan
// was stopped.
template <class Analyse>
plovik_status Open(std::string path, unsigned flags, plovik_progress_fn progress, void* user,
                   plovik_file** file, Analyse&& analyse) {
    if (file == nullptr) return Fail(PLOVIK_ERROR_ARGUMENT, "no place for the handle");
    *file = nullptr;
    if ((flags & ~kOpenFlags) != 0) return Fail(PLOVIK_ERROR_ARGUMENT, "unknown open flags");
    auto opened = std::make_unique<plovik_file>();
    opened->path = std::move(path);
    opened->analysis = SpareAnalyses::Instance().Take();
    ProgressRelay relay(progress, user);
    CFileAnalysis::Options options;
    options.scan = (flags & PLOVIK_OPEN_SCAN) != 0;
    options.indexTallies = true;  // the record is the JSON one, which shows them
    options.data.progress = relay.Callback();
    options.data.stop = relay.Flag();
    analyse(*opened->analysis, opened->path, options);
    if (opened->analysis->m_bScanned && opened->analysis->m_scan.m_bStopped) {
        Close(opened.release());
        return Fail(PLOVIK_ERROR_STOPPED, "the scan was stopped");
    }
    *file = opened.release();
    return PLOVIK_OK;
}

}  // namespace
}  // namespace plovik::capi

using namespace plovik;
using capi::Fail;
using capi::Guarded;

extern "C" {

plovik_status plovik_open(const char* path, unsigned flags, plovik_progress_fn progress, void* user,
                          plovik_file** file) {
    return Guarded([&] {
        if (path == nullptr || *path == '\0') {
            if (file != nullptr) *file = nullptr;
            return Fail(PLOVIK_ERROR_ARGUMENT, "no path");
        }
        return capi::Open(
            path, flags, progress, user, file,
            [](CFileAnalysis& analysis, const std::string& name,
               const CFileAnalysis::Options& options) { analysis.Analyse(name, options); });
    });
}

plovik_status plovik_open_reader(const plovik_reader* reader, const char* name, unsigned flags,
                                 plovik_progress_fn progress, void* user, plovik_file** file) {
    return Guarded([&] {
        if (reader == nullptr || reader->read == nullptr) {
            if (file != nullptr) *file = nullptr;
            return Fail(PLOVIK_ERROR_ARGUMENT, "no reader");
        }
        capi::ReaderFile bytes(*reader);
        return capi::Open(name != nullptr ? name : "", flags, progress, user, file,
                          [&bytes](CFileAnalysis& analysis, const std::string& path,
                                   const CFileAnalysis::Options& options) {
                              analysis.AnalyseOpen(bytes, path, options);
                          });
    });
}

void plovik_close(plovik_file* file) { capi::Close(file); }

plovik_status plovik_file_failure(plovik_file* file, const char** message) {
    return Guarded([&] {
        if (message != nullptr) *message = "";
        if (file == nullptr) return Fail(PLOVIK_ERROR_ARGUMENT, "no handle");
        const FileFacts& facts = capi::Result(*file, false).facts;
        if (message != nullptr) *message = facts.failure.c_str();
        return capi::FailureStatus(facts);
    });
}

plovik_status plovik_record(plovik_file* file, unsigned flags, char** json, size_t* length) {
    return Guarded([&] {
        if (json != nullptr) *json = nullptr;
        if (length != nullptr) *length = 0;
        if (file == nullptr || json == nullptr) return Fail(PLOVIK_ERROR_ARGUMENT, "no handle");
        if ((flags & ~capi::kRecordFlags) != 0) {
            return Fail(PLOVIK_ERROR_ARGUMENT, "unknown record flags");
        }
        const bool check = (flags & PLOVIK_RECORD_CHECK) != 0;
        const std::string record = JsonRecord(
            capi::Result(*file, check), {.keyFrameTimes = (flags & PLOVIK_RECORD_KEY_FRAMES) != 0,
                                         .check = check,
                                         .scan = file->analysis->m_bScanned});
        *json = capi::HandedOut(record, length);
        if (*json == nullptr) return Fail(PLOVIK_ERROR_NO_MEMORY, "out of memory");
        return PLOVIK_OK;
    });
}

plovik_status plovik_verdict_of(plovik_file* file, plovik_verdict* verdict) {
    return Guarded([&] {
        if (file == nullptr || verdict == nullptr) return Fail(PLOVIK_ERROR_ARGUMENT, "no handle");
        *verdict = capi::VerdictCode(capi::Result(*file, true).facts.verdict);
        return PLOVIK_OK;
    });
}

plovik_status plovik_finding_count(plovik_file* file, size_t* count) {
    return Guarded([&] {
        if (file == nullptr || count == nullptr) return Fail(PLOVIK_ERROR_ARGUMENT, "no handle");
        *count = capi::Result(*file, true).facts.findings.size();
        return PLOVIK_OK;
    });
}

plovik_status plovik_finding_at(plovik_file* file, size_t index, plovik_finding* finding) {
    return Guarded([&] {
        if (file == nullptr || finding == nullptr) return Fail(PLOVIK_ERROR_ARGUMENT, "no handle");
        const std::vector<Finding>& findings = capi::Result(*file, true).facts.findings;
        if (index >= findings.size())
            return Fail(PLOVIK_ERROR_ARGUMENT, "no finding of that index");
        const Finding& found = findings[index];
        *finding = {.rule = found.rule->id,
                    .severity = capi::SeverityCode(found.severity),
                    .has_position = found.position.has_value(),
                    .position = found.position.value_or(0),
                    .has_length = found.length.has_value(),
                    .length = found.length.value_or(0),
                    .message = found.message.c_str()};
        return PLOVIK_OK;
    });
}

size_t plovik_rule_count(void) { return Rules().size(); }

plovik_status plovik_rule_at(size_t index, const char** id, int* severity, const char** summary) {
    const std::span<const Rule> rules = Rules();
    if (index >= rules.size()) return Fail(PLOVIK_ERROR_ARGUMENT, "no rule of that index");
    if (id != nullptr) *id = rules[index].id;
    if (severity != nullptr) *severity = capi::SeverityCode(rules[index].severity);
    if (summary != nullptr) *summary = rules[index].summary;
    return PLOVIK_OK;
}

}  // extern "C"
