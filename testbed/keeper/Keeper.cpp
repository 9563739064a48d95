// keeper: holds one hidden window and waits, so that Wine's desktop process (explorer.exe
// /desktop) stays up for the whole test run. Without it the first window of each test starts
// the desktop, which inherits the test's output pipe and lingers about a second after the
// test has ended; ctest waits for that pipe to close.
//   keeper <ready-file>   creates the window, then writes <ready-file> (the desktop is up by
//                         then: a window cannot be created without it) and waits until the
//                         test script ends it (WM_QUIT, or the process killed)
#include <windows.h>

#include <shellapi.h>

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, PWSTR, int) {
    int nArgs = 0;
    LPWSTR* ppArgs = ::CommandLineToArgvW(::GetCommandLineW(), &nArgs);
    if (ppArgs == nullptr || nArgs != 2) return 2;
    HWND hWnd = ::CreateWindowExW(0, L"STATIC", L"LathmereTest keeper", WS_POPUP, 0, 0, 1, 1,
                                  nullptr, nullptr, hInstance, nullptr);
    if (hWnd == nullptr) return 1;
    HANDLE hReady = ::CreateFileW(ppArgs[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ::LocalFree(ppArgs);
    if (hReady == INVALID_HANDLE_VALUE) return 1;
    ::CloseHandle(hReady);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) ::DispatchMessageW(&msg);
    ::DestroyWindow(hWnd);
    return 0;
}
