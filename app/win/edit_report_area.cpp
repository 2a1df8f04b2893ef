#include "edit_report_area.h"

#include "win_text.h"

namespace plovik::win {

void CEditReportArea::ClearReport() { SetWindowTextW(m_hEdit, L""); }

void CEditReportArea::AppendText(std::string_view utf8) {
    LRESULT end = GetWindowTextLengthW(m_hEdit);
    SendMessageW(m_hEdit, EM_SETSEL, static_cast<WPARAM>(end), end);
    SendMessageW(m_hEdit, EM_SCROLLCARET, 0, 0);
    std::wstring text = Utf8ToWide(utf8);
    SendMessageW(m_hEdit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

}  // namespace plovik::win
