// GraphEdit's dialog for connecting to a graph of another process: a modeless dialog owned by
// the main window, listing the graphs published in the running object table. OK (or a double
// click) hands the selected graph to the main window.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "Behaviour.h"
#include "PublishedGraphs.h"

namespace ge {

class CConnectDialog {
public:
    using ChooseHandler = std::function<void(const CPublishedGraph&)>;

    CConnectDialog(const CBehaviour& behaviour, ChooseHandler onChoose);
    ~CConnectDialog();
    CConnectDialog(const CConnectDialog&) = delete;
    CConnectDialog& operator=(const CConnectDialog&) = delete;

    // Opens the dialog afresh (an open one is closed first, so the list is always current).
    bool Open(HINSTANCE hInstance, HWND hWndOwner);
    void Close();
    // Keyboard handling of the modeless dialog; true when the message was used.
    bool TranslateDialogMessage(MSG* pMsg);

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam);
    void OnCommand(WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void FillList();
    void OnOK();
    void OnCancel();

    const CBehaviour& m_behaviour;
    ChooseHandler m_onChoose;
    HWND m_hWnd = nullptr;
    std::vector<CPublishedGraph> m_graphs;  // item data of the list: an index into this
};

}  // namespace ge
