#include "ConnectDialog.h"

#include <commctrl.h>

#include "GraphEditResources.h"
#include "StateFile.h"

namespace ge {
namespace {

const UINT_PTR kFillTimer = 1;

// Each count asked of the list (LB_GETCOUNT, one per pass of the viewer bridge's search) is
// stamped, so tests can count the passes that reached the list.
LRESULT CALLBACK CountingListProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (uMsg == LB_GETCOUNT) AppendStamp(L"getcount");
    return ::DefSubclassProc(hWnd, uMsg, wParam, lParam);
}

const UINT_PTR kCountingSubclass = 1;

}  // namespace

CConnectDialog::CConnectDialog(const CBehaviour& behaviour, ChooseHandler onChoose)
    : m_behaviour(behaviour), m_onChoose(std::move(onChoose)) {}

CConnectDialog::~CConnectDialog() { Close(); }

bool CConnectDialog::Open(HINSTANCE hInstance, HWND hWndOwner) {
    Close();
    m_hWnd = ::CreateDialogParamW(hInstance, MAKEINTRESOURCEW(IDD_CONNECT), hWndOwner, DialogProc,
                                  reinterpret_cast<LPARAM>(this));
    return m_hWnd != nullptr;
}

void CConnectDialog::Close() {
    if (m_hWnd) ::DestroyWindow(m_hWnd);  // WM_NCDESTROY clears m_hWnd
    m_graphs.clear();
}

bool CConnectDialog::TranslateDialogMessage(MSG* pMsg) { return m_hWnd && ::IsDialogMessageW(m_hWnd, pMsg); }

INT_PTR CALLBACK CConnectDialog::DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_INITDIALOG) {
        auto* pThis = reinterpret_cast<CConnectDialog*>(lParam);
        ::SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
        pThis->m_hWnd = hWnd;
    }
    auto* pThis = reinterpret_cast<CConnectDialog*>(::GetWindowLongPtrW(hWnd, DWLP_USER));
    return pThis ? pThis->HandleMessage(uMsg, wParam, lParam) : FALSE;
}

INT_PTR CConnectDialog::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
    case WM_INITDIALOG:
        OnInitDialog();
        return TRUE;
    case WM_TIMER:
        if (wParam != kFillTimer) return FALSE;
        ::KillTimer(m_hWnd, kFillTimer);
        FillList();
        return TRUE;
    case WM_COMMAND:
        OnCommand(wParam, lParam);
        return TRUE;
    case WM_NCDESTROY:
        ::SetWindowLongPtrW(m_hWnd, DWLP_USER, 0);
        m_hWnd = nullptr;
        return FALSE;
    }
    return FALSE;
}

// The commands the dialog acts on are recorded exactly as received; the list box's other
// notifications (focus, selection) are not.
void CConnectDialog::OnCommand(WPARAM wParam, LPARAM lParam) {
    const bool bOK = LOWORD(wParam) == IDOK || (LOWORD(wParam) == IDC_GRAPHS && HIWORD(wParam) == LBN_DBLCLK);
    const bool bCancel = LOWORD(wParam) == IDCANCEL;
    if (!bOK && !bCancel) return;
    if (bOK) AppendStamp(L"ok");
    AppendState(L"dialog-command wParam=" + Param(wParam) + L" lParam=" + Param(static_cast<ULONG_PTR>(lParam)));
    if (bOK) OnOK();
    else OnCancel();
}

void CConnectDialog::OnInitDialog() {
    AppendState(L"dialog-open");
    ::SetWindowSubclass(::GetDlgItem(m_hWnd, IDC_GRAPHS), CountingListProc, kCountingSubclass, 0);
    if (m_behaviour.bEmptyList) {
        AppendStamp(L"listed");
        AppendState(L"listed count=0");
        return;
    }
    // A slow GraphEdit: the list stays empty for a while, as if the table took long to read.
    if (m_behaviour.dwSlowListMs != 0) ::SetTimer(m_hWnd, kFillTimer, m_behaviour.dwSlowListMs, nullptr);
    else FillList();
}

void CConnectDialog::FillList() {
    const HRESULT hr = ListPublishedGraphs(m_graphs);
    if (FAILED(hr)) {
        AppendState(L"list-failed hr=" + Hex(hr));
        return;
    }
    HWND hWndList = ::GetDlgItem(m_hWnd, IDC_GRAPHS);
    int cItems = 0;
    for (size_t i = 0; i < m_graphs.size(); ++i) {
        const std::wstring text = FormatGraphItem(m_graphs[i], m_behaviour.bLongItems);
        for (int nCopy = m_behaviour.bDuplicateItems ? 2 : 1; nCopy > 0; --nCopy) {
            const LRESULT iItem = ::SendMessageW(hWndList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
            ::SendMessageW(hWndList, LB_SETITEMDATA, iItem, static_cast<LPARAM>(i));
            AppendState(L"item " + text);
            ++cItems;
        }
    }
    AppendStamp(L"listed");
    AppendState(L"listed count=" + std::to_wstring(cItems));
}

void CConnectDialog::OnOK() {
    HWND hWndList = ::GetDlgItem(m_hWnd, IDC_GRAPHS);
    const LRESULT iItem = ::SendMessageW(hWndList, LB_GETCURSEL, 0, 0);
    if (iItem == LB_ERR) {
        AppendState(L"confirmed without selection");
        return;  // like GraphEdit: nothing chosen, the dialog stays
    }
    const size_t iGraph = static_cast<size_t>(::SendMessageW(hWndList, LB_GETITEMDATA, iItem, 0));
    if (iGraph >= m_graphs.size()) return;
    AppendState(L"confirmed index=" + std::to_wstring(iItem));
    // The choice outlives the dialog: the graph is read after the dialog is gone.
    const CPublishedGraph chosen = m_graphs[iGraph];
    Close();
    m_onChoose(chosen);
}

void CConnectDialog::OnCancel() {
    AppendState(L"dialog-cancelled");
    Close();
}

}  // namespace ge
