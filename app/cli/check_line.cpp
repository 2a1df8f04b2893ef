#include "check_line.h"

#include "json_writer.h"

namespace plovik {

// A backslash separates folders on Windows, where no name holds a line break: only the
// line breaks are escaped there.
#ifdef _WIN32
constexpr const char* kEscaped = "\n\r";
#else
constexpr const char* kEscaped = "\\\n\r";
#endif

LineName NameForLine(const std::string& displayPath) {
    LineName name;
    name.escaped = displayPath.find_first_of(kEscaped) != std::string::npos;
    if (!name.escaped) {
        name.text = displayPath;
        return name;
    }
    for (const char c : displayPath) {
        switch (c) {
#ifndef _WIN32
            case '\\':
                name.text += "\\\\";
                break;
#endif
            case '\n':
                name.text += "\\n";
                break;
            case '\r':
                name.text += "\\r";
                break;
            default:
                name.text += c;
        }
    }
    return name;
}

std::string CheckLine(const FileFacts& facts) {
    const LineName name = NameForLine(facts.displayPath);
    std::string line = name.escaped ? "\\" : "";
    line += name.text + ": ";
    bool first = true;
    for (const Finding& finding : facts.findings) {
        if (finding.severity == Severity::kInfo) continue;
        if (!first) line += "; ";
        first = false;
        line += finding.message + " [" + finding.rule->id + "]";
    }
    if (first) line += facts.scan ? "ok" : "ok (movie data not read)";
    return line + "\n";
}

void CheckTally::Add(const FileFacts& facts) {
    ++m_files;
    ++m_counts[static_cast<std::size_t>(facts.verdict)];
}

std::string CheckTally::SummaryLine(bool dataChecked) const {
    auto count = [this](Verdict verdict) {
        return std::to_string(m_counts[static_cast<std::size_t>(verdict)]);
    };
    std::string line = std::to_string(m_files) + " files: " + count(Verdict::kOk) + " ok, " +
                       count(Verdict::kWarnings) + " with warnings, " + count(Verdict::kDamaged) +
                       " damaged, " + count(Verdict::kUnreadable) + " unreadable";
    if (!dataChecked) line += "; movie data not read (--quick)";
    return line + "\n";
}

bool PassesCheck(Verdict verdict, bool strict) {
    return verdict == Verdict::kOk || (verdict == Verdict::kWarnings && !strict);
}

std::string RuleList(bool json) {
    std::string text;
    for (const Rule& rule : Rules()) {
        if (!json) {
            text.append(rule.id).append("\t").append(SeverityName(rule.severity));
            text.append("\t").append(rule.summary).append("\n");
            continue;
        }
        JsonWriter w(text);
        w.BeginObject();
        w.Field("id", std::string(rule.id));
        w.Field("severity", std::string(SeverityName(rule.severity)));
        w.Field("summary", std::string(rule.summary));
        w.EndObject();
        text += '\n';
    }
    return text;
}

}  // namespace plovik
