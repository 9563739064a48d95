// The modal dialog base: the object is attached while the window is created, messages go
// through the map in order, and EndDialog's code comes back from DoModal.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DialogBase.h"
#include "TestSupport.h"

namespace {

class CProbeDialog : public fw::DialogImpl<CProbeDialog> {
public:
    enum { IDD = 101 };
    std::vector<std::wstring> m_calls;
    HWND m_hWndAtInit = nullptr;
    bool m_bFinalMessage = false;

    BOOL ProcessWindowMessage(HWND, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult, DWORD) override {
        using Entry = fw::MessageMapEntry<CProbeDialog>;
        static const Entry kMap[] = {
            Entry::OnMessage(WM_INITDIALOG, &CProbeDialog::OnInitDialog),
            Entry::OnCommand(302, EN_CHANGE, &CProbeDialog::OnEditChange),
            Entry::OnCommand(301, &CProbeDialog::OnButtonDeclined),  // lets the search go on
            Entry::OnCommand(301, &CProbeDialog::OnButton),
            Entry::OnCommand(IDCANCEL, &CProbeDialog::OnCancel),
        };
        return fw::DispatchMessageMap(this, kMap, uMsg, wParam, lParam, lResult);
    }
    void OnFinalMessage(HWND) override { m_bFinalMessage = true; }

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM lParam, BOOL& bHandled) {
        m_calls.push_back(L"init " + std::to_wstring(lParam) + (bHandled ? L" handled" : L""));
        m_hWndAtInit = m_hWnd;
        ::SetDlgItemTextW(m_hWnd, 302, L"x");  // EN_CHANGE, dispatched at once
        ::PostMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(302, EN_SETFOCUS), 0);  // matches no entry
        ::PostMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(301, BN_CLICKED), 0);
        return 1;
    }
    LRESULT OnEditChange(WORD wCode, WORD wID, HWND, BOOL&) {
        m_calls.push_back(L"edit " + std::to_wstring(wID) + L" " + std::to_wstring(wCode));
        return 0;
    }
    LRESULT OnButtonDeclined(WORD, WORD, HWND, BOOL& bHandled) {
        m_calls.push_back(L"declined");
        bHandled = FALSE;
        return 0;
    }
    LRESULT OnButton(WORD, WORD wID, HWND, BOOL&) {
        m_calls.push_back(L"button " + std::to_wstring(wID));
        ::PostMessageW(m_hWnd, WM_COMMAND, IDCANCEL, 0);
        return 0;
    }
    LRESULT OnCancel(WORD, WORD, HWND, BOOL&) {
        m_calls.push_back(L"cancel");
        EndDialog(IDCANCEL);
        return 0;
    }
};

TEST(DialogBase, RoutesMessagesThroughTheMapInOrderAndEnds) {
    CProbeDialog dlg;
    INT_PTR nResult = dlg.DoModal(nullptr, 42);
    EXPECT_EQ(IDCANCEL, nResult);
    EXPECT_EQ((std::vector<std::wstring>{L"init 42 handled", L"edit 302 768", L"declined", L"button 301", L"cancel"}),
              dlg.m_calls);
    EXPECT_NE(nullptr, dlg.m_hWndAtInit);
    EXPECT_EQ(nullptr, dlg.m_hWnd);  // detached when the window went away
    EXPECT_TRUE(dlg.m_bFinalMessage);
}

TEST(DialogBase, MissingTemplateGivesMinusOne) {
    class CNoTemplate : public fw::DialogImpl<CNoTemplate> {
    public:
        enum { IDD = 999 };
        BOOL ProcessWindowMessage(HWND, UINT, WPARAM, LPARAM, LRESULT&, DWORD) override { return FALSE; }
    } dlg;
    EXPECT_EQ(-1, dlg.DoModal(nullptr));
    EXPECT_EQ(nullptr, dlg.m_hWnd);
}

}  // namespace
