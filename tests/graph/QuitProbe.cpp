// A tiny GUI program standing in for a child process that the viewer bridge asks to quit.
// Started with the argument "ignore-quit" it swallows WM_QUIT and runs on; in every case it
// ends by itself after 10 seconds, so a failing test leaves no orphan behind.
#include <windows.h>

#include <wchar.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR pszCmdLine, int) {
    const bool bIgnoreQuit = wcsstr(pszCmdLine, L"ignore-quit") != nullptr;
    const DWORD dwDeadline = ::GetTickCount() + 10000;
    MSG msg;
    ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // creates the message queue: input idle from here
    while (static_cast<LONG>(::GetTickCount() - dwDeadline) < 0) {
        if (::MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT) != WAIT_OBJECT_0) continue;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT && !bIgnoreQuit) return static_cast<int>(msg.wParam);
            ::DispatchMessageW(&msg);
        }
    }
    return 3;
}
