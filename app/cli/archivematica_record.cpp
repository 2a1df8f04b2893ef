// --check --format archivematica: the answer of a validation command to a preservation
// system that reads it with Python's ast.literal_eval, so strings only (JSON's true, false
// and null are no Python literals).
#include <cstdio>
#include <string>
#include <string_view>

#include "check_line.h"
#include "records.h"

namespace plovik {
namespace {

// A single-quoted Python string: quotes, backslashes and control characters escaped;
// the rest (UTF-8) as it is.
std::string PythonString(std::string_view text) {
    std::string literal = "'";
    for (const char c : text) {
        switch (c) {
            case '\\':
                literal += "\\\\";
                break;
            case '\'':
                literal += "\\'";
                break;
            case '\n':
                literal += "\\n";
                break;
            case '\r':
                literal += "\\r";
                break;
            case '\t':
                literal += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
                    char escaped[5];
                    std::snprintf(escaped, sizeof escaped, "\\x%02x",
                                  static_cast<unsigned char>(c));
                    literal += escaped;
                } else {
                    literal += c;
                }
        }
    }
    return literal + "'";
}

const char* Outcome(Verdict verdict) {
    switch (verdict) {
        case Verdict::kOk:
            return "pass";
        case Verdict::kWarnings:
            return "partial pass";
        case Verdict::kDamaged:
        case Verdict::kUnreadable:
            break;
    }
    return "fail";
}

// "error riff.truncated: truncated (71683 bytes missing)", one line each.
std::string FindingLines(const FileFacts& facts) {
    std::string lines;
    for (const Finding& finding : facts.findings) {
        if (!lines.empty()) lines += '\n';
        lines += std::string(SeverityName(finding.severity)) + " " + finding.rule->id + ": " +
                 finding.message;
    }
    return lines;
}

}  // namespace

std::string ArchivematicaRecord(const FileFacts& facts) {
    std::string note = CheckLine(facts);
    note.pop_back();  // its "\n"
    return "{'eventOutcomeInformation': " + PythonString(Outcome(facts.verdict)) +
           ", 'eventOutcomeDetailNote': " + PythonString(note) +
           ", 'stdout': " + PythonString(FindingLines(facts)) + "}\n";
}

}  // namespace plovik
