#include "Helpers.h"

#include <stdio.h>
#include <wchar.h>

#include "ComPtr.h"
#include "Debug.h"

FW_ASSERT_SOURCE(L"Helpers");

namespace {

const wchar_t kProppageKey[] = L"CLSID\\{29E07010-BD27-11CE-AB59-00AA00577DA1}";
const wchar_t kGraphEditKey[] = L"Software\\Microsoft\\Shared Tools\\Graphedit";
const wchar_t kGraphEditExe[] = L"graphedt.exe";
const DWORD kInputIdleWaitMs = 1000;
const DWORD kVisibleWaitMs = 100;
const DWORD kPollMs = 10;
const int kSearchPasses = 10;  // decremented before each pass: 9 passes
const LONG kMainWindowStyle = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
const WPARAM kConnectCommand = MAKEWPARAM(0x8034, 1);  // as if from an accelerator

// Reads a string value of an open key into a buffer of cch characters. Succeeds only for
// REG_SZ or REG_EXPAND_SZ data of an even number of bytes that is empty or ends with a zero
// character and fits the buffer; an expandable string is taken as stored.
bool QueryRegistryString(HKEY hKey, const wchar_t* pszValue, wchar_t* psz, DWORD cch) {
    DWORD dwType = 0;
    DWORD cb = cch * sizeof(wchar_t);
    if (::RegQueryValueExW(hKey, pszValue, nullptr, &dwType, reinterpret_cast<BYTE*>(psz), &cb) != ERROR_SUCCESS)
        return false;
    if (dwType != REG_SZ && dwType != REG_EXPAND_SZ) return false;
    if (cb % sizeof(wchar_t) != 0) return false;
    const DWORD cchData = cb / sizeof(wchar_t);
    if (cchData == 0) {
        psz[0] = 0;
        return true;
    }
    return psz[cchData - 1] == 0;
}

HRESULT HresultFromLastError(DWORD dwError) {
    return dwError != 0 ? static_cast<HRESULT>(0x80070000u | (dwError & 0xFFFFu)) : E_FAIL;
}

// Reads a number as wcstoul(..., 16) does and reports where it ended; false when no digit was read.
bool ReadHex(const wchar_t* psz, unsigned long& ulValue, const wchar_t*& pszEnd) {
    wchar_t* pszStop = nullptr;
    ulValue = wcstoul(psz, &pszStop, 16);
    pszEnd = pszStop;
    return pszStop != psz;
}

}  // namespace

CGraphEdit::CGraphEdit() : m_dwCookie(0), m_rgPI(), m_hWndGraphEdit(nullptr), m_hWndListBox(nullptr) {}

CGraphEdit::~CGraphEdit() { Close(); }

// ---- Showing the graph ------------------------------------------------------------------

HRESULT CGraphEdit::ShowGraph(IGraphBuilder* pGraph) {
    Close();
    wchar_t szProppage_dll[MAX_PATH];
    if (!IsProppageRegistered(szProppage_dll)) {
        FW_ASSERT_FAILED(L"CGraphEdit::ShowGraph(): Proppage.dll is not registered");
        return REGDB_E_CLASSNOTREG;
    }
    HRESULT hr = AddToRot(pGraph, &m_dwCookie);
    if (FAILED(hr)) return hr;
    hr = LoadGraphEdit(szProppage_dll);
    if (hr != S_OK) return hr;
    if (!FindMainWindow()) return S_FALSE;
    PostConnectCommand();
    ConnectToGraph(pGraph);
    return S_OK;
}

// ---- Launch and discovery ---------------------------------------------------------------

bool CGraphEdit::IsProppageRegistered(wchar_t* pszPath) {
    bool bRegistered = false;
    HKEY hClassKey = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, kProppageKey, 0, KEY_READ, &hClassKey) == ERROR_SUCCESS) {
        HKEY hServerKey = nullptr;
        LONG lResult = ::RegOpenKeyExW(hClassKey, L"InprocServer32", 0, KEY_READ, &hServerKey);
        ::RegCloseKey(hClassKey);
        if (lResult == ERROR_SUCCESS) {
            bRegistered = !pszPath || QueryRegistryString(hServerKey, nullptr, pszPath, MAX_PATH);
            ::RegCloseKey(hServerKey);
        }
    }
    if (!bRegistered && pszPath) pszPath[0] = 0;
    return bRegistered;
}

HRESULT CGraphEdit::LoadGraphEdit(const wchar_t* pszProppage) {
    wchar_t szGraphEdit[MAX_PATH] = L"";
    HKEY hKey = nullptr;
    bool bPath = false;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kGraphEditKey, 0, KEY_READ, &hKey) == ERROR_SUCCESS) {
        bPath = QueryRegistryString(hKey, L"Path", szGraphEdit, MAX_PATH);
        ::RegCloseKey(hKey);
    }
    if (!bPath) lstrcpynW(szGraphEdit, kGraphEditExe, MAX_PATH);

    STARTUPINFOW rgSI;
    ZeroMemory(&rgSI, sizeof(rgSI));
    rgSI.cb = sizeof(rgSI);
    rgSI.dwFlags = STARTF_USESHOWWINDOW;
    rgSI.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION rgPI;
    ZeroMemory(&rgPI, sizeof(rgPI));

    BOOL bStarted = ::CreateProcessW(szGraphEdit, nullptr, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                                     nullptr, &rgSI, &rgPI);
    DWORD dwError = bStarted ? 0 : ::GetLastError();
    if (!bStarted && dwError == ERROR_FILE_NOT_FOUND && pszProppage && pszProppage[0]) {
        // Once more in the property page server's folder, if "graphedt.exe" fits after its last separator.
        lstrcpynW(szGraphEdit, pszProppage, MAX_PATH);
        int i = lstrlenW(szGraphEdit);
        while (i > 0 && szGraphEdit[i] != L'\\' && szGraphEdit[i] != L'/') --i;
        const bool bSeparator = szGraphEdit[i] == L'\\' || szGraphEdit[i] == L'/';
        if (bSeparator && i + 1 + lstrlenW(kGraphEditExe) < MAX_PATH) {
            lstrcpyW(szGraphEdit + i + 1, kGraphEditExe);
            bStarted = ::CreateProcessW(szGraphEdit, nullptr, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                                        nullptr, &rgSI, &rgPI);
            dwError = bStarted ? 0 : ::GetLastError();
        }
    }
    if (!bStarted) return HresultFromLastError(dwError);

    FW_ASSERT(rgPI.hProcess != 0 && rgPI.hThread != 0);
    // This wait alone stays deaf to COM: the GraphEdit just started has not connected to
    // anything yet, the one before it has been let go by Close, and the platform offers no
    // handle for "ready for input" to wait on together with COM's messages. A GraphEdit left
    // untracked earlier may find its calls held meanwhile, for at most this wait; nothing waits
    // on this thread in return, so nothing deadlocks.
    const DWORD dwWait = ::WaitForInputIdle(rgPI.hProcess, kInputIdleWaitMs);
    if (dwWait == 0) {
        m_rgPI = rgPI;
        return S_OK;
    }
    const HRESULT hr = dwWait == WAIT_TIMEOUT ? E_FAIL : HresultFromLastError(::GetLastError());
    FW_TRACE(2, L"###Err### CGraphEdit::LoadGraphEdit(): WaitForInputIdle()=%u, hr=0x%X\n", dwWait,
             static_cast<unsigned>(hr));
    // The GraphEdit that did not become ready runs on, untracked.
    ::CloseHandle(rgPI.hThread);
    ::CloseHandle(rgPI.hProcess);
    return hr;
}

bool CGraphEdit::FindMainWindow() {
    FW_ASSERT(m_rgPI.hProcess != 0 && m_rgPI.hThread != 0);
    m_hWndGraphEdit = nullptr;
    for (int nPasses = kSearchPasses; --nPasses > 0 && !m_hWndGraphEdit;)
        ::EnumWindows(EnumMainWindow, reinterpret_cast<LPARAM>(this));
    if (m_hWndGraphEdit && !WaitWhileHidden()) m_hWndGraphEdit = nullptr;
    if (!m_hWndGraphEdit) FW_TRACE(2, L"###Err### CGraphEdit::FindMainWindow(): GraphEdit window not found\n");
    return m_hWndGraphEdit != nullptr;
}

bool CGraphEdit::WaitWhileHidden() {
    if (!m_hWndGraphEdit) return false;
    const DWORD dwDeadline = ::GetTickCount() + kVisibleWaitMs;
    while (!(dwDeadline < ::GetTickCount())) {
        if (static_cast<DWORD>(::GetWindowLongW(m_hWndGraphEdit, GWL_STYLE)) & WS_VISIBLE) return true;
        FW_TRACE(10, L"CGraphEdit::WaitWhileHidden(): wait time rest is %i ms\n",
                 static_cast<int>(dwDeadline - ::GetTickCount()));
        SleepAnsweringCom(kPollMs);
    }
    FW_TRACE(2, L"###Err### CGraphEdit::WaitWhileHidden(): Wait time is ending\n");
    return false;
}

BOOL CGraphEdit::TestMainWindow(HWND hWnd) {
    FW_ASSERT(hWnd != 0);
    DWORD dwProcessId = 0;
    ::GetWindowThreadProcessId(hWnd, &dwProcessId);
    if (dwProcessId != m_rgPI.dwProcessId) return TRUE;
    const LONG lStyle = ::GetWindowLongW(hWnd, GWL_STYLE);
    if ((lStyle & kMainWindowStyle) != kMainWindowStyle) return TRUE;
    m_hWndGraphEdit = hWnd;
    return FALSE;
}

BOOL CALLBACK CGraphEdit::EnumMainWindow(HWND hWnd, LPARAM lParam) {
    FW_ASSERT(lParam != 0);
    if (!lParam) return FALSE;
    return reinterpret_cast<CGraphEdit*>(lParam)->TestMainWindow(hWnd);
}

// ---- Remote connection ------------------------------------------------------------------

void CGraphEdit::PostConnectCommand() {
    if (m_hWndGraphEdit) ::PostMessageW(m_hWndGraphEdit, WM_COMMAND, kConnectCommand, 0);
}

void CGraphEdit::ConnectToGraph(IGraphBuilder* pGraph) {
    if (!::IsWindow(m_hWndGraphEdit)) return;
    m_hWndListBox = nullptr;
    // GraphEdit opens its dialog in its own time: a few short passes are the only allowance.
    // The list box messages go out with a bounded SendMessageTimeoutW and nothing else is
    // served meanwhile; they cannot deadlock with a GraphEdit that is calling into this
    // apartment at that moment, since a thread waiting for a COM call still serves messages
    // sent to it. The sleeps between passes answer COM (SleepAnsweringCom).
    for (int nPasses = kSearchPasses; --nPasses > 0;) {
        ::EnumWindows(EnumDialogWindow, reinterpret_cast<LPARAM>(this));
        if (::IsWindow(m_hWndListBox)) {
            const int nItem = FindGraphItem(pGraph);
            if (nItem != -1) {
                if (SendToListBox(LB_SETCURSEL, nItem, 0) != LB_ERR)
                    ::PostMessageW(::GetParent(m_hWndListBox), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
                return;
            }
        }
        SleepAnsweringCom(kPollMs);
    }
}

LRESULT CGraphEdit::SendToListBox(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR dwResult = static_cast<DWORD_PTR>(LB_ERR);
    if (!::SendMessageTimeoutW(m_hWndListBox, uMsg, wParam, lParam, SMTO_BLOCK | SMTO_ABORTIFHUNG, kListBoxTimeoutMs,
                               &dwResult))
        return LB_ERR;
    return static_cast<LRESULT>(dwResult);
}

int CGraphEdit::FindGraphItem(IGraphBuilder* pGraph) {
    if (!::IsWindow(m_hWndListBox)) return -1;
    const int cItems = static_cast<int>(SendToListBox(LB_GETCOUNT, 0, 0));
    for (int i = 0; i < cItems; ++i) {
        // An item longer than the buffer would overrun it: ask for its length first and pass it over.
        const LRESULT cchItem = SendToListBox(LB_GETTEXTLEN, i, 0);
        if (cchItem == LB_ERR || cchItem > 63) continue;
        wchar_t szCookieName[64];
        szCookieName[0] = 0;
        const LRESULT cchRead = SendToListBox(LB_GETTEXT, i, reinterpret_cast<LPARAM>(szCookieName));
        if (cchRead <= 0 || cchRead > 63) continue;
        szCookieName[cchRead] = 0;
        if (MatchCookieName(szCookieName, pGraph)) return i;
    }
    return -1;
}

bool CGraphEdit::MatchCookieName(const wchar_t* pszCookieName, const void* pGraph) {
    if (!pszCookieName) {
        FW_ASSERT(pszCookieName != 0);
        return false;
    }
    const wchar_t* pszPid = wcsstr(pszCookieName, L"pid ");
    if (!pszPid) return false;
    unsigned long ulProcessId = 0;
    const wchar_t* pszEnd = nullptr;
    if (!ReadHex(pszPid + 4, ulProcessId, pszEnd)) return false;
    if (ulProcessId != ::GetCurrentProcessId() || *pszEnd != L' ') return false;

    const wchar_t* pszGraph = wcsstr(pszEnd + 1, L"IFilterGraph = ");
    if (!pszGraph) return false;
    unsigned long ulGraph = 0;
    if (!ReadHex(pszGraph + 15, ulGraph, pszEnd)) return false;
    const DWORD dwGraph = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(pGraph));
    return ulGraph == dwGraph && *pszEnd == 0;
}

BOOL CGraphEdit::TestDialogWindow(HWND hWnd) {
    FW_ASSERT(hWnd != 0);
    if (!::IsWindow(hWnd)) return TRUE;
    DWORD dwProcessId = 0;
    ::GetWindowThreadProcessId(hWnd, &dwProcessId);
    if (dwProcessId != m_rgPI.dwProcessId) return TRUE;
    if (::GetParent(hWnd) != m_hWndGraphEdit) return TRUE;
    // EnumChildWindows gives FALSE once the child search stopped at a list box: stop here too.
    return ::EnumChildWindows(hWnd, EnumListBox, reinterpret_cast<LPARAM>(this));
}

BOOL CGraphEdit::TestListBox(HWND hWnd) {
    FW_ASSERT(hWnd != 0);
    if (!::IsWindow(hWnd)) return TRUE;
    wchar_t szClassName[256] = {};
    if (::GetClassNameW(hWnd, szClassName, 256) == 0) return TRUE;
    if (lstrcmpW(szClassName, L"ListBox") != 0) return TRUE;
    m_hWndListBox = hWnd;
    return FALSE;
}

BOOL CALLBACK CGraphEdit::EnumDialogWindow(HWND hWnd, LPARAM lParam) {
    FW_ASSERT(lParam != 0);
    if (!lParam) return FALSE;
    return reinterpret_cast<CGraphEdit*>(lParam)->TestDialogWindow(hWnd);
}

BOOL CALLBACK CGraphEdit::EnumListBox(HWND hWnd, LPARAM lParam) {
    FW_ASSERT(lParam != 0);
    if (!lParam) return FALSE;
    return reinterpret_cast<CGraphEdit*>(lParam)->TestListBox(hWnd);
}

// ---- Release ----------------------------------------------------------------------------

void CGraphEdit::Close() {
    RemoveFromRot(m_dwCookie);
    m_dwCookie = 0;
    m_hWndListBox = nullptr;
    m_hWndGraphEdit = nullptr;
    UnloadGraphEdit();
}

void CGraphEdit::UnloadGraphEdit() {
    if (m_rgPI.hThread) {
        // GraphEdit ends its message loop on WM_QUIT and then lets go of the graph it shows:
        // calls into this apartment, answered while we wait. One that ignores WM_QUIT runs on,
        // untracked.
        ::PostThreadMessageW(m_rgPI.dwThreadId, WM_QUIT, 0, 0);
        WaitAnsweringCom(m_rgPI.hThread, kQuitWaitMs);
        ::CloseHandle(m_rgPI.hThread);
    }
    if (m_rgPI.hProcess) ::CloseHandle(m_rgPI.hProcess);
    ZeroMemory(&m_rgPI, sizeof(m_rgPI));
}

// ---- Waits that answer COM ----------------------------------------------------------------
//
// A single-threaded apartment never blocks deaf. GraphEdit calls into this apartment while the
// dialog's thread waits for it: it reads the graph it is told to show, asks its state, and
// releases it on its way out. A wait that served none of this would hold GraphEdit's exit
// until the wait's end, and a second GraphEdit would meanwhile get S_FALSE for the graph from
// the running object table. In a single-threaded apartment CoWaitForMultipleHandles (flags 0)
// dispatches only COM's own messages to this apartment (the incoming calls), messages that
// other threads send (as any waiting SendMessage does) and WM_PAINT. Input, posted commands
// and timer ticks stay queued for the dialog's own loop: handling a click inside the wait
// would re-enter CGraph while it is half torn down. A served call runs inside the wait, so a
// wait may end that call's length after its bound; the bound itself is unchanged.

DWORD CGraphEdit::WaitAnsweringCom(HANDLE hObject, DWORD dwMs) {
    DWORD dwIndex = 0;
    const HRESULT hr = ::CoWaitForMultipleHandles(0, dwMs, 1, &hObject, &dwIndex);
    if (hr == S_OK) return WAIT_OBJECT_0;
    return hr == RPC_S_CALLPENDING ? WAIT_TIMEOUT : WAIT_FAILED;
}

// This process's own handle is never signalled while one of its threads waits on it, so the
// wait lasts its full time.
void CGraphEdit::SleepAnsweringCom(DWORD dwMs) { WaitAnsweringCom(::GetCurrentProcess(), dwMs); }

void CGraphEdit::FormatCookieName(const void* pGraph, DWORD dwProcessId, wchar_t (&szCookieName)[64]) {
    // Only the low 32 bits of the pointer appear: GraphEdit's list shows the same field.
    DWORD dwGraph = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(pGraph));
    _snwprintf(szCookieName, 64, L"FilterGraph %08x pid %08x", static_cast<unsigned>(dwGraph),
               static_cast<unsigned>(dwProcessId));
    szCookieName[63] = 0;
}

HRESULT CGraphEdit::AddToRot(IUnknown* pGraph, DWORD* pdwCookie) {
    if (!pGraph) {
        FW_ASSERT(pGraph != 0);
        return E_INVALIDARG;
    }
    if (!pdwCookie) {
        FW_ASSERT(pdwCookie != 0);
        return E_POINTER;
    }
    *pdwCookie = 0;

    fw::ComPtr<IRunningObjectTable> spROT;
    HRESULT hr = ::GetRunningObjectTable(0, &spROT);
    if (hr != S_OK) return hr;

    wchar_t szCookieName[64];
    FormatCookieName(pGraph, ::GetCurrentProcessId(), szCookieName);

    fw::ComPtr<IMoniker> spMoniker;
    hr = ::CreateItemMoniker(L"!", szCookieName, &spMoniker);
    if (FAILED(hr)) return hr;

    return spROT->Register(0, pGraph, spMoniker, pdwCookie);
}

void CGraphEdit::RemoveFromRot(DWORD dwCookie) {
    if (dwCookie == 0) return;
    fw::ComPtr<IRunningObjectTable> spROT;
    if (::GetRunningObjectTable(0, &spROT) != S_OK) return;
    spROT->Revoke(dwCookie);
}
