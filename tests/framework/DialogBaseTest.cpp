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

// Fills the window station's atom table, which window properties and classes take their
// names from, and empties it again when it goes.
class AtomTableFiller {
public:
    AtomTableFiller() {
        for (unsigned i = 0;; ++i) {
            const ATOM atom = ::GlobalAddAtomW((L"fw.test.filler." + std::to_wstring(i)).c_str());
            if (!atom) break;
            m_atoms.push_back(atom);
        }
    }
    ~AtomTableFiller() {
        for (ATOM atom : m_atoms) ::GlobalDeleteAtom(atom);
    }
    size_t Count() const { return m_atoms.size(); }

private:
    std::vector<ATOM> m_atoms;
};

// Ends whatever dialog of this thread still runs after 10 s, with kWatchdogCode, so a dialog
// whose messages reach nothing fails the test instead of hanging it.
const INT_PTR kWatchdogCode = 0x5EAD;
BOOL CALLBACK EndDialogWindow(HWND hWnd, LPARAM) {
    ::EndDialog(hWnd, kWatchdogCode);
    return TRUE;
}
void CALLBACK EndStuckDialog(HWND, UINT, UINT_PTR, DWORD) { ::EnumThreadWindows(::GetCurrentThreadId(), EndDialogWindow, 0); }

// Attaching the object to its window takes nothing that can run out: with no atom left for a
// window property's name, the dialog still routes its messages and ends.
TEST(DialogBase, RoutesAndEndsWithTheAtomTableFull) {
    CProbeDialog dlg;
    INT_PTR nResult = 0;
    {
        AtomTableFiller filler;
        ASSERT_GT(filler.Count(), 1000u);
        ASSERT_EQ(0, ::GlobalAddAtomW(L"fw.test.one.more"));  // the table is full
        const UINT_PTR nWatchdog = ::SetTimer(nullptr, 0, 10000, EndStuckDialog);
        nResult = dlg.DoModal(nullptr, 7);
        ::KillTimer(nullptr, nWatchdog);
    }
    EXPECT_EQ(IDCANCEL, nResult);
    EXPECT_EQ((std::vector<std::wstring>{L"init 7 handled", L"edit 302 768", L"declined", L"button 301", L"cancel"}),
              dlg.m_calls);
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
