#include "edit_report_area.h"

#include "win_text.h"

namespace plovik::win {

namespace {

// Wine's edit control wraps a paragraph by measuring everything from each of its wrapped
// lines to the paragraph's end, so a 64 KiB line given at once costs seconds (the square of
// its length). Appended in pieces, each piece costs about its own lines only; 2 KiB pieces
// were the fastest (a piece also costs a pass over the whole text).
constexpr std::size_t kPieceChars = 2048;

// Where a piece may end: never inside a surrogate pair or a CR LF.
std::size_t PieceEnd(std::wstring_view text) {
    if (text.size() <= kPieceChars) return text.size();
    std::size_t end = kPieceChars;
    while (end > 1 &&
           (IS_HIGH_SURROGATE(text[end - 1]) || (text[end - 1] == L'\r' && text[end] == L'\n'))) {
        --end;
    }
    return end;
}

}  // namespace

void AppendToEdit(HWND hEdit, std::wstring_view text) {
    if (text.empty()) return;
    const auto end = static_cast<WPARAM>(GetWindowTextLengthW(hEdit));
    SendMessageW(hEdit, EM_SETSEL, end, static_cast<LPARAM>(end));
    SendMessageW(hEdit, EM_SCROLLCARET, 0, 0);
    std::wstring piece;
    while (!text.empty()) {
        const std::size_t n = PieceEnd(text);
        piece.assign(text.substr(0, n));
        // Each replacement leaves the caret after what it put in: the next piece follows it.
        SendMessageW(hEdit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(piece.c_str()));
        text.remove_prefix(n);
    }
}

void TruncateEdit(HWND hEdit, std::size_t chars) {
    SendMessageW(hEdit, EM_SETSEL, static_cast<WPARAM>(chars), -1);
    SendMessageW(hEdit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
}

void SetEditText(HWND hEdit, std::wstring_view text) {
    SetWindowTextW(hEdit, L"");
    AppendToEdit(hEdit, text);
    // As WM_SETTEXT leaves it: caret and view at the start.
    SendMessageW(hEdit, EM_SETSEL, 0, 0);
    SendMessageW(hEdit, EM_SCROLLCARET, 0, 0);
}

void DDX_ReportText(CDataExchange& dx, int nIDC, std::string& value) {
    HWND hCtl = ::GetDlgItem(dx.m_hDlg, nIDC);
    if (dx.m_bSaveAndValidate)
        value = WideToUtf8(GetWindowTextString(hCtl));
    else
        SetEditText(hCtl, Utf8ToWide(value));
}

void CEditReportArea::ClearReport() { SetWindowTextW(m_hEdit, L""); }

void CEditReportArea::AppendText(std::string_view utf8) { AppendToEdit(m_hEdit, Utf8ToWide(utf8)); }

}  // namespace plovik::win
