#include "plovik/cli.h"

#include <chrono>
#include <string_view>

#include "check_line.h"
#include "file_result.h"
#include "file_walk.h"
#include "name_list.h"
#include "plovik/text_encoding.h"
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
    "  --format FMT      text (default), json (JSON Lines, one object per file) or csv\n"
    "  --check           one line per file: 'PATH: ok' or its findings with their rule ids\n"
    "  --strict          with --check, a file with warnings fails too\n"
    "  --list-rules      print the rules of the check (with --format json: JSON Lines)\n"
    "  --key-frames      with --format json: the key-frame times too\n"
    "  --scan            also check the movie data: frames and audio present, damaged\n"
    "                    regions, index entries (reads the whole file)\n"
    "  --encoding ENC    text and csv output in utf-8 (default) or cp949\n"
    "  --files0-from=F   read the NUL-separated names from F ('-': standard input)\n"
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

// Writes each file's record in the format the options ask for.
class RecordWriter {
  public:
    RecordWriter(const CliOptions& options, CliOutput& out)
        : m_options(options),
          m_out(out),
          m_record{
              .keyFrameTimes = options.keyFrames, .check = options.check, .scan = options.scan} {}

    void Begin() {
        if (m_options.format == OutputFormat::kCsv) Put(CsvHeader(m_record));
    }

    void Write(const FileResult& result) {
        switch (m_options.format) {
            case OutputFormat::kJson:
                m_out << JsonRecord(result, m_record);  // UTF-8 whatever the encoding
                break;
            case OutputFormat::kCsv:
                Put(CsvRecord(result, m_record));
                break;
            case OutputFormat::kText:
                if (m_options.check) {
                    Put(CheckLine(result.facts));
                } else {
                    if (!m_first) m_out << '\n';  // an empty line between reports
                    Put(result.report);
                }
        }
        m_first = false;
    }

    // Text in the encoding of the output.
    std::string Encoded(std::string utf8) const {
        if (m_options.encoding == OutputEncoding::kCp949) return Utf8ToCp949(utf8);
        return utf8;
    }

  private:
    void Put(std::string_view utf8) {
        if (m_options.encoding == OutputEncoding::kCp949) {
            m_out << Utf8ToCp949(utf8);
        } else {
            m_out << utf8;
        }
    }

    const CliOptions& m_options;
    CliOutput& m_out;
    RecordOptions m_record;
    bool m_first = true;
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

// True when the file counts as a success for the exit status.
bool Succeeded(const FileResult& result, const CliOptions& options) {
    if (options.check) return PassesCheck(result.facts.verdict, options.strict);
    return !GaveOnlyMessage(result.facts.status) && !result.facts.readFailure;
}

int RunFiles(const CliOptions& options, const std::vector<std::string>& names,
             const CliStreams& streams, ProgressLine& progress) {
    const std::vector<WalkItem> items = ExpandNames(names);
    const bool textReport = options.format == OutputFormat::kText && !options.check;
    FileAnalyser analyser(textReport, options.scan, options.check,
                          options.format == OutputFormat::kJson);
    OutputPacing pacing(streams.out, streams.outIsTerminal);
    std::size_t i = 0;
    analyser.SetScanProgress([&](std::uint64_t scanned, std::uint64_t size) {
        progress.UpdateScan(i, items.size(), scanned, size);
        pacing.FlushIfDue();  // a long scan does not hold back the records before it
    });
    RecordWriter writer(options, streams.out);
    CheckTally tally;
    bool allSucceeded = true;
    writer.Begin();
    for (; i < items.size(); ++i) {
        if (items[i].noFiles) {  // an empty or unmounted folder must not pass
            progress.Clear();
            pacing.Flush();
            streams.err << writer.Encoded(
                Diagnostic(FileTextToUtf8(items[i].path), "no AVI files"));
            allSucceeded = false;
            continue;
        }
        const FileResult result = analyser.Analyse(items[i]);
        if (!result.facts.failure.empty()) {
            progress.Clear();
            pacing.Flush();
            streams.err << writer.Encoded(
                Diagnostic(result.facts.displayPath, result.facts.failure));
        }
        if (streams.outIsTerminal) progress.Clear();
        writer.Write(result);
        pacing.RecordWritten();
        allSucceeded = allSucceeded && Succeeded(result, options);
        tally.Add(result.facts);
        progress.Update(i + 1, items.size());
        if (!streams.out.Good()) break;  // nobody reads on: the rest would be lost anyway
    }
    progress.Clear();
    pacing.Flush();
    if (options.check && tally.Files() > 1) streams.err << tally.SummaryLine(options.scan);
    if (!streams.out.Good()) {
        streams.err << kProgram << ": cannot write the report\n";
        return kExitFailureMessage;
    }
    return allSucceeded ? kExitOk : kExitFailureMessage;
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
    ProgressLine progress(streams.err, streams.errIsTerminal);
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
