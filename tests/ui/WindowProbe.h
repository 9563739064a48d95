// Reading and pressing the windows of another thread or process: waits, texts, message boxes.
// Everything here uses messages that cross process boundaries (no pointers the system does
// not marshal) and bounded polls, never fixed sleeps.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace ui {

// Polls the condition every few milliseconds until it holds or the time is up.
bool WaitUntil(const std::function<bool()>& condition, DWORD dwTimeoutMs = 5000);

// The text of any window, read with WM_GETTEXT (crosses process boundaries).
std::wstring WindowText(HWND hWnd);
std::wstring ClassName(HWND hWnd);

// The first top-level window of the process that passes the test, or null.
HWND FindTopLevel(DWORD dwProcessId, const std::function<bool(HWND)>& test);

// A message box (or another "#32770" dialog) owned by hWndOwner, or null.
HWND FindOwnedDialog(HWND hWndOwner);
HWND WaitForOwnedDialog(HWND hWndOwner, DWORD dwTimeoutMs = 5000);

// What a message box shows.
struct BoxContent {
    std::wstring caption;
    std::wstring text;  // the text of its message Static
    bool bIcon = false;  // a Static with SS_ICON that holds an icon
};
BoxContent ReadBox(HWND hWndBox);

// Posts IDOK to the box (never sends: the box's owner waits in its own modal loop) and waits
// until the box is gone.
bool PressOk(HWND hWndBox);

// The platform's open-file dialog: its file name box is the ComboBoxEx32 0x47c, whose ComboBox
// holds an Edit. Types the name there and confirms (IDOK) or cancels (IDCANCEL), posted.
bool TypeFileName(HWND hWndFileDialog, const std::wstring& name);
void PressFileDialogButton(HWND hWndFileDialog, int nId);

}  // namespace ui
