// baredialog.exe: the start-up benchmark's yardstick. A modal dialog of the same size and the
// same controls as LathmereTest's, built with the same compiler, flags and subsystem, and
// nothing else: no COM, no graph, no module object, no icon. OK or Cancel end it with 0.
//
// Its command line may name DLLs (separated by spaces) to load before the dialog is created:
// the benchmark uses that to weigh what loading LathmereTest's imports costs at start-up.
#include <windows.h>
#include <commctrl.h>

#include "BareDialogResources.h"

namespace {

INT_PTR CALLBACK BareDialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM) {
    switch (uMsg) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            ::EndDialog(hWnd, 0);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

// Loads each DLL the command line names. Split by hand: CommandLineToArgvW would bring in
// shell32, which would weigh on the very start-up this program measures.
void LoadNamedLibraries(wchar_t* pszCmdLine) {
    for (wchar_t* psz = pszCmdLine; psz && *psz;) {
        while (*psz == L' ') ++psz;
        wchar_t* pszEnd = psz;
        while (*pszEnd && *pszEnd != L' ') ++pszEnd;
        const bool bLast = *pszEnd == 0;
        *pszEnd = 0;
        if (*psz) ::LoadLibraryW(psz);
        psz = bLast ? pszEnd : pszEnd + 1;
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, PWSTR pszCmdLine, int) {
    LoadNamedLibraries(pszCmdLine);
    // The template names the up-down class, as LathmereTest's does.
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_UPDOWN_CLASS};
    ::InitCommonControlsEx(&icc);
    ::DialogBoxParamW(hInstance, MAKEINTRESOURCEW(IDD_BAREDIALOG), nullptr, BareDialogProc, 0);
    return 0;
}
