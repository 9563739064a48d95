// CGraphEdit: the bridge that hands the live filter graph to GraphEdit. It publishes the
// graph in the running object table, tracks the GraphEdit process it started and the
// windows it found there, and undoes all of it in Close.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <strmif.h>

class CGraphEdit {
public:
    CGraphEdit();
    ~CGraphEdit();
    CGraphEdit(const CGraphEdit&) = delete;
    CGraphEdit& operator=(const CGraphEdit&) = delete;

    // Publishes pGraph, starts GraphEdit, finds its main window and has it connect to the graph.
    // S_OK when the connection steps ran, S_FALSE when GraphEdit runs but its window was not found.
    HRESULT ShowGraph(IGraphBuilder* pGraph);

    // Revokes the publication, forgets GraphEdit's windows and ends the GraphEdit this object
    // started. Safe in any state, any number of times.
    void Close();
    // Asks the tracked GraphEdit to quit (WM_QUIT to its primary thread, up to 1000 ms) and
    // closes its handles. GraphEdit is never terminated by force.
    void UnloadGraphEdit();

    // Publishes pGraph under the item moniker "!FilterGraph <ptr> pid <pid>".
    static HRESULT AddToRot(IUnknown* pGraph, DWORD* pdwCookie);
    static void RemoveFromRot(DWORD dwCookie);

    // Launch and discovery.
    static bool IsProppageRegistered(wchar_t* pszPath);
    HRESULT LoadGraphEdit(const wchar_t* pszProppage);
    bool FindMainWindow();
    bool WaitWhileHidden();
    BOOL TestMainWindow(HWND hWnd);

    // Remote connection through GraphEdit's connection dialog.
    void PostConnectCommand();
    void ConnectToGraph(IGraphBuilder* pGraph);
    int FindGraphItem(IGraphBuilder* pGraph);
    static bool MatchCookieName(const wchar_t* pszCookieName, const void* pGraph);
    BOOL TestDialogWindow(HWND hWnd);
    BOOL TestListBox(HWND hWnd);

    // Builds the running object table entry name for a graph pointer and process id
    // ("FilterGraph %08x pid %08x", low 32 bits of the pointer) into a 64-character buffer.
    static void FormatCookieName(const void* pGraph, DWORD dwProcessId, wchar_t (&szCookieName)[64]);

    DWORD Cookie() const { return m_dwCookie; }
    const PROCESS_INFORMATION& ProcessInfo() const { return m_rgPI; }
    HWND GraphEditWindow() const { return m_hWndGraphEdit; }
    HWND ListBoxWindow() const { return m_hWndListBox; }

    // The time GraphEdit's primary thread is given to end after WM_QUIT.
    static const DWORD kQuitWaitMs = 1000;
    // How long a message to GraphEdit's list box may block before the item counts as unreadable.
    static const UINT kListBoxTimeoutMs = 1000;

protected:
    static BOOL CALLBACK EnumMainWindow(HWND hWnd, LPARAM lParam);
    static BOOL CALLBACK EnumDialogWindow(HWND hWnd, LPARAM lParam);
    static BOOL CALLBACK EnumListBox(HWND hWnd, LPARAM lParam);
    // Sends a list box message, bounded so a hung GraphEdit cannot block the dialog; LB_ERR on time-out.
    LRESULT SendToListBox(UINT uMsg, WPARAM wParam, LPARAM lParam);
    // Waits for hObject at most dwMs (WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED), and sleeps,
    // answering the calls other processes make into this apartment meanwhile and nothing else
    // that is queued: no input, no posted command, no timer tick.
    static DWORD WaitAnsweringCom(HANDLE hObject, DWORD dwMs);
    static void SleepAnsweringCom(DWORD dwMs);

    DWORD m_dwCookie;
    PROCESS_INFORMATION m_rgPI;
    HWND m_hWndGraphEdit;
    HWND m_hWndListBox;
};
