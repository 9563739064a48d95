#include "DialogDriver.h"

#include "TestSupport.h"

namespace ui {
namespace {

const wchar_t kProgram[] = L"LathmereTest.exe";
const wchar_t kDialogCaption[] = L"Lathmere Test";
const DWORD kStartTimeoutMs = 5000;
const DWORD kMessageTimeoutMs = 5000;
// The control that carries the barrier of Sync: the file edit. Its modification flag is ours;
// the program never reads it.
const int kBarrierControl = 202;

}  // namespace

DialogDriver::~DialogDriver() {
    Kill();
}

bool DialogDriver::Start(std::string* pError) {
    const std::wstring path = m_program.empty() ? test::BinDir() + L"\\" + kProgram : m_program;
    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    if (!::CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_pi)) {
        *pError = "CreateProcessW failed, error " + std::to_string(::GetLastError());
        return false;
    }
    DWORD dwWait = ::WaitForInputIdle(m_pi.hProcess, kStartTimeoutMs);
    if (dwWait != 0) {
        *pError = "WaitForInputIdle returned " + std::to_string(dwWait);
        return false;
    }
    if (!WaitUntil([this] { return FindDialog(); }, kStartTimeoutMs)) {
        *pError = "no dialog captioned \"Lathmere Test\" appeared";
        return false;
    }
    return true;
}

// The dialog is the process's unowned top-level "#32770" captioned "Lathmere Test" (its
// message boxes bear the same caption but are owned by it).
bool DialogDriver::FindDialog() {
    m_hWndDialog = FindTopLevel(m_pi.dwProcessId, [](HWND hWnd) {
        return ClassName(hWnd) == L"#32770" && !::GetWindow(hWnd, GW_OWNER) && WindowText(hWnd) == kDialogCaption;
    });
    return m_hWndDialog != nullptr;
}

void DialogDriver::SetText(int nId, const std::wstring& text) const {
    DWORD_PTR dwResult = 0;
    ::SendMessageTimeoutW(Item(nId), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                          kMessageTimeoutMs, &dwResult);
}

bool DialogDriver::IsChecked(int nId) const {
    DWORD_PTR dwState = 0;
    ::SendMessageTimeoutW(Item(nId), BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &dwState);
    return dwState == BST_CHECKED;
}

void DialogDriver::SetChecked(int nId, bool bChecked) const {
    DWORD_PTR dwResult = 0;
    ::SendMessageTimeoutW(Item(nId), BM_SETCHECK, bChecked ? BST_CHECKED : BST_UNCHECKED, 0, SMTO_ABORTIFHUNG,
                          kMessageTimeoutMs, &dwResult);
}

HWND DialogDriver::Focus() const {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    if (!::GetGUIThreadInfo(m_pi.dwThreadId, &info)) return nullptr;
    return info.hwndFocus;
}

void DialogDriver::Click(int nId) const {
    ::PostMessageW(m_hWndDialog, WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED), reinterpret_cast<LPARAM>(Item(nId)));
}

// Posted messages of one thread are taken in the order they were posted, whichever window
// they are for (sent messages would overtake them). So: clear the edit's modification flag
// (sent), post the message that sets it behind everything posted so far, and wait for the flag.
bool DialogDriver::Sync() const {
    HWND hWndBarrier = Item(kBarrierControl);
    DWORD_PTR dwResult = 0;
    ::SendMessageTimeoutW(hWndBarrier, EM_SETMODIFY, FALSE, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &dwResult);
    ::PostMessageW(hWndBarrier, EM_SETMODIFY, TRUE, 0);
    return WaitUntil([hWndBarrier] {
        DWORD_PTR dwModified = 0;
        ::SendMessageTimeoutW(hWndBarrier, EM_GETMODIFY, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &dwModified);
        return dwModified != 0;
    });
}

HWND DialogDriver::WaitForWindow(const std::wstring& caption) const {
    HWND hWndFound = nullptr;
    WaitUntil([&] {
        hWndFound = FindTopLevel(m_pi.dwProcessId, [&](HWND hWnd) { return WindowText(hWnd) == caption; });
        return hWndFound != nullptr;
    });
    return hWndFound;
}

// A key press as the keyboard delivers it: a WM_KEYDOWN in the thread's queue, which the
// dialog's modal loop hands to the dialog manager.
void DialogDriver::PostKey(HWND hWnd, UINT vk) const {
    const LPARAM lParam = 1 | (static_cast<LPARAM>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16);
    ::PostMessageW(hWnd, WM_KEYDOWN, vk, lParam);
    ::PostMessageW(hWnd, WM_KEYUP, vk, lParam | (3u << 30));
}

void DialogDriver::PressEscape() const {
    HWND hWndFocus = Focus();
    PostKey(hWndFocus ? hWndFocus : m_hWndDialog, VK_ESCAPE);
}

bool DialogDriver::PressKeyIn(int nId, UINT vk) const {
    HWND hWndControl = Item(nId);
    if (Focus() != hWndControl) {
        ::PostMessageW(m_hWndDialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(hWndControl), TRUE);
        if (!WaitUntil([&] { return Focus() == hWndControl; })) return false;
    }
    PostKey(hWndControl, vk);
    return true;
}

void DialogDriver::PressCloseBox() const {
    ::PostMessageW(m_hWndDialog, WM_SYSCOMMAND, SC_CLOSE, 0);
}

bool DialogDriver::WaitForExit(DWORD* pdwExitCode, DWORD dwTimeoutMs) {
    if (!m_pi.hProcess || ::WaitForSingleObject(m_pi.hProcess, dwTimeoutMs) != WAIT_OBJECT_0) return false;
    return ::GetExitCodeProcess(m_pi.hProcess, pdwExitCode) != FALSE;
}

bool DialogDriver::IsRunning() const {
    return m_pi.hProcess && ::WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT;
}

void DialogDriver::Kill() {
    if (!m_pi.hProcess) return;
    if (IsRunning()) {
        ::TerminateProcess(m_pi.hProcess, 1);
        ::WaitForSingleObject(m_pi.hProcess, kStartTimeoutMs);
    }
    ::CloseHandle(m_pi.hThread);
    ::CloseHandle(m_pi.hProcess);
    m_pi = {};
    m_hWndDialog = nullptr;
}

}  // namespace ui
