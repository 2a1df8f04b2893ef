// The report area of the main window: report lines go into its edit control.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "dialog.h"
#include "plovik/report.h"

namespace plovik::win {

class CEditReportArea : public CReportArea {
  public:
    explicit CEditReportArea(HWND hEdit) : m_hEdit(hEdit) {}
    void ClearReport() override;
    // Appends text that is already a whole number of lines, in one go.
    void AppendLines(std::string_view utf8) { AppendText(utf8); }

  protected:
    // Appends at the very end, however long the text already is.
    void AppendText(std::string_view utf8) override;

  private:
    HWND m_hEdit;
};

// Appends text at the very end of a multi-line edit control, caret and view at the end.
// Long lines go in as pieces (see the .cpp), so that a report shows at once whatever its
// line lengths.
void AppendToEdit(HWND hEdit, std::wstring_view text);
// Removes everything after the first `chars` characters of the edit control's text.
void TruncateEdit(HWND hEdit, std::size_t chars);
// Replaces the whole text of the edit control as WM_SETTEXT does (caret at the start), but
// filled as AppendToEdit fills it.
void SetEditText(HWND hEdit, std::wstring_view text);

// DDX_Text for the report area: the same exchange, filled as AppendToEdit fills it.
void DDX_ReportText(CDataExchange& dx, int nIDC, std::string& value);

}  // namespace plovik::win
