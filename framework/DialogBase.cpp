#include "DialogBase.h"

#include "Debug.h"
#include "Module.h"

namespace fw {
namespace {

// The dialog being created on this thread, until its window's first message arrives.
thread_local DialogBase* t_pCreating = nullptr;

// Messages whose result the dialog manager takes from the procedure's return value itself.
bool ReturnsResultDirectly(UINT uMsg) {
    switch (uMsg) {
    case WM_COMPAREITEM: case WM_VKEYTOITEM: case WM_CHARTOITEM: case WM_INITDIALOG:
    case WM_QUERYDRAGICON: case WM_CTLCOLORMSGBOX: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN: case WM_CTLCOLORDLG: case WM_CTLCOLORSCROLLBAR: case WM_CTLCOLORSTATIC:
        return true;
    default:
        return false;
    }
}

}  // namespace

INT_PTR DialogBase::DoModalTemplate(WORD nTemplateId, HWND hWndParent, LPARAM dwInitParam) {
    FW_ASSERT_FRAMEWORK(m_hWnd == nullptr);
    t_pCreating = this;
    INT_PTR nResult = ::DialogBoxParamW(ExeModule::ResourceInstance(), MAKEINTRESOURCEW(nTemplateId), hWndParent,
                                        StartDialogProc, dwInitParam);
    t_pCreating = nullptr;
    return nResult;
}

INT_PTR CALLBACK DialogBase::StartDialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    DialogBase* pThis = t_pCreating;
    t_pCreating = nullptr;
    FW_ASSERT_FRAMEWORK(pThis != nullptr);
    if (!pThis) return FALSE;
    pThis->m_hWnd = hWnd;
    // The object stays with the window in the dialog's own slot: the dialog manager allocated
    // it with the window, so storing into it cannot fail (a window property could, leaving a
    // dialog whose messages reach nothing and that nothing can close). The slot is ours: the
    // framework owns the dialog procedure.
    ::SetWindowLongPtrW(hWnd, DWLP_USER, reinterpret_cast<LONG_PTR>(pThis));
    ::SetWindowLongPtrW(hWnd, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(DialogProc));
    return pThis->Route(hWnd, uMsg, wParam, lParam);
}

INT_PTR CALLBACK DialogBase::DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    auto* pThis = reinterpret_cast<DialogBase*>(::GetWindowLongPtrW(hWnd, DWLP_USER));
    if (!pThis) return FALSE;
    return pThis->Route(hWnd, uMsg, wParam, lParam);
}

INT_PTR DialogBase::Route(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    LRESULT lResult = 0;
    BOOL bHandled = ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult, 0);
    if (uMsg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hWnd, DWLP_USER, 0);
        m_hWnd = nullptr;
        OnFinalMessage(hWnd);
        return bHandled;
    }
    if (!bHandled) return FALSE;
    if (ReturnsResultDirectly(uMsg)) return static_cast<INT_PTR>(lResult);
    ::SetWindowLongPtrW(hWnd, DWLP_MSGRESULT, lResult);
    return TRUE;
}

}  // namespace fw
