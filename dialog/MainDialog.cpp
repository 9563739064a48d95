#include "MainDialog.h"

#include <commctrl.h>
#include <commdlg.h>
#include <errors.h>
#include <wchar.h>

#include "Debug.h"
#include "Module.h"

FW_ASSERT_SOURCE(L"MainDialog");

namespace {

const wchar_t kCaption[] = L"Lathmere Test";
const wchar_t kDefaultFile[] = L"C:\\CVS\\Dev\\Filters\\MPEG-4\\Lathmere\\Graphs\\Tavrel-Lathmere.GRF";
const UINT_PTR kProgressTimer = 1;
const UINT kProgressPeriodMs = 100;
const UINT kDefaultInterleavingMs = 200;

using Entry = fw::MessageMapEntry<CMainDialog>;

// The message map, tested in this order.
const Entry kMessageMap[] = {
    Entry::OnMessage(WM_INITDIALOG, &CMainDialog::OnInitDialog),
    Entry::OnMessage(WM_TIMER, &CMainDialog::OnTimer),
    Entry::OnCommand(IDC_LOAD, &CMainDialog::OnLoad),
    Entry::OnCommand(IDC_FILE, EN_CHANGE, &CMainDialog::OnFileChange),
    Entry::OnCommand(IDC_BUILD_GRAPH, &CMainDialog::OnBuildGraph),
    Entry::OnCommand(IDC_SHOW_GRAPH, &CMainDialog::OnShowGraph),
    Entry::OnCommand(IDC_PLAY, &CMainDialog::OnPlay),
    Entry::OnCommand(IDC_PAUSE, &CMainDialog::OnPause),
    Entry::OnCommand(IDC_STOP, &CMainDialog::OnStop),
    Entry::OnCommand(IDOK, &CMainDialog::OnClose),
    Entry::OnCommand(IDCANCEL, &CMainDialog::OnClose),
};

// The controls EnableControls switches, in order. 207 "Long ( > 15 hours) output files" is
// deliberately not among them: it stays enabled.
const int kSwitchedControls[] = {IDC_SHARED_ACCESS, IDC_MDAT_MODE, IDC_INTERLEAVING, IDC_INTERLEAVING_SPIN,
                                 IDC_NON_DROP, IDC_SAVE_BREAKS_ONLY, IDC_PLAY, IDC_PAUSE, IDC_STOP};

}  // namespace

CMainDialog::CMainDialog() { m_szFile[0] = 0; }

BOOL CMainDialog::ProcessWindowMessage(HWND, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult, DWORD) {
    return fw::DispatchMessageMap(this, kMessageMap, uMsg, wParam, lParam, lResult);
}

// ---- Shell ------------------------------------------------------------------------------

LRESULT CMainDialog::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&) {
    HICON hIcon = ::LoadIconW(fw::ExeModule::ResourceInstance(), MAKEINTRESOURCEW(IDI_LATHMERETEST));
    ::SetClassLongPtrW(m_hWnd, GCLP_HICON, reinterpret_cast<LONG_PTR>(hIcon));
    CenterWindow();

    lstrcpynW(m_szFile, kDefaultFile, MAX_PATH);
    ::SetDlgItemTextW(m_hWnd, IDC_FILE, m_szFile);  // EN_CHANGE: OnFileChange copies it back
    ::SendDlgItemMessageW(m_hWnd, IDC_INTERLEAVING_SPIN, UDM_SETRANGE32, 0, 2000);
    ::SetDlgItemInt(m_hWnd, IDC_INTERLEAVING, kDefaultInterleavingMs, FALSE);
    ::SetDlgItemTextW(m_hWnd, IDC_WRITTEN, L"");
    EnableControls(FALSE);
    return 1;
}

void CMainDialog::EnableControls(BOOL bEnable) {
    for (int nId : kSwitchedControls) ::EnableWindow(::GetDlgItem(m_hWnd, nId), bEnable);
}

LRESULT CMainDialog::OnClose(WORD, WORD wID, HWND, BOOL&) {
    ::KillTimer(m_hWnd, kProgressTimer);
    m_graph.Clear();
    EndDialog(wID);
    return 0;
}

int CMainDialog::ShowError(const wchar_t* pszMessage, HRESULT hr) {
    return ShowErrorBox(m_hWnd, pszMessage, kCaption, hr, 0);
}

// ---- Graph set-up -----------------------------------------------------------------------

LRESULT CMainDialog::OnLoad(WORD, WORD, HWND, BOOL&) {
    wchar_t szFile[MAX_PATH];
    lstrcpynW(szFile, m_szFile, MAX_PATH);
    if (SelectGRFFile(szFile)) {
        lstrcpynW(m_szFile, szFile, MAX_PATH);
        ::SetDlgItemTextW(m_hWnd, IDC_FILE, m_szFile);
    }
    return 0;
}

BOOL CMainDialog::SelectGRFFile(wchar_t* pszFile) {
    FW_ASSERT(pszFile != 0);
    OPENFILENAMEW rgOFN;
    ZeroMemory(&rgOFN, sizeof(rgOFN));
    rgOFN.lStructSize = sizeof(rgOFN);
    rgOFN.hwndOwner = m_hWnd;
    rgOFN.lpstrFilter = L"GRF files (.grf)\0*.grf\0All files\0*.*\0";
    rgOFN.nFilterIndex = 0;
    rgOFN.lpstrFile = pszFile;
    rgOFN.nMaxFile = MAX_PATH;
    rgOFN.lpstrTitle = L"Select GRF file";
    rgOFN.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
    rgOFN.lpstrDefExt = L"grf";
    return ::GetOpenFileNameW(&rgOFN) == 1;
}

LRESULT CMainDialog::OnFileChange(WORD, WORD, HWND, BOOL&) {
    ::GetDlgItemTextW(m_hWnd, IDC_FILE, m_szFile, MAX_PATH);
    return 0;
}

LRESULT CMainDialog::OnBuildGraph(WORD, WORD, HWND, BOOL&) {
    ::KillTimer(m_hWnd, kProgressTimer);
    if (m_szFile[0] == 0) {
        EnableControls(FALSE);
        ShowError(L".grf file not selected", E_INVALIDARG);
        return 0;
    }

    HRESULT hr = m_graph.BuildGraph(m_szFile);
    if (hr == S_FALSE) {
        ShowError(L"Corvelin Lathmere not found in graph", 0);
        return 0;
    }
    if (FAILED(hr)) {
        EnableControls(FALSE);
        ShowError(L"Can't build graph", hr);
        return 0;
    }
    if (hr != S_OK) ShowError(L"Some problems found", hr);

    ReadOptionsFromWriter();

    fw::ComBstr cbsFilter;
    m_graph.GetVersionString(cbsFilter);
    if (!cbsFilter.IsNull()) {
        // "Test for " and as much of the identity as the 512-character caption holds.
        wchar_t sz[512] = L"Test for ";
        lstrcpynW(sz + 9, cbsFilter.Text(), ARRAYSIZE(sz) - 9);
        ::SetWindowTextW(m_hWnd, sz);
    } else {
        ::SetWindowTextW(m_hWnd, kCaption);
    }

    UpdateWritten();
    EnableControls(TRUE);
    ::SetTimer(m_hWnd, kProgressTimer, kProgressPeriodMs, nullptr);
    return 0;
}

void CMainDialog::CheckFromWriter(int nId, HRESULT (CGraph::*pfnGet)(BOOL*), BOOL bInitial) {
    BOOL bValue = bInitial;
    HRESULT hr = (m_graph.*pfnGet)(&bValue);
    FW_ASSERT_S_OK(hr);
    ::CheckDlgButton(m_hWnd, nId, bValue ? BST_CHECKED : BST_UNCHECKED);
}

void CMainDialog::ReadOptionsFromWriter() {
    CheckFromWriter(IDC_SHARED_ACCESS, &CGraph::GetSharedAccess, FALSE);
    CheckFromWriter(IDC_MDAT_MODE, &CGraph::GetMdatMode, FALSE);
    CheckFromWriter(IDC_LONG_DUR, &CGraph::GetLongDur, FALSE);
    DWORD nInterleavingMs = kDefaultInterleavingMs;
    HRESULT hr = m_graph.GetInterleaving(&nInterleavingMs);
    FW_ASSERT_S_OK(hr);
    ::SetDlgItemInt(m_hWnd, IDC_INTERLEAVING, nInterleavingMs, FALSE);
    CheckFromWriter(IDC_NON_DROP, &CGraph::GetNonDrop, FALSE);
    CheckFromWriter(IDC_SAVE_BREAKS_ONLY, &CGraph::GetSaveBreaksOnly, FALSE);
}

// ---- Run commands -----------------------------------------------------------------------

void CMainDialog::ApplyCheckOption(int nId, HRESULT (CGraph::*pfnSet)(BOOL), HRESULT (CGraph::*pfnGet)(BOOL*),
                                   const wchar_t* pszMessage) {
    BOOL bValue = ::IsDlgButtonChecked(m_hWnd, nId) == BST_CHECKED ? 1 : 0;
    HRESULT hr = (m_graph.*pfnSet)(bValue);
    if (hr == S_OK) return;
    ShowError(pszMessage, hr);
    // Show what the writer kept; a getter that fails leaves the user's choice.
    hr = (m_graph.*pfnGet)(&bValue);
    FW_ASSERT_S_OK(hr);
    ::CheckDlgButton(m_hWnd, nId, bValue ? BST_CHECKED : BST_UNCHECKED);
}

void CMainDialog::ApplyInterleaving() {
    BOOL bTrans = 0;
    UINT nInterleavingMs = ::GetDlgItemInt(m_hWnd, IDC_INTERLEAVING, &bTrans, FALSE);
    if (!bTrans) {
        ShowError(L"Invalid interleaving value, use default value", E_INVALIDARG);
        nInterleavingMs = kDefaultInterleavingMs;
    }
    HRESULT hr = m_graph.SetInterleaving(nInterleavingMs);
    if (hr == S_OK) return;
    ShowError(L"Can't set value of interleaving", hr);
    DWORD dwValue = nInterleavingMs;
    hr = m_graph.GetInterleaving(&dwValue);
    FW_ASSERT_S_OK(hr);
    ::SetDlgItemInt(m_hWnd, IDC_INTERLEAVING, dwValue, FALSE);
}

LRESULT CMainDialog::OnPlay(WORD, WORD, HWND, BOOL&) {
    if (m_graph.IsEmpty()) {
        ShowError(L"Graph is not exist", E_FAIL);
        return 0;
    }
    ApplyCheckOption(IDC_SHARED_ACCESS, &CGraph::SetSharedAccess, &CGraph::GetSharedAccess, L"Can't set access mode");
    ApplyCheckOption(IDC_MDAT_MODE, &CGraph::SetMdatMode, &CGraph::GetMdatMode, L"Can't set .mdat mode");
    ApplyCheckOption(IDC_LONG_DUR, &CGraph::SetLongDur, &CGraph::GetLongDur, L"Can't change long duration flag");
    ApplyInterleaving();
    ApplyCheckOption(IDC_NON_DROP, &CGraph::SetNonDrop, &CGraph::GetNonDrop, L"Can't change drop mode for time codes");
    ApplyCheckOption(IDC_SAVE_BREAKS_ONLY, &CGraph::SetSaveBreaksOnly, &CGraph::GetSaveBreaksOnly,
                     L"Can't change mode for processing time codes");

    HRESULT hr = m_graph.Run();
    if (FAILED(hr)) ShowError(L"Can't run capture graph", hr);
    return 0;
}

LRESULT CMainDialog::OnPause(WORD, WORD, HWND, BOOL&) {
    if (m_graph.IsEmpty()) {
        ShowError(L"Graph is not exist", E_FAIL);
        return 0;
    }
    HRESULT hr = m_graph.Pause();
    FW_ASSERT_SUCCEEDED(hr);
    return 0;
}

LRESULT CMainDialog::OnStop(WORD, WORD, HWND, BOOL&) {
    if (m_graph.IsEmpty()) return 0;
    HRESULT hr = m_graph.Stop();
    FW_ASSERT_SUCCEEDED(hr);
    UpdateWritten();
    return 0;
}

// ---- Progress read-out ------------------------------------------------------------------

LRESULT CMainDialog::OnTimer(UINT, WPARAM, LPARAM, BOOL&) {
    if (m_graph.IsEmpty())
        ::KillTimer(m_hWnd, kProgressTimer);
    else
        UpdateWritten();
    return 0;
}

// Runs ten times a second: formats into fixed buffers, allocates nothing, and writes the
// control only when the text changed, so an unchanged read-out does not flicker.
void CMainDialog::UpdateWritten() {
    if (m_graph.IsEmpty()) return;
    LONGLONG n = m_graph.GetWritten();
    // A negative count can only come from a misbehaving writer: it reads as nothing written.
    if (n < 0) n = 0;
    const unsigned nMBytes = static_cast<unsigned>(n / 1000000);
    const unsigned nThousandths = static_cast<unsigned>((n % 1000000) / 1000);
    wchar_t sz[64];
    wsprintfW(sz, L"%u.%03u MBytes", nMBytes, nThousandths);
    wchar_t szOld[64];
    ::GetDlgItemTextW(m_hWnd, IDC_WRITTEN, szOld, ARRAYSIZE(szOld));
    // Exact comparison: lstrcmpW would compare by locale rules, and cost more.
    if (wcscmp(sz, szOld) != 0) ::SetDlgItemTextW(m_hWnd, IDC_WRITTEN, sz);
}

// ---- Graph viewer -----------------------------------------------------------------------

LRESULT CMainDialog::OnShowGraph(WORD, WORD, HWND, BOOL&) {
    HRESULT hr = m_graph.ShowGraph();
    if (hr != S_OK) ShowError(L"Can't show graph", hr);
    return 0;
}

// ---- Error box --------------------------------------------------------------------------

int ShowErrorBox(HWND hWndOwner, const wchar_t* pszMessage, const wchar_t* pszCaption, HRESULT hr, UINT uType) {
    wchar_t msg[1024] = {};
    wchar_t str[1024] = {};
    DWORD cch = 0;
    if (pszMessage) {
        lstrcpynW(msg, pszMessage, ARRAYSIZE(msg));
        cch = lstrlenW(msg);
    }

    if (hr != 0) {
        DWORD cchText = 0;
        if (((static_cast<DWORD>(hr) >> 16) & 0x1FFF) == FACILITY_ITF) cchText = ::AMGetErrorTextW(hr, str, 1023);
        if (cchText == 0)
            cchText = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                       static_cast<DWORD>(hr), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), str, 1023,
                                       nullptr);
        if (cchText != 0) {
            if (cch > 0 && cch < 1023) msg[cch++] = L'\n';
            lstrcpynW(msg + cch, str, ARRAYSIZE(msg) - cch);
            cch += lstrlenW(msg + cch);
        }
        wsprintfW(str, L"%sError 0x%X", cch > 0 ? L"\n" : L"", static_cast<unsigned>(hr));
        lstrcpynW(msg + cch, str, ARRAYSIZE(msg) - cch);
        if (uType == 0) uType = MB_ICONERROR;
    }

    HWND hWndBoxOwner = ::IsWindow(hWndOwner) ? hWndOwner : ::GetActiveWindow();
    return ::MessageBoxW(hWndBoxOwner, msg, pszCaption, uType);
}
