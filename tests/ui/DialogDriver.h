// Drives LathmereTest.exe as a user would: starts it as its own process, finds its dialog,
// types into and reads its controls, clicks its buttons, answers its message boxes and closes
// it. Clicks are posted, never sent: a handler may open a modal box, and the program's thread
// then waits for us, not the other way round.
#pragma once

#include <windows.h>

#include <string>

#include "WindowProbe.h"

namespace ui {

class DialogDriver {
public:
    DialogDriver() = default;
    ~DialogDriver();  // kills the process if it still runs
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    // Starts the program and waits for its dialog; false (with the reason) when either fails.
    bool Start(std::string* pError);
    // The program Start runs: LathmereTest.exe beside the test unless another path is given.
    void SetProgram(const std::wstring& path) { m_program = path; }

    HWND Dialog() const { return m_hWndDialog; }
    HWND Item(int nId) const { return ::GetDlgItem(m_hWndDialog, nId); }
    DWORD ProcessId() const { return m_pi.dwProcessId; }

    // Controls.
    std::wstring Caption() const { return WindowText(m_hWndDialog); }
    std::wstring Text(int nId) const { return WindowText(Item(nId)); }
    void SetText(int nId, const std::wstring& text) const;  // the control reports EN_CHANGE
    bool IsChecked(int nId) const;
    void SetChecked(int nId, bool bChecked) const;
    bool IsEnabled(int nId) const { return ::IsWindowEnabled(Item(nId)) != FALSE; }
    HWND Focus() const;

    // Posts the button's BN_CLICKED to the dialog, whether the button is enabled or not.
    void Click(int nId) const;
    // Waits until the dialog's thread has taken every message posted to it so far: the
    // handlers they started have returned or are waiting in a nested modal loop (a box).
    bool Sync() const;

    // The message box the program shows over its dialog, if any.
    HWND OpenBox() const { return FindOwnedDialog(m_hWndDialog); }
    HWND WaitForBox() const { return WaitForOwnedDialog(m_hWndDialog); }

    // A top-level window of the program with this caption (the open-file dialog, say).
    HWND WaitForWindow(const std::wstring& caption) const;

    // Ways a user closes the dialog.
    void PressEscape() const;
    bool PressEnterIn(int nId) const { return PressKeyIn(nId, VK_RETURN); }
    // Moves the focus to the control and presses the key there; false when the control did
    // not get the focus.
    bool PressKeyIn(int nId, UINT vk) const;
    void PressCloseBox() const;

    // Waits for the process to end; false when it still runs after the timeout.
    bool WaitForExit(DWORD* pdwExitCode, DWORD dwTimeoutMs = 5000);
    bool IsRunning() const;
    void Kill();

private:
    bool FindDialog();
    void PostKey(HWND hWnd, UINT vk) const;

    std::wstring m_program;
    PROCESS_INFORMATION m_pi = {};
    HWND m_hWndDialog = nullptr;
};

}  // namespace ui
