// The report area of the main window: report lines go into its edit control.
#pragma once

#include <windows.h>

#include "plovik/report.h"

namespace plovik::win {

class CEditReportArea : public CReportArea {
  public:
    explicit CEditReportArea(HWND hEdit) : m_hEdit(hEdit) {}
    void ClearReport() override;

  protected:
    // Appends at the very end, however long the text already is.
    void AppendText(std::string_view utf8) override;

  private:
    HWND m_hEdit;
};

}  // namespace plovik::win
