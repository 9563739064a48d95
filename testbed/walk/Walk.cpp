// walk: drives a running LathmereTest dialog one step at a time for the run command's
// demonstration, through window messages only, as a user would click.
//   walk wait        waits until the dialog is up
//   walk build       presses "Build graph" and reports the caption and any message box
//   walk play|pause|stop|show
//   walk written     prints the "Written" read-out
//   walk close       presses Esc
// Any message box the dialog opens is read, printed and confirmed with OK.
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

#include <string>

namespace {

const int kBuildGraph = 210, kShowGraph = 211, kWritten = 212, kPlay = 220, kPause = 221, kStop = 222;

struct Found {
    HWND hWnd = nullptr;
    HWND hWndOwner = nullptr;
};

BOOL CALLBACK FindDialog(HWND hWnd, LPARAM lParam) {
    wchar_t szClass[64] = L"", szText[512] = L"";
    ::GetClassNameW(hWnd, szClass, 64);
    ::GetWindowTextW(hWnd, szText, 512);
    if (wcscmp(szClass, L"#32770") != 0 || !::IsWindowVisible(hWnd)) return TRUE;
    if (wcscmp(szText, L"Lathmere Test") != 0 && wcsncmp(szText, L"Test for ", 9) != 0) return TRUE;
    if (::GetDlgItem(hWnd, kBuildGraph) == nullptr) return TRUE;  // a message box has no such control
    reinterpret_cast<Found*>(lParam)->hWnd = hWnd;
    return FALSE;
}

BOOL CALLBACK FindOwnedBox(HWND hWnd, LPARAM lParam) {
    auto* pFound = reinterpret_cast<Found*>(lParam);
    wchar_t szClass[64] = L"";
    ::GetClassNameW(hWnd, szClass, 64);
    if (wcscmp(szClass, L"#32770") != 0 || ::GetWindow(hWnd, GW_OWNER) != pFound->hWndOwner) return TRUE;
    pFound->hWnd = hWnd;
    return FALSE;
}

HWND WaitForDialog(DWORD dwTimeoutMs) {
    const DWORD dwStart = ::GetTickCount();
    do {
        Found found;
        ::EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&found));
        if (found.hWnd) return found.hWnd;
        ::Sleep(50);
    } while (::GetTickCount() - dwStart < dwTimeoutMs);
    return nullptr;
}

std::wstring TextOf(HWND hWnd) {
    wchar_t sz[1100] = L"";
    ::SendMessageTimeoutW(hWnd, WM_GETTEXT, 1100, reinterpret_cast<LPARAM>(sz), SMTO_BLOCK, 2000, nullptr);
    return sz;
}

BOOL CALLBACK CollectStatic(HWND hWnd, LPARAM lParam) {
    wchar_t szClass[64] = L"";
    ::GetClassNameW(hWnd, szClass, 64);
    if (wcscmp(szClass, L"Static") == 0 && !(::GetWindowLongW(hWnd, GWL_STYLE) & SS_ICON)) {
        std::wstring text = TextOf(hWnd);
        if (!text.empty()) *reinterpret_cast<std::wstring*>(lParam) += text;
    }
    return TRUE;
}

// Reads and confirms the message boxes the dialog opens within dwWaitMs; returns how many.
int AnswerMessageBoxes(HWND hWndDialog, DWORD dwWaitMs) {
    int cBoxes = 0;
    DWORD dwStart = ::GetTickCount();
    while (::GetTickCount() - dwStart < dwWaitMs) {
        Found found;
        found.hWndOwner = hWndDialog;
        ::EnumWindows(FindOwnedBox, reinterpret_cast<LPARAM>(&found));
        if (!found.hWnd) {
            ::Sleep(50);
            continue;
        }
        std::wstring text;
        ::EnumChildWindows(found.hWnd, CollectStatic, reinterpret_cast<LPARAM>(&text));
        for (wchar_t& c : text)
            if (c == L'\n' || c == L'\r') c = L' ';
        wprintf(L"  message box: %ls\n", text.c_str());
        ::PostMessageW(found.hWnd, WM_COMMAND, IDOK, 0);
        ++cBoxes;
        ::Sleep(200);
        dwStart = ::GetTickCount();
    }
    return cBoxes;
}

void Press(HWND hWndDialog, int nId, const wchar_t* pszName, DWORD dwSettleMs) {
    wprintf(L"pressing \"%ls\"\n", pszName);
    ::PostMessageW(hWndDialog, WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(hWndDialog, nId)));
    AnswerMessageBoxes(hWndDialog, dwSettleMs);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring step = argc > 1 ? argv[1] : L"";
    HWND hWnd = WaitForDialog(step == L"wait" ? 20000 : 3000);
    if (!hWnd) {
        wprintf(L"the LathmereTest dialog was not found\n");
        return 1;
    }
    if (step == L"wait") {
        wprintf(L"dialog up: \"%ls\", file \"%ls\"\n", TextOf(hWnd).c_str(), TextOf(::GetDlgItem(hWnd, 202)).c_str());
    } else if (step == L"build") {
        Press(hWnd, kBuildGraph, L"Build graph", 1500);
        wprintf(L"  caption: \"%ls\"\n", TextOf(hWnd).c_str());
    } else if (step == L"play") {
        Press(hWnd, kPlay, L"Play", 800);
    } else if (step == L"pause") {
        Press(hWnd, kPause, L"Pause", 500);
    } else if (step == L"stop") {
        Press(hWnd, kStop, L"Stop", 500);
    } else if (step == L"show") {
        Press(hWnd, kShowGraph, L"Show graph", 2500);
    } else if (step == L"written") {
        wprintf(L"  Written: %ls\n", TextOf(::GetDlgItem(hWnd, kWritten)).c_str());
    } else if (step == L"close") {
        wprintf(L"pressing Esc\n");
        ::PostMessageW(hWnd, WM_COMMAND, IDCANCEL, 0);
    } else {
        wprintf(L"unknown step \"%ls\"\n", step.c_str());
        return 2;
    }
    return 0;
}
