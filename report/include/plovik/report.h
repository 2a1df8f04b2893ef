// The information report: a path becomes Korean report lines in a report area.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>
#include <string_view>

namespace plovik {

class CAviParser;
class CMovieScan;

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
// Text is UTF-8; every line ends in "\r\n".
class CReportArea {
  public:
    virtual ~CReportArea() = default;

    // Formats one line printf-style, adds "\r\n" and appends it at the end.
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

  private:
    // Formats the rest of the line being built after what it holds, ends it and appends it.
    void FinishLine(const char* pszFormat, va_list args);

    std::string m_strLine;  // the line being built, kept so that its memory is reused
};

class CStringReportArea : public CReportArea {
  public:
    void ClearReport() override { m_strText.clear(); }
    const std::string& Text() const { return m_strText; }

  protected:
    void AppendText(std::string_view utf8) override { m_strText.append(utf8); }

  private:
    std::string m_strText;
};

// Clears the area and writes the report of the file at strPath (UTF-8).
// Returns false when only a failure message was written (empty path, cannot
// open, not AVI, bad header), true for a full report.
bool ShowFileInfo(CReportArea& area, const std::string& strPath);

// The same with a parser that the caller keeps, so that a batch reuses one for every
// file; afterwards it holds the file's analysis (untouched for an empty path).
bool ShowFileInfo(CReportArea& area, CAviParser& avi, const std::string& strPath);

// Appends the data-check section of a movie-data scan of the file that avi analysed,
// after its full report. scan is null when the file could not be opened again for it:
// the section then holds the open-failure message.
void AddScanSection(CReportArea& area, const CAviParser& avi, const CMovieScan* scan);

}  // namespace plovik
