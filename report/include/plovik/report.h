// The information report: a path becomes Korean report lines in a report area.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "plovik/file_facts.h"

namespace plovik {

// The label of a report line and the bytes of its CP949 form: one for an ASCII
// character, two for any other (counted at its UTF-8 lead byte). Labels are literals, so
// the width is counted when the program is compiled.
class ReportLabel {
  public:
    consteval ReportLabel(const char* text) : m_text(text) {
        for (const char c : m_text) {
            const auto byte = static_cast<unsigned char>(c);
            m_width += byte < 0x80 ? 1 : byte >= 0xC0 ? 2 : 0;
        }
    }
    std::string_view Text() const { return m_text; }
    std::size_t Cp949Width() const { return m_width; }

  private:
    std::string_view m_text;
    std::size_t m_width = 0;
};

// Where report lines go: the app's edit control, a string for the command line and tests.
// Text is UTF-8; every line ends in the area's line end: "\r\n" in the app, "\n" on the
// command line.
class CReportArea {
  public:
    explicit CReportArea(std::string_view lineEnd = "\r\n") : m_lineEnd(lineEnd) {}
    virtual ~CReportArea() = default;

    // Formats one line printf-style, ends it and appends it at the end.
    void AddReportLine(const char* pszFormat, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    // One label line, "    LABEL<spaces>: VALUE" with the value formatted printf-style:
    // the label is padded by its CP949 width so that the colon stands at byte 23 of the
    // line's CP949 form (at least one space after a longer label).
    void AddLabelLine(ReportLabel label, const char* pszValueFormat, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 3, 4)))
#endif
        ;
    // Empties the whole area.
    virtual void ClearReport() = 0;

  protected:
    virtual void AppendText(std::string_view utf8) = 0;
    // The area's own text, when it keeps one: lines are then built at its end, not copied
    // into it.
    virtual std::string* OwnText() { return nullptr; }

  private:
    // Where the next line is built: the end of the area's own text, or an empty scratch line.
    std::string& BeginLine();
    // Formats the rest of the line after what it holds, ends it and appends it.
    void FinishLine(std::string& line, const char* pszFormat, va_list args);

    std::string_view m_lineEnd;
    std::string m_strLine;  // the scratch line, kept so that its memory is reused
};

class CStringReportArea : public CReportArea {
  public:
    using CReportArea::CReportArea;
    void ClearReport() override { m_strText.clear(); }
    const std::string& Text() const { return m_strText; }
    // Hands the text over and leaves the area empty, with room for as much again: the next
    // report of a batch grows into one allocation.
    std::string TakeText() {
        std::string text = std::exchange(m_strText, {});
        m_strText.reserve(text.capacity());
        return text;
    }

  protected:
    void AppendText(std::string_view utf8) override { m_strText.append(utf8); }
    std::string* OwnText() override { return &m_strText; }

  private:
    std::string m_strText;
};

// Clears the area and writes the report of the file at strPath (UTF-8): the file is parsed,
// its facts filled and rendered. Returns false when only a failure message was written
// (empty path, cannot open, not AVI, bad header), true for a full report.
bool ShowFileInfo(CReportArea& area, const std::string& strPath);

// Appends the report of a file's facts (the area is not cleared): the full report, or the
// one failure message. Returns false for a message.
bool WriteReport(CReportArea& area, const FileFacts& facts);

// Appends the data-check section of the facts' data scan, after its full report; nothing
// when the file had no data check.
void AddScanSection(CReportArea& area, const FileFacts& facts);

}  // namespace plovik
