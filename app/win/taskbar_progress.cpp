#include "taskbar_progress.h"

#include <objbase.h>
#include <shobjidl.h>

namespace plovik::win {

CTaskbarProgress::~CTaskbarProgress() {
    if (m_pList) m_pList->Release();
    if (m_bComStarted) CoUninitialize();
}

ITaskbarList3* CTaskbarProgress::List() {
    if (m_bAsked) return m_pList;
    m_bAsked = true;
    // S_FALSE (already started on this thread) also needs its CoUninitialize.
    m_bComStarted = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    ITaskbarList3* list = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ITaskbarList3, reinterpret_cast<void**>(&list)))) {
        if (SUCCEEDED(list->HrInit())) {
            m_pList = list;
        } else {
            list->Release();
        }
    }
    return m_pList;
}

void CTaskbarProgress::Show(HWND hWnd, int percent) {
    if (ITaskbarList3* list = List()) {
        list->SetProgressState(hWnd, TBPF_NORMAL);
        list->SetProgressValue(hWnd, static_cast<ULONGLONG>(percent), 100);
    }
}

void CTaskbarProgress::Clear(HWND hWnd) {
    if (ITaskbarList3* list = List()) list->SetProgressState(hWnd, TBPF_NOPROGRESS);
}

}  // namespace plovik::win
