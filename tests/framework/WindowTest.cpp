// Centring a top-level window: on the work area, on a window, and kept inside the work area.
#include <windows.h>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "Window.h"

namespace {

class CenterWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &m_rcArea, 0);
        m_window.m_hWnd = NewPopup(nullptr, 0, 0, 300, 200, WS_POPUP);
    }
    void TearDown() override {
        ::DestroyWindow(m_window.m_hWnd);
        for (HWND hWnd : m_others) ::DestroyWindow(hWnd);
    }
    HWND NewPopup(HWND hWndOwner, int x, int y, int cx, int cy, DWORD dwStyle) {
        HWND hWnd = ::CreateWindowExW(0, L"Static", L"", dwStyle, x, y, cx, cy, hWndOwner, nullptr, nullptr, nullptr);
        EXPECT_NE(nullptr, hWnd);
        if (hWndOwner || m_window.m_hWnd) m_others.push_back(hWnd);
        return hWnd;
    }
    RECT Rect() const {
        RECT rc;
        ::GetWindowRect(m_window.m_hWnd, &rc);
        return rc;
    }

    RECT m_rcArea = {};
    fw::Window m_window;
    std::vector<HWND> m_others;
};

TEST_F(CenterWindowTest, WithoutOwnerCentresInTheWorkArea) {
    ASSERT_TRUE(m_window.CenterWindow());
    RECT rc = Rect();
    EXPECT_EQ((m_rcArea.left + m_rcArea.right) / 2 - 150, rc.left);
    EXPECT_EQ((m_rcArea.top + m_rcArea.bottom) / 2 - 100, rc.top);
    EXPECT_EQ(300, rc.right - rc.left);  // size unchanged
}

TEST_F(CenterWindowTest, CentresOnAVisibleWindowGiven) {
    HWND hWndCenter = NewPopup(nullptr, 100, 120, 500, 400, WS_POPUP | WS_VISIBLE);
    ASSERT_TRUE(m_window.CenterWindow(hWndCenter));
    RECT rc = Rect();
    EXPECT_EQ((100 + 600) / 2 - 150, rc.left);
    EXPECT_EQ((120 + 520) / 2 - 100, rc.top);
}

TEST_F(CenterWindowTest, HiddenOrMinimisedWindowCountsAsNone) {
    HWND hWndHidden = NewPopup(nullptr, 0, 0, 50, 50, WS_POPUP);
    ASSERT_TRUE(m_window.CenterWindow(hWndHidden));
    EXPECT_EQ((m_rcArea.left + m_rcArea.right) / 2 - 150, Rect().left);

    HWND hWndMinimised = NewPopup(nullptr, 0, 0, 50, 50, WS_POPUP | WS_VISIBLE | WS_MINIMIZE);
    ::SetWindowPos(m_window.m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ASSERT_TRUE(m_window.CenterWindow(hWndMinimised));
    EXPECT_EQ((m_rcArea.top + m_rcArea.bottom) / 2 - 100, Rect().top);
}

TEST_F(CenterWindowTest, UsesTheOwnerWhenNoWindowIsGiven) {
    HWND hWndOwner = NewPopup(nullptr, 40, 60, 200, 100, WS_POPUP | WS_VISIBLE);
    HWND hWndOwned = NewPopup(hWndOwner, 0, 0, 100, 50, WS_POPUP);
    fw::Window owned;
    owned.m_hWnd = hWndOwned;
    ASSERT_TRUE(owned.CenterWindow());
    RECT rc;
    ::GetWindowRect(hWndOwned, &rc);
    // Centred on the owner, then pushed inside the work area if the owner sits near its edge.
    int x = std::max<int>(m_rcArea.left, std::min<int>((40 + 240) / 2 - 50, m_rcArea.right - 100));
    int y = std::max<int>(m_rcArea.top, std::min<int>((60 + 160) / 2 - 25, m_rcArea.bottom - 50));
    EXPECT_EQ(x, rc.left);
    EXPECT_EQ(y, rc.top);
}

TEST_F(CenterWindowTest, KeptInsideTheWorkAreaNearItsEdge) {
    HWND hWndCenter = NewPopup(nullptr, m_rcArea.right - 60, m_rcArea.bottom - 40, 50, 30, WS_POPUP | WS_VISIBLE);
    ASSERT_TRUE(m_window.CenterWindow(hWndCenter));
    RECT rc = Rect();
    EXPECT_EQ(m_rcArea.right, rc.right);
    EXPECT_EQ(m_rcArea.bottom, rc.bottom);
}

TEST_F(CenterWindowTest, LargerThanTheWorkAreaAlignsWithItsLeftAndTop) {
    const int cx = m_rcArea.right - m_rcArea.left + 300;
    const int cy = m_rcArea.bottom - m_rcArea.top + 200;
    ::SetWindowPos(m_window.m_hWnd, nullptr, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOZORDER);
    ASSERT_TRUE(m_window.CenterWindow());
    RECT rc = Rect();
    EXPECT_EQ(m_rcArea.left, rc.left);
    EXPECT_EQ(m_rcArea.top, rc.top);
    EXPECT_EQ(cx, rc.right - rc.left);
}

}  // namespace
