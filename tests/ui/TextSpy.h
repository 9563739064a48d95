// The text spy: a WH_CALLWNDPROC hook in a DLL of its own (textspy.dll), which the platform
// loads into the program's process once a test hooks the program's dialog thread. It records
// each text set on one window there (WM_SETTEXT, as SetWindowTextW and SetDlgItemTextW send it)
// in memory it shares with the test, so the test sees every write, including one that leaves
// the text as it was, which reading the text cannot show. The program is not changed.
#pragma once

#include <windows.h>

#include <string>

namespace textspy {

const LONG kMaxTexts = 64;
const int kMaxChars = 64;

// The shared memory: the test sets the window, the hook (on the window's thread) appends.
struct Record {
    HWND hWnd;
    LONG cTexts;  // texts set so far; only the first kMaxTexts are kept
    wchar_t szTexts[kMaxTexts][kMaxChars];
};

// One record per watched process.
inline std::wstring MappingName(DWORD dwProcessId) {
    return L"LathmereTest.TextSpy." + std::to_wstring(dwProcessId);
}

}  // namespace textspy
