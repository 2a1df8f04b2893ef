#include "plovik/cli.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <span>
#include <string_view>

#include "check_line.h"
#include "file_result.h"
#include "file_system.h"
#include "file_walk.h"
#include "name_list.h"
#include "ordered_jobs.h"
#include "plovik/text_encoding.h"
#include "processors.h"
#include "progress.h"
#include "records.h"

namespace plovik {
namespace {

constexpr std::string_view kProgram = "plovik-report";

constexpr std::string_view kUsage =
    "Usage: plovik-report [OPTION]... FILE...\n"
    "       plovik-report [OPTION]... --files0-from=F\n"
    "Prints the information report of each AVI file; reports are separated by an empty line.\n"
    "A FOLDER stands for the .avi files under it, in all its subfolders, sorted by path.\n"
    "\n"
    "Options:\n"
    "  --format FMT      text (default), json (JSON Lines, one object per file), csv, or\n"
    "                    archivematica (with --check, for one FILE: a validation command's\n"
    "                    answer; exit status 0 whenever it is written)\n"
    "  --check           one line per file: 'PATH: ok' or its findings with their rule ids;\n"
    "                    reads the movie data too (the whole file)\n"
    "  --quick           with --check, the headers and the index only: the movie data are\n"
    "                    not read ('PATH: ok (movie data not read)')\n"
    "  --strict          with --check, a file with warnings fails too\n"
    "  --list-rules      print the rules of the check (with --format json: JSON Lines)\n"
    "  --key-frames      with --format json: the key-frame times too\n"
    "  --scan            also read the movie data: frames and audio present, damaged\n"
    "                    regions and frames, index entries (reads the whole file)\n"
    "  --encoding ENC    text and csv output in utf-8 (default) or cp949\n"
    "  --files0-from=F   read the NUL-separated names from F ('-': standard input)\n"
    "  -j, --jobs N      analyse up to N files at once (default: the usable processors);\n"
    "                    the output is the same, in the same order\n"
    "  --shard I/N       only every N-th file of the full list, from the I-th (0 <= I < N)\n"
    "  --help            show this help and exit\n"
    "  --version         show the version and exit\n"
    "  --                end of options; every later argument is a FILE\n"
    "\n"
    "Exit status: 0 when every file gave a full report (--check: when no file has an error\n"
    "finding), 1 when a file could not be read as AVI, a folder holds no AVI file or (--check)\n"
    "a file is damaged or unreadable, 2 for a usage error.\n";

void WriteUsageError(CliOutput& err, const std::string& message) {
    err << kProgram << ": " << message << "\n"
        << "Try '" << kProgram << " --help' for more information.\n";
}

// Each file's record in the format the options ask for, as the bytes of the output.
// Workers share it: it keeps no state of its own.
class RecordFormat {
  public:
    explicit RecordFormat(const CliOptions& options)
        : m_options(options),
          m_record{
              .keyFrameTimes = options.keyFrames, .check = options.check, .scan = options.scan} {}

    std::string Header() const {
        return m_options.format == OutputFormat::kCsv ? Encoded(CsvHeader(m_record)) : "";
    }

    // The text report is moved out of result into the record.
    std::string Record(FileResult& result) const {
        switch (m_options.format) {
            case OutputFormat::kJson:
                return JsonRecord(result, m_record);  // UTF-8 whatever the encoding
            case OutputFormat::kCsv:
                return Encoded(CsvRecord(result, m_record));
            case OutputFormat::kArchivematica:
                return ArchivematicaRecord(result.facts);  // UTF-8 like JSON
            case OutputFormat::kText:
                break;
        }
        if (m_options.check) return Encoded(CheckLine(result.facts));
        return Encoded(std::move(result.report));
    }

    // Text in the encoding of the output.
    std::string Encoded(std::string utf8) const {
        if (m_options.encoding == OutputEncoding::kCp949) return Utf8ToCp949(utf8);
        return utf8;
    }

    // Text reports are separated by an empty line; the other records end their own lines.
    bool SeparatedByEmptyLine() const {
        return m_options.format == OutputFormat::kText && !m_options.check;
    }

  private:
    const CliOptions& m_options;
    RecordOptions m_record;
};

// When the records written so far are handed on. A terminal gets each record at once; a
// file or pipe gets them in large writes (a write per small file costs as much as reading
// it), yet within a tenth of a second, and before anything is written to standard error,
// so that a log of both streams keeps their order.
class OutputPacing {
  public:
    OutputPacing(CliOutput& out, bool eachRecord) : m_out(out), m_eachRecord(eachRecord) {}

    void RecordWritten() {
        if (m_eachRecord) {
            Flush();
        } else {
            FlushIfDue();
        }
    }
    void FlushIfDue() {
        if (Clock::now() - m_lastFlush >= kLongestDelay) Flush();
    }
    void Flush() {
        m_out.Flush();
        m_lastFlush = Clock::now();
    }

  private:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration kLongestDelay = std::chrono::milliseconds(100);

    CliOutput& m_out;
    bool m_eachRecord;
    Clock::time_point m_lastFlush = Clock::now();
};

// "plovik-report: PATH: reason", the path escaped as a check line escapes it.
std::string Diagnostic(const std::string& displayPath, const std::string& reason) {
    const LineName name = NameForLine(displayPath);
    return std::string(name.escaped ? "\\" : "") + std::string(kProgram) + ": " + name.text + ": " +
           reason + "\n";
}

// True when the file counts as a success for the exit status. The archivematica answer
// carries the outcome itself.
bool Succeeded(const FileResult& result, const CliOptions& options) {
    if (options.format == OutputFormat::kArchivematica) return true;
    if (options.check) return PassesCheck(result.facts.verdict, options.strict);
    return !GaveOnlyMessage(result.facts.status) && !result.facts.readFailure;
}

// One file's outcome, ready to be written in its place.
struct FileOutcome {
    FileResult result;
    std::string record;      // its bytes on standard output (the text report moved here)
    std::string diagnostic;  // its line on standard error; empty for none
    bool noFiles = false;    // a folder named that holds no AVI file: no record
};

// The record is made at once: a result that waits for earlier files refers to nothing of its
// analyser, which goes on to its next file.
FileOutcome Outcome(FileAnalyser& analyser, const WalkItem& item, const RecordFormat& format) {
    if (item.noFiles) {  // an empty or unmounted folder must not pass
        return {
            {}, {}, format.Encoded(Diagnostic(FileTextToUtf8(item.path), "no AVI files")), true};
    }
    FileOutcome outcome{analyser.Analyse(item), {}, {}, false};
    outcome.record = format.Record(outcome.result);
    // The analyser goes on to its next file: nothing of the record may refer to it now.
    outcome.result.facts.index.keyFrameList = nullptr;
    if (!outcome.result.facts.failure.empty()) {
        outcome.diagnostic = format.Encoded(
            Diagnostic(outcome.result.facts.displayPath, outcome.result.facts.failure));
    }
    return outcome;
}

// Thrown from a long scan whose result is no longer wanted.
struct RunStopped {};

// Writes the outcomes in the order of their files and counts them.
class BatchOutput {
  public:
    BatchOutput(const CliOptions& options, const CliStreams& streams, ProgressLine& progress,
                const RecordFormat& format)
        : m_options(options),
          m_streams(streams),
          m_progress(progress),
          m_format(format),
          m_pacing(streams.out, streams.outIsTerminal) {
        m_streams.out << m_format.Header();
    }

    void Write(const FileOutcome& outcome) {
        if (!outcome.diagnostic.empty()) {
            m_progress.Clear();
            m_pacing.Flush();
            m_streams.err << outcome.diagnostic;
        }
        if (outcome.noFiles) {
            m_allSucceeded = false;
            return;
        }
        if (m_streams.outIsTerminal) m_progress.Clear();
        if (m_format.SeparatedByEmptyLine() && m_written != 0) m_streams.out << '\n';
        m_streams.out << outcome.record;
        m_pacing.RecordWritten();
        m_allSucceeded = m_allSucceeded && Succeeded(outcome.result, m_options);
        m_tally.Add(outcome.result.facts);
        ++m_written;
    }

    // Now and then while a file takes long: the records before it leave.
    void FlushIfDue() { m_pacing.FlushIfDue(); }

    std::size_t Written() const { return m_written; }
    bool Interrupted() const { return m_streams.interrupted != nullptr && *m_streams.interrupted; }
    // Nobody reads on, or a signal asked to stop: the rest would be lost anyway.
    bool Stopped() const { return !m_streams.out.Good() || Interrupted(); }

    int Finish() {
        m_progress.Clear();
        m_pacing.Flush();
        if (Interrupted()) return kExitFailureMessage;  // whole records, no summary of a part
        if (!m_streams.out.Good()) {
            m_streams.err << kProgram << ": cannot write the report\n";
            return kExitFailureMessage;
        }
        if (m_options.check && m_tally.Files() > 1)
            m_streams.err << m_tally.SummaryLine(m_options.scan);
        return m_allSucceeded ? kExitOk : kExitFailureMessage;
    }

  private:
    const CliOptions& m_options;
    const CliStreams& m_streams;
    ProgressLine& m_progress;
    const RecordFormat& m_format;
    OutputPacing m_pacing;
    CheckTally m_tally;
    bool m_allSucceeded = true;
    std::size_t m_written = 0;
};

// One analyser for each worker, each with its own key-frame times and report area.
std::vector<std::unique_ptr<FileAnalyser>> MakeAnalysers(const CliOptions& options,
                                                         std::size_t count) {
    const bool textReport = options.format == OutputFormat::kText && !options.check;
    std::vector<std::unique_ptr<FileAnalyser>> analysers;
    for (std::size_t i = 0; i < count; ++i) {
        analysers.push_back(std::make_unique<FileAnalyser>(textReport, options.scan, options.check,
                                                           options.format == OutputFormat::kJson));
    }
    return analysers;
}

// The scans of the first analyser, which works on the calling thread, show on the progress
// line and let the records before them leave; a signal ends them. The other analysers'
// scans end once their results are no longer wanted.
void WatchScans(std::vector<std::unique_ptr<FileAnalyser>>& analysers, BatchOutput& output,
                ProgressLine& progress, std::size_t files, const std::atomic<bool>& stopWork) {
    analysers[0]->SetScanProgress([&, files](std::uint64_t scanned, std::uint64_t size) {
        if (output.Interrupted()) throw RunStopped{};
        progress.UpdateScan(output.Written(), files, scanned, size);
        output.FlushIfDue();
    });
    for (std::size_t i = 1; i < analysers.size(); ++i) {
        analysers[i]->SetScanProgress([&](std::uint64_t, std::uint64_t) {
            if (stopWork) throw RunStopped{};
        });
    }
}

int RunFiles(const CliOptions& options, const std::vector<std::string>& names,
             const CliStreams& streams, ProgressLine& progress) {
    const std::vector<WalkItem> items = ShardOf(ExpandNames(names), options.shard);
    const unsigned jobs =
        std::clamp<unsigned>(options.jobs != 0 ? options.jobs : UsableProcessors(), 1, kMostJobs);
    const RecordFormat format(options);
    BatchOutput output(options, streams, progress, format);
    std::vector<std::unique_ptr<FileAnalyser>> analysers =
        MakeAnalysers(options, std::clamp<std::size_t>(items.size(), 1, jobs));
    std::atomic<bool> stopWork = false;
    WatchScans(analysers, output, progress, items.size(), stopWork);
    // Finished records wait for an earlier file in a window of some records per job.
    constexpr std::size_t kSlotsPerJob = 64;
    OrderedJobs<FileOutcome> work(items.size(), jobs,
                                  std::min(std::size_t{jobs} * kSlotsPerJob, items.size()),
                                  [&](std::size_t index, unsigned worker) {
                                      return Outcome(*analysers[worker], items[index], format);
                                  });
    auto stop = [&] {
        stopWork = true;
        work.Stop();
    };
    auto idle = [&] {
        if (output.Interrupted()) stop();
        output.FlushIfDue();
        progress.Update(work.Finished(), items.size());
    };
    try {
        while (!output.Stopped()) {
            const FileOutcome* outcome = work.Next(idle, std::chrono::milliseconds(100));
            if (outcome == nullptr) break;
            output.Write(*outcome);
            progress.Update(work.Finished(), items.size());
        }
    } catch (const RunStopped&) {
        // a scan on this thread saw the signal
    } catch (...) {
        stop();  // the workers' scans end before the error leaves
        throw;
    }
    stop();
    return output.Finish();
}

}  // namespace

int RunReportCli(const std::vector<std::string>& args, const CliStreams& streams) {
    const CliParseResult parsed = ParseCliArguments(args);
    if (!parsed.error.empty()) {
        WriteUsageError(streams.err, parsed.error);
        return kExitUsage;
    }
    const CliOptions& options = parsed.options;
    CliOutput& out = streams.out;
    if (options.showHelp) {
        out << kUsage;
        return out.Flush() ? kExitOk : kExitFailureMessage;
    }
    if (options.showVersion) {
        out << kProgram << " " << PLOVIK_VERSION << "\n";
        return out.Flush() ? kExitOk : kExitFailureMessage;
    }
    if (options.listRules) {
        out << RuleList(options.format == OutputFormat::kJson);
        return out.Flush() ? kExitOk : kExitFailureMessage;
    }
    // The run's second before progress shows counts from here: reading a long name list
    // or walking a big tree is part of it.
    if (options.format == OutputFormat::kArchivematica && IsDirectory(options.files[0])) {
        WriteUsageError(streams.err, "--format archivematica checks one FILE, not a folder");
        return kExitUsage;
    }
    ProgressLine progress(streams.err, streams.errIsTerminal, streams.clock);
    if (!options.files0From) return RunFiles(options, options.files, streams, progress);
    const NameList list = ReadNameList(*options.files0From, streams.in);
    if (!list.error.empty()) {
        streams.err << kProgram << ": " << list.error << "\n";
        return kExitUsage;
    }
    return RunFiles(options, list.names, streams, progress);
}

int RunReportCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    StreamOutput outStream(out);
    StreamOutput errStream(err);
    return RunReportCli(args, CliStreams{.out = outStream, .err = errStream});
}

}  // namespace plovik
