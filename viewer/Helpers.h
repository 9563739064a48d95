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

    // Revokes the publication, forgets GraphEdit's windows and ends the GraphEdit this object
    // started. Safe in any state, any number of times.
    void Close();
    // Asks the tracked GraphEdit to quit (WM_QUIT to its primary thread, up to 1000 ms) and
    // closes its handles. GraphEdit is never terminated by force.
    void UnloadGraphEdit();

    // Publishes pGraph under the item moniker "!FilterGraph <ptr> pid <pid>".
    static HRESULT AddToRot(IUnknown* pGraph, DWORD* pdwCookie);
    static void RemoveFromRot(DWORD dwCookie);

    // Builds the running object table entry name for a graph pointer and process id
    // ("FilterGraph %08x pid %08x", low 32 bits of the pointer) into a 64-character buffer.
    static void FormatCookieName(const void* pGraph, DWORD dwProcessId, wchar_t (&szCookieName)[64]);

    DWORD Cookie() const { return m_dwCookie; }
    const PROCESS_INFORMATION& ProcessInfo() const { return m_rgPI; }
    HWND GraphEditWindow() const { return m_hWndGraphEdit; }
    HWND ListBoxWindow() const { return m_hWndListBox; }

    // The time GraphEdit's primary thread is given to end after WM_QUIT.
    static const DWORD kQuitWaitMs = 1000;

protected:
    DWORD m_dwCookie;
    PROCESS_INFORMATION m_rgPI;
    HWND m_hWndGraphEdit;
    HWND m_hWndListBox;
};
