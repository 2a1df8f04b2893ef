#include <windows.h>

#include <string>

#include "plovik/text_encoding.h"
#include "plovik/trace.h"

namespace plovik {

void SendToReceiver(const char* pszWindowName, const char* pszText) {
    HWND receiver = FindWindowA(nullptr, pszWindowName);
    if (receiver == nullptr) return;
    std::string payload = Utf8ToCp949(pszText);
    COPYDATASTRUCT data{};
    data.dwData = 0;
    data.cbData = static_cast<DWORD>(payload.size() + 1);  // the text with its NUL
    data.lpData = payload.data();
    // A hung receiver must not stall the caller: give up after two seconds.
    SendMessageTimeoutA(receiver, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG,
                        2000, nullptr);
}

}  // namespace plovik
