#include "plovik/cli.h"

#include <algorithm>
#include <optional>
#include <ostream>
#include <string_view>

#include "plovik/report.h"
#include "plovik/text_encoding.h"

namespace plovik {
namespace {

constexpr std::string_view kProgram = "plovik-report";

constexpr std::string_view kUsage =
    "Usage: plovik-report [--encoding utf-8|cp949] [--scan] FILE...\n"
    "Prints the information report of each AVI file; reports are separated by an empty line.\n"
    "\n"
    "Options:\n"
    "  --encoding ENC  output text in utf-8 (default) or cp949\n"
    "  --scan          also check the movie data: frames and audio present, damaged\n"
    "                  regions, index entries (reads the whole file)\n"
    "  --help          show this help and exit\n"
    "  --version       show the version and exit\n"
    "  --              end of options; every later argument is a FILE\n"
    "\n"
    "Exit status: 0 when every file gave a full report, 1 when a file could not be\n"
    "read as AVI (only a message was printed for it), 2 for a usage error.\n";

std::string ToLower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return lower;
}

std::optional<OutputEncoding> EncodingByName(std::string_view name) {
    const std::string lower = ToLower(name);
    if (lower == "utf-8" || lower == "utf8") return OutputEncoding::kUtf8;
    if (lower == "cp949") return OutputEncoding::kCp949;
    return std::nullopt;
}

// Applies one option to the options; returns an error text, empty on success.
// index advances past a separate option value.
std::string ApplyOption(const std::vector<std::string>& args, std::size_t& index,
                        CliOptions& options) {
    const std::string& arg = args[index];
    if (arg == "--help" || arg == "-h") {
        options.showHelp = true;
        return {};
    }
    if (arg == "--version") {
        options.showVersion = true;
        return {};
    }
    if (arg == "--scan") {
        options.scanMovieData = true;
        return {};
    }
    constexpr std::string_view kEncoding = "--encoding";
    if (arg.starts_with(kEncoding)) {
        std::string value;
        if (arg.size() == kEncoding.size()) {
            if (index + 1 >= args.size()) return "option '--encoding' needs a value";
            value = args[++index];
        } else if (arg[kEncoding.size()] == '=') {
            value = arg.substr(kEncoding.size() + 1);
        } else {
            return "unknown option '" + arg + "'";
        }
        const auto encoding = EncodingByName(value);
        if (!encoding) return "unknown encoding '" + value + "' (use utf-8 or cp949)";
        options.encoding = *encoding;
        return {};
    }
    return "unknown option '" + arg + "'";
}

std::string CrLfToLf(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        result += text[i];
    }
    return result;
}

void WriteUsageError(std::ostream& err, const std::string& message) {
    err << kProgram << ": " << message << "\n"
        << "Try '" << kProgram << " --help' for more information.\n";
}

}  // namespace

CliParseResult ParseCliArguments(const std::vector<std::string>& args) {
    CliParseResult result;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            result.options.files.push_back(arg);  // "-" alone is an ordinary name
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (std::string error = ApplyOption(args, i, result.options); !error.empty()) {
            result.error = std::move(error);
            return result;
        }
    }
    const CliOptions& options = result.options;
    if (!options.showHelp && !options.showVersion && options.files.empty()) {
        result.error = "missing FILE";
    }
    return result;
}

FileReport MakeFileReport(const std::string& utf8Path, OutputEncoding encoding,
                          bool scanMovieData) {
    CStringReportArea area;
    const bool full =
        ShowFileInfo(area, utf8Path, {.scanMovieData = scanMovieData, .scanProgress = {}});
    std::string text = CrLfToLf(area.Text());
    if (encoding == OutputEncoding::kCp949) text = Utf8ToCp949(text);
    return {std::move(text), full};
}

int RunReportCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const CliParseResult parsed = ParseCliArguments(args);
    if (!parsed.error.empty()) {
        WriteUsageError(err, parsed.error);
        return kExitUsage;
    }
    const CliOptions& options = parsed.options;
    if (options.showHelp) {
        out << kUsage;
        return out.flush() ? kExitOk : kExitFailureMessage;
    }
    if (options.showVersion) {
        out << kProgram << " " << PLOVIK_VERSION << "\n";
        return out.flush() ? kExitOk : kExitFailureMessage;
    }

    bool allFull = true;
    for (std::size_t i = 0; i < options.files.size(); ++i) {
        const FileReport report =
            MakeFileReport(options.files[i], options.encoding, options.scanMovieData);
        if (i > 0) out << "\n";
        out << report.text;
        out.flush();
        allFull = allFull && report.full;
    }
    if (!out) {
        err << kProgram << ": cannot write the report\n";
        return kExitFailureMessage;
    }
    return allFull ? kExitOk : kExitFailureMessage;
}

}  // namespace plovik
