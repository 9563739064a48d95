// The dialog right after start, where it stands, and the ways a user closes it.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>

#include "TestbedIds.h"
#include "UiTest.h"

namespace ui {
namespace {

using UiStartTest = UiTest;
using UiCloseTest = UiTest;

const int kAlwaysEnabled[] = {kLoad, kFile, kLongDur, kBuildGraph, kShowGraph};
const int kDisabledUntilBuilt[] = {kSharedAccess, kMdatMode,  kInterleaving, kInterleavingSpin, kNonDrop,
                                   kSaveBreaksOnly, kPlay, kPause, kStop};

TEST_F(UiStartTest, ShowsTheDefaultPathInterleaving200AndAnEmptyReadOut) {
    EXPECT_EQ(std::wstring(TESTBED_DEFAULT_GRAPH), m_app.Text(kFile));
    EXPECT_EQ(L"200", m_app.Text(kInterleaving));
    EXPECT_EQ(L"", m_app.Text(kWritten));
    EXPECT_EQ(L"Lathmere Test", m_app.Caption());
}

TEST_F(UiStartTest, AllOptionCheckBoxesAreUnchecked) {
    for (int nId : kCheckBoxes) EXPECT_FALSE(m_app.IsChecked(nId)) << "control " << nId;
}

TEST_F(UiStartTest, OnlyLoadFileEditLongDurationBuildAndShowAcceptInput) {
    for (int nId : kAlwaysEnabled) EXPECT_TRUE(m_app.IsEnabled(nId)) << "control " << nId;
    for (int nId : kDisabledUntilBuilt) EXPECT_FALSE(m_app.IsEnabled(nId)) << "control " << nId;
}

TEST_F(UiStartTest, ControlsCarryTheirTexts) {
    const struct {
        int nId;
        const wchar_t* pszText;
    } texts[] = {{kLoad, L"Load..."}, {kSharedAccess, L"Shared access"}, {kMdatMode, L".mdat mode"},
                 {kNonDrop, L"Use non-drop mode for timecodes"}, {kSaveBreaksOnly, L"Save only breaks in timecodes"},
                 {kBuildGraph, L"Build graph"}, {kShowGraph, L"Show graph"}, {kPlay, L"Play"}, {kPause, L"Pause"},
                 {kStop, L"Stop"}, {kLongDur, L"Long ( > 15 hours) output files"}};
    for (const auto& t : texts) EXPECT_EQ(t.pszText, m_app.Text(t.nId)) << "control " << t.nId;
}

// "Long ( > 15 hours) output files" sits among the options on screen but is the last control
// created, so the last stop of the tab order.
TEST_F(UiStartTest, LongDurationCheckBoxIsTheLastControl) {
    HWND hWndLast = ::GetWindow(::GetWindow(m_app.Dialog(), GW_CHILD), GW_HWNDLAST);
    EXPECT_EQ(m_app.Item(kLongDur), hWndLast);
}

TEST_F(UiStartTest, FocusStartsOnLoad) {
    EXPECT_TRUE(WaitUntil([this] { return m_app.Focus() == m_app.Item(kLoad); }));
}

TEST_F(UiStartTest, UpDownRangeIs0To2000) {
    DWORD_PTR dwRange = 0;
    ASSERT_TRUE(::SendMessageTimeoutW(m_app.Item(kInterleavingSpin), UDM_GETRANGE, 0, 0, SMTO_ABORTIFHUNG, 5000,
                                      &dwRange));
    EXPECT_EQ(2000, LOWORD(dwRange)) << "upper limit";
    EXPECT_EQ(0, HIWORD(dwRange)) << "lower limit";
}

// With no owner the dialog is centred in the work area, and kept inside it.
TEST_F(UiStartTest, IsCentredInTheWorkArea) {
    RECT rcArea = {};
    ASSERT_TRUE(::SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcArea, 0));
    RECT rcDialog = {};
    ASSERT_TRUE(::GetWindowRect(m_app.Dialog(), &rcDialog));
    const LONG cx = rcDialog.right - rcDialog.left;
    const LONG cy = rcDialog.bottom - rcDialog.top;
    LONG x = (rcArea.left + rcArea.right) / 2 - cx / 2;
    LONG y = (rcArea.top + rcArea.bottom) / 2 - cy / 2;
    x = std::max(std::min(x, rcArea.right - cx), rcArea.left);
    y = std::max(std::min(y, rcArea.bottom - cy), rcArea.top);
    EXPECT_EQ(x, rcDialog.left);
    EXPECT_EQ(y, rcDialog.top);
}

TEST_F(UiCloseTest, EscapeEndsTheProgramWithExitCode0) {
    m_app.PressEscape();
    ExpectCleanExit();
}

TEST_F(UiCloseTest, EnterInTheFileEditEndsTheProgramWithExitCode0) {
    ASSERT_TRUE(m_app.PressEnterIn(kFile)) << "the file edit did not get the focus";
    ExpectCleanExit();
}

TEST_F(UiCloseTest, CloseBoxEndsTheProgramWithExitCode0) {
    m_app.PressCloseBox();
    ExpectCleanExit();
}

}  // namespace
}  // namespace ui
