#include <algorithm>
#include <cstddef>
#include <optional>
#include <string_view>

#include "arguments.h"
#include "plovik/cli_options.h"

namespace plovik {
namespace {

constexpr Choice<OutputEncoding> kEncodings[] = {{"utf-8", OutputEncoding::kUtf8},
                                                 {"utf8", OutputEncoding::kUtf8},
                                                 {"cp949", OutputEncoding::kCp949}};
constexpr Choice<OutputFormat> kFormats[] = {{"text", OutputFormat::kText},
                                             {"json", OutputFormat::kJson},
                                             {"csv", OutputFormat::kCsv},
                                             {"archivematica", OutputFormat::kArchivematica}};

struct Flag {
    std::string_view name;
    bool CliOptions::*member;
};

constexpr Flag kFlags[] = {
    {"--help", &CliOptions::showHelp},        {"-h", &CliOptions::showHelp},
    {"--version", &CliOptions::showVersion},  {"--check", &CliOptions::check},
    {"--key-frames", &CliOptions::keyFrames}, {"--scan", &CliOptions::scan},
    {"--strict", &CliOptions::strict},        {"--list-rules", &CliOptions::listRules},
    {"--quick", &CliOptions::quick},
};

// A number in decimal digits only, at most a million; nullopt for anything else ("-1", "x").
std::optional<unsigned> DecimalNumber(std::string_view text) {
    constexpr unsigned kLargest = 1000000;
    if (text.empty() || text.size() > 7) return std::nullopt;
    unsigned value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > kLargest) return std::nullopt;
    return value;
}

std::string ApplyJobs(const std::string& value, CliOptions& options) {
    const std::optional<unsigned> jobs = DecimalNumber(value);
    if (!jobs || *jobs == 0 || *jobs > kMostJobs) {
        return "invalid number of jobs '" + value + "' (use 1 to " + std::to_string(kMostJobs) +
               ")";
    }
    options.jobs = *jobs;
    return {};
}

// "I/N" with 0 <= I < N.
std::string ApplyShard(const std::string& value, CliOptions& options) {
    const std::size_t slash = value.find('/');
    const std::string_view text = value;
    const std::optional<unsigned> index = DecimalNumber(text.substr(0, slash));
    const std::optional<unsigned> count =
        slash == std::string::npos ? std::nullopt : DecimalNumber(text.substr(slash + 1));
    if (!index || !count || *index >= *count) {
        return "invalid shard '" + value + "' (use I/N, where 0 <= I < N)";
    }
    options.shard = {*index, *count};
    return {};
}

// -j N or -jN: the short form of --jobs.
std::optional<std::string> ShortJobsValue(const std::vector<std::string>& args, std::size_t& index,
                                          std::string& error) {
    const std::string& arg = args[index];
    if (!arg.starts_with("-j")) return std::nullopt;
    if (arg.size() > 2) return arg.substr(2);
    if (index + 1 < args.size()) return args[++index];
    error = "option '-j' needs a value";
    return std::string();
}

// Applies one option to the options; returns an error text, empty on success.
// index advances past a separate option value.
std::string ApplyOption(const std::vector<std::string>& args, std::size_t& index,
                        CliOptions& options) {
    const std::string& arg = args[index];
    for (const Flag& flag : kFlags) {
        if (arg == flag.name) {
            options.*flag.member = true;
            return {};
        }
    }
    std::string error;
    if (auto value = OptionValue(args, index, "--encoding", error)) {
        if (!error.empty()) return error;
        return Choose(*value, kEncodings, "encoding", "utf-8 or cp949", options.encoding);
    }
    if (auto value = OptionValue(args, index, "--format", error)) {
        if (!error.empty()) return error;
        return Choose(*value, kFormats, "format", "text, json, csv or archivematica",
                      options.format);
    }
    if (auto value = OptionValue(args, index, "--files0-from", error)) {
        if (!error.empty()) return error;
        if (value->empty()) return "option '--files0-from' needs a file name";
        options.files0From = *value;
        return {};
    }
    if (auto value = OptionValue(args, index, "--jobs", error)) {
        if (!error.empty()) return error;
        return ApplyJobs(*value, options);
    }
    if (auto value = ShortJobsValue(args, index, error)) {
        if (!error.empty()) return error;
        return ApplyJobs(*value, options);
    }
    if (auto value = OptionValue(args, index, "--shard", error)) {
        if (!error.empty()) return error;
        return ApplyShard(*value, options);
    }
    return "unknown option '" + arg + "'";
}

// Options that do not go together, or a run with nothing to read.
std::string CheckCombination(const CliOptions& options) {
    if (options.showHelp || options.showVersion) return {};
    if (options.listRules) {
        if (!options.files.empty() || options.files0From) return "--list-rules takes no FILE";
        return {};
    }
    if (options.strict && !options.check) return "--strict needs --check";
    if (options.quick && !options.check) return "--quick needs --check";
    if (options.quick && options.scan)
        return "--quick leaves the movie data unread: not with --scan";
    if (options.files0From && !options.files.empty()) {
        return "file names cannot be combined with --files0-from";
    }
    if (!options.files0From && options.files.empty()) return "missing FILE";
    if (options.format == OutputFormat::kArchivematica) {
        // A validation command answers for the one file it is given.
        if (!options.check) return "--format archivematica needs --check";
        if (options.files0From || options.files.size() != 1) {
            return "--format archivematica checks one FILE";
        }
        if (options.encoding == OutputEncoding::kCp949) {
            return "--encoding cp949 applies to text and csv; archivematica is always UTF-8";
        }
    }
    if (options.format == OutputFormat::kJson && options.encoding == OutputEncoding::kCp949) {
        return "--encoding cp949 applies to text and csv; JSON is always UTF-8";
    }
    if (options.keyFrames && options.format != OutputFormat::kJson) {
        return "--key-frames needs --format json";
    }
    return {};
}

}  // namespace

CliParseResult ParseCliArguments(const std::vector<std::string>& args) {
    CliParseResult result;
    result.error = WalkArguments(args, result.options.files,
                                 [&](const std::vector<std::string>& all, std::size_t& index) {
                                     return ApplyOption(all, index, result.options);
                                 });
    if (result.error.empty()) result.error = CheckCombination(result.options);
    // A check reads the movie data unless asked to be quick: the data are what is damaged.
    if (result.options.check && !result.options.quick) result.options.scan = true;
    return result;
}

}  // namespace plovik
