// The information report: a path becomes Korean report lines in a report area.
#pragma once

#include <string>
#include <string_view>

#include "plovik/movie_scan.h"

namespace plovik {

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
    // Empties the whole area.
    virtual void ClearReport() = 0;

  protected:
    virtual void AppendText(std::string_view utf8) = 0;
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

struct ReportOptions {
    // Adds the data-check section: a scan that reads the chunk headers of all the movie data.
    bool scanMovieData = false;
    CMovieScan::Progress scanProgress;
};

// Clears the area and writes the report of the file at strPath (UTF-8).
// Returns false when only a failure message was written (empty path, cannot
// open, not AVI, bad header), true for a full report.
bool ShowFileInfo(CReportArea& area, const std::string& strPath);
// The same with options. False also when the scan could not open the file again: the
// data-check section then holds the open-failure message.
bool ShowFileInfo(CReportArea& area, const std::string& strPath, const ReportOptions& options);

}  // namespace plovik
