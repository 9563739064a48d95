// CMainDialog: the harness's one modal dialog. It owns the graph object and turns the user's
// commands into calls on it; failures are shown through ShowError.
#pragma once

#include <windows.h>

#include "DialogBase.h"
#include "Graph.h"
#include "resource.h"

// The error box: the message, the platform's explanation of hr and "Error 0x<hr>".
int ShowErrorBox(HWND hWndOwner, const wchar_t* pszMessage, const wchar_t* pszCaption, HRESULT hr, UINT uType);

class CMainDialog : public fw::DialogImpl<CMainDialog> {
public:
    enum { IDD = IDD_MAINDLG };

    CMainDialog();

    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult,
                              DWORD dwMsgMapID) override;

    // Shell.
    LRESULT OnInitDialog(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    LRESULT OnClose(WORD wNotifyCode, WORD wID, HWND hWndCtl, BOOL& bHandled);
    void EnableControls(BOOL bEnable);
    int ShowError(const wchar_t* pszMessage, HRESULT hr);

    // Graph set-up.
    LRESULT OnLoad(WORD wNotifyCode, WORD wID, HWND hWndCtl, BOOL& bHandled);
    LRESULT OnFileChange(WORD wNotifyCode, WORD wID, HWND hWndCtl, BOOL& bHandled);
    LRESULT OnBuildGraph(WORD wNotifyCode, WORD wID, HWND hWndCtl, BOOL& bHandled);
    BOOL SelectGRFFile(wchar_t* pszFile);

    // Run commands.
    LRESULT OnPlay(WORD wNotifyCode, WORD wID, HWND hWndCtl, BOOL& bHandled);
    LRESULT OnPause(WORD wNotifyCode, WORD wID, HWND hWndCtl, BOOL& bHandled);
    LRESULT OnStop(WORD wNotifyCode, WORD wID, HWND hWndCtl, BOOL& bHandled);

    // Progress read-out.
    LRESULT OnTimer(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    void UpdateWritten();

    // Graph viewer.
    LRESULT OnShowGraph(WORD wNotifyCode, WORD wID, HWND hWndCtl, BOOL& bHandled);

private:
    void ReadOptionsFromWriter();
    void CheckFromWriter(int nId, HRESULT (CGraph::*pfnGet)(BOOL*), BOOL bInitial);
    void ApplyCheckOption(int nId, HRESULT (CGraph::*pfnSet)(BOOL), HRESULT (CGraph::*pfnGet)(BOOL*),
                          const wchar_t* pszMessage);
    void ApplyInterleaving();

    wchar_t m_szFile[MAX_PATH];
    CGraph m_graph;
};
