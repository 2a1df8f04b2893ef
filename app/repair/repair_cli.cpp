#include "plovik/repair_cli.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <string_view>
#include <system_error>

#include "arguments.h"
#include "check_line.h"
#include "json_writer.h"
#include "plovik/format.h"
#include "plovik/repair.h"
#include "plovik/text_encoding.h"
#include "records.h"

namespace plovik {
namespace {

constexpr std::string_view kProgram = "plovik-repair";

constexpr std::string_view kUsage =
    "Usage: plovik-repair [OPTION]... IN OUT\n"
    "Writes a repaired copy of the AVI file IN to OUT: every well-formed chunk kept byte for\n"
    "byte, a cut end and damaged regions left out, the index rebuilt, the header counts set.\n"
    "IN is only read; OUT appears whole, or not at all.\n"
    "\n"
    "Options:\n"
    "  --dry-run       say what would be written, write nothing\n"
    "  --force         replace OUT when it exists\n"
    "  --keep-damaged-frames\n"
    "                  keep damaged frames of intra-only codecs (MJPEG, DV, ...) as they are\n"
    "                  instead of writing them as empty (dropped) frames\n"
    "  --reference GOOD.avi\n"
    "                  for IN whose headers are lost: rebuild them from the header list of\n"
    "                  GOOD.avi, a file recorded the same way, once checked against IN's\n"
    "                  data (without it, they are inferred from the data)\n"
    "  --split         for files joined end to end: each movie to a file of its own, OUT\n"
    "                  and then OUT with .2, .3, ... before its extension (else the first\n"
    "                  movie only)\n"
    "  --format FMT    the summary as text (default) or json (one object on one line,\n"
    "                  one per movie with --split)\n"
    "  --help          show this help and exit\n"
    "  --version       show the version and exit\n"
    "  --              end of options; every later argument is a file name\n"
    "\n"
    "Exit status: 0 when OUT was written (--dry-run: would be), 1 when IN cannot be repaired\n"
    "or the repair failed or was stopped, 2 for a usage error, when OUT is IN, or when OUT\n"
    "exists without --force.\n";

struct RepairCliOptions {
    bool dryRun = false;
    bool force = false;
    bool keepDamagedFrames = false;
    bool split = false;
    bool json = false;
    bool showHelp = false;
    bool showVersion = false;
    std::string reference;
    std::vector<std::string> files;
};

constexpr Choice<bool> kFormats[] = {{"text", false}, {"json", true}};

struct Flag {
    std::string_view name;
    bool RepairCliOptions::*member;
};

constexpr Flag kFlags[] = {
    {"--dry-run", &RepairCliOptions::dryRun},
    {"--force", &RepairCliOptions::force},
    {"--help", &RepairCliOptions::showHelp},
    {"-h", &RepairCliOptions::showHelp},
    {"--version", &RepairCliOptions::showVersion},
    {"--keep-damaged-frames", &RepairCliOptions::keepDamagedFrames},
    {"--split", &RepairCliOptions::split},
};

// Applies one option; returns an error text, empty on success. index advances past a
// separate option value.
std::string ApplyOption(const std::vector<std::string>& args, std::size_t& index,
                        RepairCliOptions& options) {
    const std::string& arg = args[index];
    for (const Flag& flag : kFlags) {
        if (arg == flag.name) {
            options.*flag.member = true;
            return {};
        }
    }
    std::string error;
    if (auto value = OptionValue(args, index, "--format", error)) {
        if (!error.empty()) return error;
        return Choose(*value, kFormats, "format", "text or json", options.json);
    }
    if (auto value = OptionValue(args, index, "--reference", error)) {
        if (!error.empty()) return error;
        if (value->empty()) return "empty reference file name";
        options.reference = *value;
        return {};
    }
    return "unknown option '" + arg + "'";
}

// The options, or an error text.
std::string ParseArguments(const std::vector<std::string>& args, RepairCliOptions& options) {
    std::string error = WalkArguments(args, options.files,
                                      [&](const std::vector<std::string>& all, std::size_t& i) {
                                          return ApplyOption(all, i, options);
                                      });
    if (!error.empty()) return error;
    if (options.showHelp || options.showVersion) return {};
    if (options.files.empty()) return "missing IN and OUT";
    if (options.files.size() == 1) return "missing OUT after '" + options.files[0] + "'";
    if (options.files.size() > 2) return "extra operand '" + options.files[2] + "'";
    for (const std::string& file : options.files) {
        if (file.empty()) return "empty file name";
    }
    return {};
}

void WriteUsageError(CliOutput& err, const std::string& message) {
    err << kProgram << ": " << message << "\n"
        << "Try '" << kProgram << " --help' for more information.\n";
}

// A path as a line shows it: UTF-8 (other bytes read as CP949), line breaks escaped.
std::string Shown(const std::string& path, bool& escaped) {
    LineName name = NameForLine(FileTextToUtf8(path));
    escaped = escaped || name.escaped;
    return std::move(name.text);
}

// Refuses before anything is read when OUT is IN (by any name: a hard link, a symbolic
// link, another spelling) or exists without --force, as the core would, so that the answer
// never waits on reading a large IN.
std::optional<std::string> Refusal(const RepairCliOptions& options) {
    const std::string& output = options.files[1];
    if (!options.reference.empty() &&
        (options.reference == output || SameFile(options.reference, output))) {
        return "the output is the reference file";
    }
    return RefusalOf(options.files[0], output, options.force);
}

std::string_view StatusName(RepairStatus status) {
    switch (status) {
        case RepairStatus::kWritten:
            return "written";
        case RepairStatus::kPlanned:
            return "planned";
        case RepairStatus::kNotRepairable:
            return "not_repairable";
        case RepairStatus::kRefused:
            return "refused";
        case RepairStatus::kFailed:
            return "failed";
        case RepairStatus::kStopped:
            return "stopped";
    }
    return "failed";
}

int ExitStatus(RepairStatus status) {
    switch (status) {
        case RepairStatus::kWritten:
        case RepairStatus::kPlanned:
            return kRepairExitOk;
        case RepairStatus::kRefused:
            return kRepairExitUsage;
        case RepairStatus::kNotRepairable:
        case RepairStatus::kFailed:
        case RepairStatus::kStopped:
            break;
    }
    return kRepairExitFailed;
}

bool Succeeded(RepairStatus status) { return ExitStatus(status) == kRepairExitOk; }

std::string Counted(std::uint64_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

// "the reference clip.avi"
std::string HeadersFromText(const RepairSummary& s) {
    switch (s.headersFrom) {
        case HeadersFrom::kReference:
            return "the reference " + FileTextToUtf8(s.reference);
        case HeadersFrom::kOwnList:
            return "the file's own header list";
        case HeadersFrom::kNone:
        case HeadersFrom::kData:
            break;
    }
    return "the data";
}

std::string_view HeadersFromName(HeadersFrom from) {
    switch (from) {
        case HeadersFrom::kReference:
            return "reference";
        case HeadersFrom::kOwnList:
            return "own_header_list";
        case HeadersFrom::kNone:
        case HeadersFrom::kData:
            break;
    }
    return "data";
}

std::string TextSummary(const RepairSummary& s, const std::string& output) {
    bool escaped = false;
    std::string text = std::string(kProgram) + ": " +
                       (s.status == RepairStatus::kPlanned ? "would write " : "wrote ") +
                       Shown(output, escaped) + " (" + FormatUnsignedNumber(s.outputSize) +
                       " bytes, " + Counted(s.riffParts, "RIFF part", "RIFF parts") + ")\n";
    if (escaped) text.insert(0, 1, '\\');
    if (s.headersFrom != HeadersFrom::kNone) {
        text += "headers rebuilt from " + HeadersFromText(s) + ":\n";
        for (const RebuiltField& field : s.rebuilt) {
            text += "  stream " + std::to_string(field.stream) + " " + field.field + ": " +
                    FileTextToUtf8(field.value) + " (" +
                    (field.assumed ? "assumed" : FileTextToUtf8(field.source)) + ")\n";
        }
    }
    text += "video frames kept: " + std::to_string(s.videoFrames);
    if (s.emptyVideoFrames != 0) text += " (" + std::to_string(s.emptyVideoFrames) + " empty)";
    text += "\n";
    text += "audio bytes kept: " + std::to_string(s.audioBytes) + "\n";
    text += "chunks kept: " + std::to_string(s.chunksKept) + "\n";
    text += "left out: " + Counted(s.regionsLeftOut, "region", "regions") + ", " +
            Counted(s.bytesLeftOut, "byte", "bytes") + "\n";
    for (const DAMAGEDREGION& region : s.regions) {
        text += "  at " + std::to_string(region.qwPosition) + ", " +
                Counted(region.qwLength, "byte", "bytes") + "\n";
    }
    if (s.regionsLeftOut > s.regions.size()) {
        text += "  and " + std::to_string(s.regionsLeftOut - s.regions.size()) + " more\n";
    }
    if (s.secondMovie != 0) {
        text += "left out: another movie from byte " + std::to_string(s.secondMovie) + "\n";
    }
    text += "index entries written: " + std::to_string(s.indexEntries) + "\n";
    text += "key flags: " + std::to_string(s.keysFromIndex) + " from the original index, " +
            std::to_string(s.keysFromBitstream) + " from the video data, " +
            std::to_string(s.keysAssumed) + " assumed";
    if (s.keysAssumed > 0) text += " key (codec " + FileTextToUtf8(s.assumedFourCC) + ")";
    text += "\n";
    if (s.damagedFramesKept + s.damagedFramesEmptied != 0) {
        text += "damaged frames: " + std::to_string(s.damagedFramesKept) + " kept, " +
                std::to_string(s.damagedFramesEmptied) + " written as empty frames\n";
    }
    for (const RepairFieldChange& change : s.changes) {
        text += "changed " + change.field + ": " + std::to_string(change.oldValue) + " -> " +
                std::to_string(change.newValue) + "\n";
    }
    return text;
}

// Only for a file whose headers were rebuilt: the summaries of other repairs stay as they were.
void WriteRebuilt(JsonWriter& w, const RepairSummary& s) {
    w.Field("headers_from", HeadersFromName(s.headersFrom));
    w.Key("reference");
    if (s.reference.empty()) {
        w.Value(nullptr);
    } else {
        w.Value(s.reference);
    }
    w.Key("rebuilt");
    w.BeginArray();
    for (const RebuiltField& field : s.rebuilt) {
        w.BeginObject();
        w.Field("stream", std::uint64_t{field.stream});
        w.Field("field", field.field);
        w.Field("value", FileTextToUtf8(field.value));
        w.Field("source", field.source);
        w.Field("assumed", field.assumed);
        w.EndObject();
    }
    w.EndArray();
}

std::string JsonSummary(const RepairSummary& s, const std::string& input,
                        const std::string& output) {
    std::string json;
    JsonWriter w(json);
    w.BeginObject();
    w.Field("status", StatusName(s.status));
    w.Field("input", input);
    w.Field("output", output);
    w.Key("message");
    if (s.message.empty()) {
        w.Value(nullptr);
    } else {
        w.Value(s.message);
    }
    w.Field("video_frames", s.videoFrames);
    w.Field("empty_video_frames", s.emptyVideoFrames);
    w.Field("audio_bytes", s.audioBytes);
    w.Field("chunks_kept", s.chunksKept);
    w.Field("regions_left_out", s.regionsLeftOut);
    w.Field("bytes_left_out", s.bytesLeftOut);
    WriteRegions(w, "regions", s.regions);
    w.Field("index_entries", s.indexEntries);
    w.Field("keys_from_index", s.keysFromIndex);
    w.Field("keys_from_bitstream", s.keysFromBitstream);
    w.Field("keys_assumed", s.keysAssumed);
    w.Key("assumed_fourcc");
    if (s.assumedFourCC.empty()) {
        w.Value(nullptr);
    } else {
        w.Value(s.assumedFourCC);
    }
    w.Field("damaged_frames_kept", s.damagedFramesKept);
    w.Field("damaged_frames_emptied", s.damagedFramesEmptied);
    w.Key("changes");
    w.BeginArray();
    for (const RepairFieldChange& change : s.changes) {
        w.BeginObject();
        w.Field("field", change.field);
        w.Field("old", change.oldValue);
        w.Field("new", change.newValue);
        w.EndObject();
    }
    w.EndArray();
    w.Field("output_size", s.outputSize);
    w.Field("riff_parts", s.riffParts);
    w.Key("second_movie");
    if (s.secondMovie == 0) {
        w.Value(nullptr);
    } else {
        w.Value(s.secondMovie);
    }
    if (s.headersFrom != HeadersFrom::kNone) WriteRebuilt(w, s);
    w.EndObject();
    json += '\n';
    return json;
}

// "plovik-repair: IN: reason"
std::string Diagnostic(const std::string& input, const std::string& reason) {
    bool escaped = false;
    std::string line = std::string(kProgram) + ": " + Shown(input, escaped) + ": " + reason + "\n";
    if (escaped) line.insert(0, 1, '\\');
    return line;
}

// "reading", "writing", "checking"
std::string_view PhaseWord(RepairPhase phase) {
    switch (phase) {
        case RepairPhase::kReading:
            return "reading";
        case RepairPhase::kWriting:
            return "writing";
        case RepairPhase::kChecking:
            return "checking";
    }
    return "reading";
}

// "plovik-repair: writing 45%" on a terminal once the repair has lasted a second: the phase
// the core reports, and how far that phase has come.
class RepairProgress {
  public:
    RepairProgress(CliOutput& terminal, bool enabled) : m_terminal(terminal), m_enabled(enabled) {}
    ~RepairProgress() { Clear(); }
    RepairProgress(const RepairProgress&) = delete;
    RepairProgress& operator=(const RepairProgress&) = delete;

    void Update(RepairPhase phase, std::uint64_t done, std::uint64_t total) {
        if (!m_enabled) return;
        const Clock::time_point now = Clock::now();
        if (now - m_start < std::chrono::seconds(1) ||
            (m_shown != 0 && now - m_lastDrawn < std::chrono::milliseconds(100))) {
            return;
        }
        m_lastDrawn = now;
        const std::uint64_t percent = total == 0 ? 0 : std::min(done, total) * 100 / total;
        const std::string text = std::string(kProgram) + ": " + std::string(PhaseWord(phase)) +
                                 " " + std::to_string(percent) + "%";
        m_terminal << '\r' << text;
        if (text.size() < m_shown) m_terminal << std::string(m_shown - text.size(), ' ');
        m_terminal.Flush();
        m_shown = std::max(m_shown, text.size());
    }

    void Clear() {
        if (m_shown == 0) return;
        m_terminal << '\r' << std::string(m_shown, ' ') << '\r';
        m_terminal.Flush();
        m_shown = 0;
    }

  private:
    using Clock = std::chrono::steady_clock;
    CliOutput& m_terminal;
    bool m_enabled;
    Clock::time_point m_start = Clock::now();
    Clock::time_point m_lastDrawn{};
    std::size_t m_shown = 0;
};

// OUT for the first movie, then OUT with ".2", ".3", ... before its extension.
std::string MovieOutput(const std::string& output, std::size_t n) {
    if (n == 1) return output;
    const std::size_t slash = output.find_last_of("/\\");
    const std::size_t dot = output.rfind('.');
    const bool extension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    const std::size_t cut = extension ? dot : output.size();
    std::string name = output.substr(0, cut);
    name += '.';
    name += std::to_string(n);
    name.append(output, cut);
    return name;
}

RepairSummary RepairMovie(const RepairCliOptions& options, const std::string& input,
                          const std::string& output, std::uint64_t movieAt,
                          const RepairCliStreams& streams) {
    RepairProgress progress(streams.err, streams.errIsTerminal);
    return RepairFile(
        input, output,
        {.dryRun = options.dryRun,
         .force = options.force,
         .keepDamagedFrames = options.keepDamagedFrames,
         .progress = [&](RepairPhase phase, std::uint64_t done,
                         std::uint64_t total) { progress.Update(phase, done, total); },
         .stop = streams.stop,
         .movieAt = movieAt,
         .reference = options.reference});
}

// The summary of one copy written, or the reason it was not; the exit status.
int Finish(const RepairSummary& summary, const RepairCliOptions& options, const std::string& input,
           const std::string& output, const RepairCliStreams& streams) {
    CliOutput& out = streams.out;
    if (options.json) {
        out << JsonSummary(summary, input, output);
    } else if (Succeeded(summary.status)) {
        out << TextSummary(summary, output);
    }
    const bool written = out.Flush();
    if (!Succeeded(summary.status)) {
        const std::string reason = summary.message.empty() ? "the repair failed" : summary.message;
        streams.err << Diagnostic(input, reason);
        streams.err.Flush();
        return ExitStatus(summary.status);
    }
    if (!written) {
        streams.err << kProgram << ": cannot write the summary\n";
        streams.err.Flush();
        return kRepairExitFailed;
    }
    return kRepairExitOk;
}

}  // namespace

std::string RepairJsonSummary(const RepairSummary& summary, const std::string& input,
                              const std::string& output) {
    return JsonSummary(summary, input, output);
}

int RunRepairCli(const std::vector<std::string>& args, const RepairCliStreams& streams) {
    RepairCliOptions options;
    if (const std::string error = ParseArguments(args, options); !error.empty()) {
        WriteUsageError(streams.err, error);
        return kRepairExitUsage;
    }
    CliOutput& out = streams.out;
    if (options.showHelp) {
        out << kUsage;
        return out.Flush() ? kRepairExitOk : kRepairExitFailed;
    }
    if (options.showVersion) {
        out << kProgram << " " << PLOVIK_VERSION << "\n";
        return out.Flush() ? kRepairExitOk : kRepairExitFailed;
    }
    const std::string& input = options.files[0];
    if (std::optional<std::string> refusal = Refusal(options)) {
        RepairSummary refused;
        refused.status = RepairStatus::kRefused;
        refused.message = std::move(*refusal);
        return Finish(refused, options, input, options.files[1], streams);
    }
    // Each movie in turn while they repair, when split; the first one else.
    std::uint64_t movieAt = 0;
    for (std::size_t n = 1;; ++n) {
        const std::string output = MovieOutput(options.files[1], n);
        const RepairSummary summary = RepairMovie(options, input, output, movieAt, streams);
        const int status = Finish(summary, options, input, output, streams);
        if (status != kRepairExitOk || !options.split || summary.secondMovie == 0) return status;
        movieAt = summary.secondMovie;
    }
}

int RunRepairCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    StreamOutput outStream(out);
    StreamOutput errStream(err);
    return RunRepairCli(args, RepairCliStreams{.out = outStream, .err = errStream});
}

}  // namespace plovik
