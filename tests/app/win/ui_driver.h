// Helpers for driving the app's dialogs in-process under Wine: message pumping,
// steps run from inside a modal loop, finding the thread's dialogs, clipboard, drops.
#pragma once

#include <windows.h>
// needs windows.h first
#include <shellapi.h>

#include <functional>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace plovik::test {

// How long a wait for something the test set going may last before it counts as hung.
inline constexpr DWORD kHangGuardMs = 60000;

// Dispatches what is queued for this thread (dialog keys included) until done() holds or
// the hang guard ran out; returns done().
bool PumpUntil(HWND hDlg, const std::function<bool()>& done);
// Dispatches what is queued for this thread now: all that an ended worker had posted.
void PumpQueued(HWND hDlg);
// For a thread without windows: waits until done() holds or the hang guard ran out.
bool WaitUntil(const std::function<bool()>& done);

// One step run from a thread timer while `action` sits in a modal loop (file dialog,
// message box, about box). A step returns true when it has done its work.
using Step = std::function<bool()>;
// Runs action(); the steps run one after another from the modal loop it enters.
// Returns whether every step finished. A step that does not finish within the hang guard
// makes the driver cancel the open dialogs, so a failure never hangs the test.
bool RunWithSteps(const std::function<void()>& action, std::vector<Step> steps);

// A visible dialog window (class #32770) of this thread other than `except`.
HWND FindThreadDialog(HWND except);
std::wstring WindowText(HWND hWnd);
std::wstring ItemText(HWND hDlg, int nID);
// The texts of a window's static controls (a message box's message is one of them).
std::vector<std::wstring> StaticTexts(HWND hWnd);

std::wstring ReadClipboardText();
// A drop of these files, as the shell hands it over (wide names); the receiver frees it.
HDROP MakeDrop(const std::vector<std::wstring>& files);

// A file of almost 4 GB whose movie data are mostly zeros (sparse on disk), in temp: its
// data check tells its progress many times. A few frames come first, so that a repair has
// something to keep.
std::string WriteLongCheckFile(const TempDir& temp);

}  // namespace plovik::test
