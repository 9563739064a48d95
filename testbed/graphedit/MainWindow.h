// GraphEdit's main window: caption, system menu and sizing frame, a menu whose command 0x8034
// opens the connection dialog, and a client area that shows the connected graph or says plainly
// why it could not be shown.
#pragma once

#include <windows.h>

#include <string>

#include "Behaviour.h"
#include "ConnectDialog.h"
#include "RemoteGraph.h"

namespace ge {

class CMainWindow {
public:
    explicit CMainWindow(const CBehaviour& behaviour);
    CMainWindow(const CMainWindow&) = delete;
    CMainWindow& operator=(const CMainWindow&) = delete;

    // Creates the window and shows it as the behaviour says (at once, later, or never).
    bool Create(HINSTANCE hInstance, int nCmdShow);
    bool TranslateDialogMessage(MSG* pMsg) { return m_dialog.TranslateDialogMessage(pMsg); }

private:
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam);
    void OnCommand(UINT uId);
    void OnTimer(UINT_PTR uId);
    void OnPaint();
    void ConnectTo(const CPublishedGraph& graph);
    void ShowFailure(const std::wstring& what, HRESULT hr);

    const CBehaviour& m_behaviour;
    HINSTANCE m_hInstance = nullptr;
    HWND m_hWnd = nullptr;
    int m_nCmdShow = SW_SHOWNORMAL;
    CConnectDialog m_dialog;
    std::wstring m_heading;
    CGraphModel m_model;
};

}  // namespace ge
