// GraphEdit's main window: caption, system menu and sizing frame, a menu whose command 0x8034
// opens the connection dialog, and a client area that shows the connected graph or says plainly
// why it could not be shown. The graph shown is kept live (LiveGraph.h) until ReleaseGraph,
// which the process calls after its message loop has ended.
#pragma once

#include <windows.h>

#include <string>

#include "Behaviour.h"
#include "ConnectDialog.h"
#include "LiveGraph.h"

namespace ge {

class CMainWindow {
public:
    explicit CMainWindow(const CBehaviour& behaviour);
    CMainWindow(const CMainWindow&) = delete;
    CMainWindow& operator=(const CMainWindow&) = delete;

    // Creates the window and shows it as the behaviour says (at once, later, or never).
    bool Create(HINSTANCE hInstance, int nCmdShow);
    bool TranslateDialogMessage(MSG* pMsg) { return m_dialog.TranslateDialogMessage(pMsg); }
    // Lets go of the graph shown, if any, and says so in the state file.
    void ReleaseGraph();

private:
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam);
    void OnCommand(WPARAM wParam, LPARAM lParam);
    void OnTimer(UINT_PTR uId);
    void OnPaint();
    void ConnectTo(const CPublishedGraph& graph);
    void ShowFailure(const std::wstring& what, HRESULT hr);
    // The timers of a graph being shown: redraw from the live graph, poll, stop, crash.
    void StartShowTimers();
    void StopShowTimers();
    void Refresh();

    const CBehaviour& m_behaviour;
    HINSTANCE m_hInstance = nullptr;
    HWND m_hWnd = nullptr;
    int m_nCmdShow = SW_SHOWNORMAL;
    CConnectDialog m_dialog;
    std::wstring m_heading;
    CLiveGraph m_live;
    unsigned m_cRefreshes = 0;
    unsigned m_cPolls = 0;
};

}  // namespace ge
