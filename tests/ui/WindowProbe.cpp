#include "WindowProbe.h"

namespace ui {
namespace {

const DWORD kPollMs = 10;
const DWORD kMessageTimeoutMs = 5000;

struct TopLevelSearch {
    DWORD dwProcessId;
    const std::function<bool(HWND)>* pTest;
    HWND hWndFound;
};

BOOL CALLBACK TestTopLevel(HWND hWnd, LPARAM lParam) {
    auto* pSearch = reinterpret_cast<TopLevelSearch*>(lParam);
    DWORD dwProcessId = 0;
    ::GetWindowThreadProcessId(hWnd, &dwProcessId);
    if (dwProcessId != pSearch->dwProcessId || !(*pSearch->pTest)(hWnd)) return TRUE;
    pSearch->hWndFound = hWnd;
    return FALSE;
}

bool IsStaticOfType(HWND hWnd, bool bIcon) {
    if (ClassName(hWnd) != L"Static") return false;
    const bool bIsIcon = (::GetWindowLongW(hWnd, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
    return bIsIcon == bIcon;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD dwTimeoutMs) {
    const DWORD dwStart = ::GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (::GetTickCount() - dwStart >= dwTimeoutMs) return false;
        ::Sleep(kPollMs);
    }
}

std::wstring WindowText(HWND hWnd) {
    DWORD_PTR cch = 0;
    if (!::SendMessageTimeoutW(hWnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &cch)) return L"";
    std::wstring text(cch + 1, L'\0');
    DWORD_PTR cchRead = 0;
    ::SendMessageTimeoutW(hWnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG,
                          kMessageTimeoutMs, &cchRead);
    text.resize(cchRead);
    return text;
}

std::wstring ClassName(HWND hWnd) {
    wchar_t sz[256] = {};
    ::GetClassNameW(hWnd, sz, ARRAYSIZE(sz));
    return sz;
}

HWND FindTopLevel(DWORD dwProcessId, const std::function<bool(HWND)>& test) {
    TopLevelSearch search{dwProcessId, &test, nullptr};
    ::EnumWindows(TestTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.hWndFound;
}

HWND FindOwnedDialog(HWND hWndOwner) {
    DWORD dwProcessId = 0;
    ::GetWindowThreadProcessId(hWndOwner, &dwProcessId);
    return FindTopLevel(dwProcessId, [hWndOwner](HWND hWnd) {
        return ClassName(hWnd) == L"#32770" && ::GetWindow(hWnd, GW_OWNER) == hWndOwner;
    });
}

HWND WaitForOwnedDialog(HWND hWndOwner, DWORD dwTimeoutMs) {
    HWND hWndBox = nullptr;
    WaitUntil([&] { return (hWndBox = FindOwnedDialog(hWndOwner)) != nullptr; }, dwTimeoutMs);
    return hWndBox;
}

BoxContent ReadBox(HWND hWndBox) {
    BoxContent content;
    content.caption = WindowText(hWndBox);
    for (HWND hWnd = ::GetWindow(hWndBox, GW_CHILD); hWnd; hWnd = ::GetWindow(hWnd, GW_HWNDNEXT)) {
        if (IsStaticOfType(hWnd, false)) {
            std::wstring text = WindowText(hWnd);
            if (!text.empty()) content.text = text;
        } else if (IsStaticOfType(hWnd, true)) {
            DWORD_PTR hIcon = 0;
            ::SendMessageTimeoutW(hWnd, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &hIcon);
            if (hIcon) content.bIcon = true;
        }
    }
    return content;
}

bool PressOk(HWND hWndBox) {
    ::PostMessageW(hWndBox, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return WaitUntil([hWndBox] { return !::IsWindow(hWndBox); });
}

bool TypeFileName(HWND hWndFileDialog, const std::wstring& name) {
    const int kFileNameBox = 0x47c;
    HWND hWndComboEx = ::GetDlgItem(hWndFileDialog, kFileNameBox);
    HWND hWndCombo = ::FindWindowExW(hWndComboEx, nullptr, L"ComboBox", nullptr);
    HWND hWndEdit = ::FindWindowExW(hWndCombo, nullptr, L"Edit", nullptr);
    if (!hWndEdit) return false;
    DWORD_PTR dwResult = 0;
    ::SendMessageTimeoutW(hWndEdit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()), SMTO_ABORTIFHUNG,
                          kMessageTimeoutMs, &dwResult);
    return WindowText(hWndEdit) == name;
}

void PressFileDialogButton(HWND hWndFileDialog, int nId) {
    ::PostMessageW(hWndFileDialog, WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED), 0);
}

}  // namespace ui
