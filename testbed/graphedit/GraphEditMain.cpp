// graphedt.exe: the test bed's stand-in for Microsoft's GraphEdit. It keeps the contract the
// viewer bridge relies on: a main window with caption, system menu and sizing frame; command
// 0x8034 opens a dialog (owned by the main window) whose "ListBox" lists the graphs published in
// the running object table; OK binds to the selected one and draws it; WM_QUIT posted to the
// primary thread ends the process. Like the real tool it keeps the graph it shows, redrawing
// from it, and lets go only on its way out, after its message loop has ended: those last
// releases are calls into the publishing process. Misbehaviours and the other things a real
// GraphEdit does to a graph come from the environment (Behaviour.h).
#include <windows.h>

#include "Behaviour.h"
#include "MainWindow.h"
#include "StateFile.h"

namespace {

const int kExitLifetimeEnded = 2;
const int kExitStartFailed = 3;

// Ends the process after its lifetime, whatever the primary thread is doing (busy, in a modal
// loop, or ignoring WM_QUIT), so that no test leaves a stand-in behind.
DWORD WINAPI LifetimeWatchdog(void* pParam) {
    ::Sleep(static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(pParam)));
    ge::AppendState(L"lifetime-ended");
    ::ExitProcess(kExitLifetimeEnded);
}

void StartWatchdog(DWORD dwLifetimeMs) {
    if (dwLifetimeMs == INFINITE) return;
    HANDLE hThread = ::CreateThread(nullptr, 0, LifetimeWatchdog, reinterpret_cast<void*>(ULONG_PTR{dwLifetimeMs}),
                                    0, nullptr);
    if (hThread) ::CloseHandle(hThread);
}

// Never asks for a message, so WaitForInputIdle never sees this process ready; the watchdog ends it.
[[noreturn]] void StayBusy() {
    for (;;) ::Sleep(20);
}

// Runs until WM_QUIT arrives on this thread (posted by the viewer bridge or by closing the window).
int RunMessageLoop(const ge::CBehaviour& behaviour, ge::CMainWindow& window) {
    MSG msg;
    for (;;) {
        if (::GetMessageW(&msg, nullptr, 0, 0) == 0) {
            if (!behaviour.bIgnoreQuit) {
                ge::AppendStamp(L"quit");
                ge::AppendState(L"quit");
                return static_cast<int>(msg.wParam);
            }
            ge::AppendState(L"quit-ignored");
            continue;
        }
        if (window.TranslateDialogMessage(&msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, PWSTR, int nCmdShow) {
    const LONGLONG llStart = ge::StampNow();
    const ge::CBehaviour behaviour = ge::CBehaviour::FromEnvironment();
    ge::SetStateFile(behaviour.stateFile);
    ge::AppendStampFrequency();
    ge::AppendStamp(L"start", llStart);
    StartWatchdog(behaviour.dwLifetimeMs);
    if (behaviour.bNeverIdle) {
        ge::AppendState(L"never-idle");
        StayBusy();
    }
    // The graphs of other processes are reached through the running object table: an apartment
    // of its own on this, the only UI thread.
    if (FAILED(::CoInitialize(nullptr))) return kExitStartFailed;
    int nExit = kExitStartFailed;
    {
        ge::CMainWindow window(behaviour);
        if (window.Create(hInstance, nCmdShow)) {
            ge::AppendStamp(L"ready");
            ge::AppendState(L"ready");
            nExit = RunMessageLoop(behaviour, window);
            // A slow exit: the process neither pumps nor lets go for a while.
            if (behaviour.dwExitDelayMs != 0) ::Sleep(behaviour.dwExitDelayMs);
            window.ReleaseGraph();
        }
    }
    ::CoUninitialize();
    // The last of its own work: what follows is the platform ending the process.
    ge::AppendStamp(L"exit");
    return nExit;
}
