// Start-up. A: from CreateProcessW of LathmereTest.exe until its dialog is visible: an unowned
// top-level "#32770" of the new process with WS_VISIBLE (the template has no WS_VISIBLE; the
// modal loop shows the dialog after WM_INITDIALOG). B: the same for baredialog.exe, a dialog
// of the same size and controls built the same way with no COM, no graph and no framework.
// Visibility is polled every millisecond from here; closing the dialog (IDCANCEL) and the
// process's exit are not timed.
//
// Interleaved with both, baredialog.exe is also started with DLLs LathmereTest.exe imports
// loaded first, so the report shows how much of the difference is loading them.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"

namespace {

const double kTargetRatio = 1.3;
const int kRounds = 31;
const DWORD kStartTimeoutMs = 10000;
const DWORD kExitTimeoutMs = 10000;

struct DialogSearch {
    DWORD dwProcessId;
    HWND hWnd;
};

BOOL CALLBACK FindVisibleDialog(HWND hWnd, LPARAM lParam) {
    auto* pSearch = reinterpret_cast<DialogSearch*>(lParam);
    DWORD dwProcessId = 0;
    ::GetWindowThreadProcessId(hWnd, &dwProcessId);
    if (dwProcessId != pSearch->dwProcessId || !::IsWindowVisible(hWnd) || ::GetWindow(hWnd, GW_OWNER)) return TRUE;
    wchar_t szClass[16] = L"";
    ::GetClassNameW(hWnd, szClass, ARRAYSIZE(szClass));
    if (lstrcmpW(szClass, L"#32770") != 0) return TRUE;
    pSearch->hWnd = hWnd;
    return FALSE;
}

// baredialog.exe's command line for each variant: the DLLs it loads before its dialog.
struct BareVariant {
    const char* pszId;
    const wchar_t* pszDlls;
};
const BareVariant kVariants[] = {
    {"startup.bare+comdlg32", L"comdlg32.dll"},
    {"startup.bare+quartz", L"quartz.dll"},
    {"startup.bare+imports", L"advapi32.dll comctl32.dll comdlg32.dll ole32.dll oleaut32.dll quartz.dll"},
};

// One start of the program: the microseconds until its dialog was visible.
double StartUntilVisible(const std::wstring& exe, const wchar_t* pszArguments = nullptr) {
    const std::string id = "startup " + bench::Narrow(exe.substr(exe.find_last_of(L'\\') + 1));
    STARTUPINFOW rgSI = {};
    rgSI.cb = sizeof(rgSI);
    PROCESS_INFORMATION rgPI = {};
    DialogSearch search = {0, nullptr};
    // A command line, when there is one, starts with the program's name, as the C runtime expects.
    std::wstring commandLine = L"\"" + exe + L"\" " + (pszArguments ? pszArguments : L"");
    const double usStart = bench::NowUs();
    if (!::CreateProcessW(exe.c_str(), pszArguments ? &commandLine[0] : nullptr, nullptr, nullptr, FALSE,
                          NORMAL_PRIORITY_CLASS, nullptr, nullptr, &rgSI, &rgPI))
        bench::Fail(id.c_str(), "CreateProcessW failed, error %lu", ::GetLastError());
    search.dwProcessId = rgPI.dwProcessId;
    const DWORD dwStart = ::GetTickCount();
    for (;;) {
        ::EnumWindows(FindVisibleDialog, reinterpret_cast<LPARAM>(&search));
        if (search.hWnd || ::GetTickCount() - dwStart > kStartTimeoutMs) break;
        ::Sleep(1);
    }
    const double us = bench::NowUs() - usStart;

    if (search.hWnd) ::PostMessageW(search.hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    DWORD dwExitCode = STILL_ACTIVE;
    if (::WaitForSingleObject(rgPI.hProcess, kExitTimeoutMs) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(rgPI.hProcess, &dwExitCode);
    else
        ::TerminateProcess(rgPI.hProcess, 1);
    ::CloseHandle(rgPI.hThread);
    ::CloseHandle(rgPI.hProcess);
    if (!search.hWnd) bench::Fail(id.c_str(), "no visible dialog within %lu ms", kStartTimeoutMs);
    if (dwExitCode != 0) bench::Fail(id.c_str(), "the program ended with %lu after IDCANCEL", dwExitCode);
    return us;
}

}  // namespace

int wmain() {
    const std::wstring program = bench::BinDir() + L"\\LathmereTest.exe";
    const std::wstring bare = bench::BinDir() + L"\\baredialog.exe";
    std::vector<bench::TimedRun> runs = {[&] { return StartUntilVisible(program); },
                                         [&] { return StartUntilVisible(bare); }};
    for (const BareVariant& variant : kVariants)
        runs.push_back([&bare, &variant] { return StartUntilVisible(bare, variant.pszDlls); });
    const std::vector<bench::Samples> samples = bench::RunInterleaved(runs, kRounds);
    bench::ReportRatio("startup", "LathmereTest.exe: CreateProcessW until the dialog is visible",
                       "baredialog.exe: the same", bench::Pair{samples[0], samples[1]}, kTargetRatio);
    for (size_t i = 0; i < ARRAYSIZE(kVariants); ++i) {
        char sz[160];
        const double usVariant = samples[2 + i].Median();
        std::snprintf(sz, sizeof(sz), ", %+.1f ms, baredialog.exe %s", (usVariant - samples[1].Median()) / 1000,
                      bench::Narrow(kVariants[i].pszDlls).c_str());
        bench::ReportInfo(kVariants[i].pszId, bench::Spread(samples[2 + i]) + sz);
    }
    return 0;
}
