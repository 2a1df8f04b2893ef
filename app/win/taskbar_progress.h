// The progress of a long task on the window's taskbar button, where the system has one
// (ITaskbarList3); without it nothing is shown and nothing fails.
#pragma once

#include <windows.h>

struct ITaskbarList3;

namespace plovik::win {

class CTaskbarProgress {
  public:
    CTaskbarProgress() = default;
    ~CTaskbarProgress();
    CTaskbarProgress(const CTaskbarProgress&) = delete;
    CTaskbarProgress& operator=(const CTaskbarProgress&) = delete;

    void Show(HWND hWnd, int percent);
    void Clear(HWND hWnd);

  private:
    // The taskbar's interface, asked for once, on the first use (the window's taskbar
    // button exists by then).
    ITaskbarList3* List();

    ITaskbarList3* m_pList = nullptr;
    bool m_bAsked = false;
    bool m_bComStarted = false;
};

}  // namespace plovik::win
