#include "Window.h"

#include "Debug.h"

namespace fw {

BOOL Window::CenterWindow(HWND hWndCenter) {
    FW_ASSERT_FRAMEWORK(::IsWindow(m_hWnd));
    const DWORD dwStyle = static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_STYLE));
    // Only top-level windows are centred here; a child would need its parent's client area.
    FW_ASSERT_FRAMEWORK(!(dwStyle & WS_CHILD));
    if (!hWndCenter) hWndCenter = ::GetWindow(m_hWnd, GW_OWNER);

    RECT rcDlg;
    ::GetWindowRect(m_hWnd, &rcDlg);

    if (hWndCenter) {
        const DWORD dwCenterStyle = static_cast<DWORD>(::GetWindowLongW(hWndCenter, GWL_STYLE));
        if (!(dwCenterStyle & WS_VISIBLE) || (dwCenterStyle & WS_MINIMIZE)) hWndCenter = nullptr;
    }

    HMONITOR hMonitor = ::MonitorFromWindow(hWndCenter ? hWndCenter : m_hWnd, MONITOR_DEFAULTTONEAREST);
    FW_ASSERT_FRAMEWORK(hMonitor != nullptr);
    if (!hMonitor) return FALSE;
    MONITORINFO minfo;
    minfo.cbSize = sizeof(minfo);
    const BOOL bInfo = ::GetMonitorInfoW(hMonitor, &minfo);
    FW_ASSERT_FRAMEWORK(bInfo);
    if (!bInfo) return FALSE;

    const RECT rcArea = minfo.rcWork;
    RECT rcCenter = rcArea;
    if (hWndCenter) ::GetWindowRect(hWndCenter, &rcCenter);

    const int nWidth = rcDlg.right - rcDlg.left;
    const int nHeight = rcDlg.bottom - rcDlg.top;
    int x = (rcCenter.left + rcCenter.right) / 2 - nWidth / 2;
    int y = (rcCenter.top + rcCenter.bottom) / 2 - nHeight / 2;

    // Right and bottom first, so a window larger than the area is aligned with its left and top.
    if (x + nWidth > rcArea.right) x = rcArea.right - nWidth;
    if (x < rcArea.left) x = rcArea.left;
    if (y + nHeight > rcArea.bottom) y = rcArea.bottom - nHeight;
    if (y < rcArea.top) y = rcArea.top;

    return ::SetWindowPos(m_hWnd, nullptr, x, y, -1, -1, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace fw
