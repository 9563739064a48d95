// A modal dialog base in place of ATL's CDialogImpl.
//
// The dialog object waits in a per-thread creation slot while DialogBoxParamW creates the
// window; the static dialog procedure takes it from there on the first message and keeps it
// with the window, in the window's DWLP_USER slot (which cannot fail to take it). Every
// message then goes through the class's message map, a plain table whose entries are tested
// in order; bHandled is set to TRUE before a handler runs.
#pragma once

#include <windows.h>

#include "Window.h"

namespace fw {

// One entry of a dialog's message map.
template <class T>
struct MessageMapEntry {
    using MessageHandler = LRESULT (T::*)(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    using CommandHandler = LRESULT (T::*)(WORD wNotifyCode, WORD wID, HWND hWndCtl, BOOL& bHandled);
    enum class Match { Message, CommandId, CommandIdCode };

    Match eMatch;
    UINT uMsg;           // Message
    WORD wID;            // CommandId, CommandIdCode
    WORD wNotifyCode;    // CommandIdCode
    MessageHandler pfnMessage;
    CommandHandler pfnCommand;

    static constexpr MessageMapEntry OnMessage(UINT uMsg, MessageHandler pfn) {
        return {Match::Message, uMsg, 0, 0, pfn, nullptr};
    }
    static constexpr MessageMapEntry OnCommand(WORD wID, CommandHandler pfn) {
        return {Match::CommandId, WM_COMMAND, wID, 0, nullptr, pfn};
    }
    static constexpr MessageMapEntry OnCommand(WORD wID, WORD wNotifyCode, CommandHandler pfn) {
        return {Match::CommandIdCode, WM_COMMAND, wID, wNotifyCode, nullptr, pfn};
    }

    bool Matches(UINT uMessage, WPARAM wParam) const {
        if (uMessage != uMsg) return false;
        if (eMatch == Match::Message) return true;
        if (LOWORD(wParam) != wID) return false;
        return eMatch == Match::CommandId || HIWORD(wParam) == wNotifyCode;
    }
};

// Walks a message map: the first matching entry receives the message.
template <class T, size_t N>
BOOL DispatchMessageMap(T* pThis, const MessageMapEntry<T> (&map)[N], UINT uMsg, WPARAM wParam, LPARAM lParam,
                        LRESULT& lResult) {
    for (const MessageMapEntry<T>& entry : map) {
        if (!entry.Matches(uMsg, wParam)) continue;
        BOOL bHandled = TRUE;
        if (entry.pfnMessage)
            lResult = (pThis->*entry.pfnMessage)(uMsg, wParam, lParam, bHandled);
        else
            lResult = (pThis->*entry.pfnCommand)(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled);
        if (bHandled) return TRUE;
    }
    return FALSE;
}

class DialogBase : public Window {
public:
    DialogBase() = default;
    DialogBase(const DialogBase&) = delete;
    DialogBase& operator=(const DialogBase&) = delete;
    virtual ~DialogBase() = default;

    // The message map: whether an entry handled the message, and its result.
    virtual BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult,
                                      DWORD dwMsgMapID) = 0;
    virtual void OnFinalMessage(HWND /*hWnd*/) {}

    BOOL EndDialog(int nRetCode) { return ::EndDialog(m_hWnd, nRetCode); }

protected:
    // Runs the dialog of template nTemplateId modally; the end code, or -1 when it could not be created.
    INT_PTR DoModalTemplate(WORD nTemplateId, HWND hWndParent, LPARAM dwInitParam);

private:
    static INT_PTR CALLBACK StartDialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    INT_PTR Route(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
};

// The dialog class T names its template as T::IDD.
template <class T>
class DialogImpl : public DialogBase {
public:
    INT_PTR DoModal(HWND hWndParent = ::GetActiveWindow(), LPARAM dwInitParam = 0) {
        return DoModalTemplate(static_cast<WORD>(T::IDD), hWndParent, dwInitParam);
    }
};

}  // namespace fw
