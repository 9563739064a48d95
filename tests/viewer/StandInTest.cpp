// The running object table entry seen from another process: the GraphEdit stand-in, started
// here directly, lists this process's graph while it is published and no longer after Close.
// The list is read across the process boundary with the list box messages the bridge uses.
// Also the stand-in's own side of GraphEdit's contract: its windows, its command, its dialog.
#include <windows.h>
#include <dshow.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ComPtr.h"
#include "Helpers.h"
#include "TestSupport.h"
#include "ViewerTestSupport.h"

namespace {

class CPublishingGraphEdit : public CGraphEdit {
public:
    DWORD* CookieSlot() { return &m_dwCookie; }
};

struct WindowSearch {
    DWORD dwProcessId;
    HWND hWndOwner;  // null: the main window (with caption); else the popup it owns
    HWND hWndFound;
};

BOOL CALLBACK FindWindowOf(HWND hWnd, LPARAM lParam) {
    auto* pSearch = reinterpret_cast<WindowSearch*>(lParam);
    DWORD dwProcessId = 0;
    ::GetWindowThreadProcessId(hWnd, &dwProcessId);
    if (dwProcessId != pSearch->dwProcessId) return TRUE;
    const bool bMatch = pSearch->hWndOwner ? ::GetParent(hWnd) == pSearch->hWndOwner
                                           : (::GetWindowLongW(hWnd, GWL_STYLE) & WS_CAPTION) == WS_CAPTION;
    if (!bMatch) return TRUE;
    pSearch->hWndFound = hWnd;
    return FALSE;
}

HWND FindTopLevel(DWORD dwProcessId, HWND hWndOwner) {
    WindowSearch search = {dwProcessId, hWndOwner, nullptr};
    ::EnumWindows(FindWindowOf, reinterpret_cast<LPARAM>(&search));
    return search.hWndFound;
}

std::vector<std::wstring> ReadList(HWND hWndList) {
    std::vector<std::wstring> items;
    const LRESULT cItems = ::SendMessageW(hWndList, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < cItems; ++i) {
        wchar_t sz[256] = L"";
        if (::SendMessageW(hWndList, LB_GETTEXTLEN, i, 0) < 256) ::SendMessageW(hWndList, LB_GETTEXT, i, reinterpret_cast<LPARAM>(sz));
        items.push_back(sz);
    }
    return items;
}

class StandInTest : public viewertest::GraphEditTest {
protected:
    void SetUp() override {
        std::wstring app = viewertest::BinGraphEdit();
        STARTUPINFOW rgSI = {sizeof(rgSI)};
        ASSERT_TRUE(::CreateProcessW(app.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &rgSI, &m_rgPI))
            << "CreateProcessW failed, error " << ::GetLastError();
        ASSERT_EQ(0u, ::WaitForInputIdle(m_rgPI.hProcess, 5000));
        // The orphan check of every test sees children like this one.
        EXPECT_EQ(std::vector<DWORD>{m_rgPI.dwProcessId}, viewertest::ChildProcesses(viewertest::kGraphEditExe));
        m_hWndMain = FindTopLevel(m_rgPI.dwProcessId, nullptr);
        ASSERT_NE(nullptr, m_hWndMain);
    }
    void TearDown() override {
        // GraphEdit lets go of a graph it shows on its way out: those releases are calls into
        // this thread's apartment, so the wait for its end serves them.
        ::PostThreadMessageW(m_rgPI.dwThreadId, WM_QUIT, 0, 0);
        EXPECT_TRUE(viewertest::PumpUntil([&] { return ::WaitForSingleObject(m_rgPI.hProcess, 0) == WAIT_OBJECT_0; }, 2000));
        ::CloseHandle(m_rgPI.hThread);
        ::CloseHandle(m_rgPI.hProcess);
        viewertest::GraphEditTest::TearDown();
    }

    // Opens GraphEdit's connection dialog afresh (the command as from an accelerator, or as
    // from the menu) and gives its list box.
    HWND OpenDialog(WPARAM wParam = MAKEWPARAM(0x8034, 1)) {
        const size_t cListed = m_state.Count("listed");
        ::PostMessageW(m_hWndMain, WM_COMMAND, wParam, 0);
        EXPECT_TRUE(viewertest::PumpUntil([&] { return m_state.Count("listed") > cListed; }, 3000));
        HWND hWndDialog = FindTopLevel(m_rgPI.dwProcessId, m_hWndMain);
        EXPECT_NE(nullptr, hWndDialog);
        HWND hWndList = ::FindWindowExW(hWndDialog, nullptr, L"ListBox", nullptr);
        EXPECT_NE(nullptr, hWndList);
        return hWndList;
    }
    std::vector<std::wstring> ListedGraphs() { return ReadList(OpenDialog()); }
    // Selects the item and lets the dialog act on it as on a click of OK or a double click.
    void Choose(HWND hWndList, const std::wstring& item, WPARAM wParamCommand) {
        const std::vector<std::wstring> items = ReadList(hWndList);
        const auto it = std::find(items.begin(), items.end(), item);
        ASSERT_NE(items.end(), it) << test::Narrow(item);
        ASSERT_NE(LB_ERR, ::SendMessageW(hWndList, LB_SETCURSEL, it - items.begin(), 0));
        ::PostMessageW(::GetParent(hWndList), WM_COMMAND, wParamCommand, reinterpret_cast<LPARAM>(hWndList));
    }

    static std::wstring ItemOf(const void* pGraph) {
        wchar_t sz[64];
        _snwprintf(sz, 64, L"pid %08x (viewer_tests.exe) IFilterGraph = %08x", static_cast<unsigned>(::GetCurrentProcessId()),
                   static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(pGraph)));
        return sz;
    }
    static size_t CountOf(const std::vector<std::wstring>& items, const std::wstring& item) {
        return static_cast<size_t>(std::count(items.begin(), items.end(), item));
    }

    PROCESS_INFORMATION m_rgPI = {};
    HWND m_hWndMain = nullptr;
};

TEST_F(StandInTest, PublishedGraphIsListedByAnotherProcessUntilClose) {
    fw::ComPtr<IGraphBuilder> spGraph;
    ASSERT_HR(S_OK, spGraph.CoCreateInstance(CLSID_FilterGraph));
    const ULONG cRefBefore = test::RefCount(spGraph);
    CPublishingGraphEdit graphEdit;
    ASSERT_HR(S_OK, CGraphEdit::AddToRot(spGraph, graphEdit.CookieSlot()));

    EXPECT_EQ(1u, CountOf(ListedGraphs(), ItemOf(spGraph)));
    EXPECT_GT(test::RefCount(spGraph), cRefBefore);

    graphEdit.Close();
    EXPECT_EQ(0u, graphEdit.Cookie());
    EXPECT_EQ(0u, CountOf(ListedGraphs(), ItemOf(spGraph)));
    EXPECT_EQ(cRefBefore, test::RefCount(spGraph));  // the table let go of it
}

TEST_F(StandInTest, OnlyNamesOfTheFilterGraphFormAreListed) {
    fw::ComPtr<IGraphBuilder> spGraph;
    ASSERT_HR(S_OK, spGraph.CoCreateInstance(CLSID_FilterGraph));
    fw::ComPtr<IRunningObjectTable> spROT;
    ASSERT_HR(S_OK, ::GetRunningObjectTable(0, &spROT));
    wchar_t szName[64];
    CGraphEdit::FormatCookieName(spGraph.Get(), ::GetCurrentProcessId(), szName);
    std::vector<DWORD> cookies;
    // The right name with another delimiter, one digit short, and another word.
    const std::pair<const wchar_t*, std::wstring> kOthers[] = {
        {L"#", szName}, {L"!", std::wstring(szName).substr(0, 32)}, {L"!", L"Graph" + std::wstring(szName + 11)}};
    for (const auto& other : kOthers) {
        fw::ComPtr<IMoniker> spMoniker;
        ASSERT_HR(S_OK, ::CreateItemMoniker(other.first, other.second.c_str(), &spMoniker));
        DWORD dwCookie = 0;
        ASSERT_HR(S_OK, spROT->Register(0, spGraph, spMoniker, &dwCookie));
        cookies.push_back(dwCookie);
    }
    std::vector<std::wstring> items = ListedGraphs();
    for (DWORD dwCookie : cookies) spROT->Revoke(dwCookie);
    EXPECT_EQ(0u, CountOf(items, ItemOf(spGraph)));
    for (const std::wstring& item : items) EXPECT_EQ(std::wstring::npos, item.find(L"viewer_tests.exe")) << test::Narrow(item);
}

TEST_F(StandInTest, MainWindowAndDialogKeepGraphEditsContract) {
    const LONG lStyle = ::GetWindowLongW(m_hWndMain, GWL_STYLE);
    EXPECT_EQ(static_cast<LONG>(WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_VISIBLE),
              lStyle & (WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_VISIBLE));
    // Menus cannot be read from another process under Wine; the command as a menu click sends it does the job.
    HWND hWndList = OpenDialog(0x8034);
    HWND hWndDialog = ::GetParent(hWndList);
    EXPECT_EQ(m_hWndMain, ::GetParent(hWndDialog));  // an owned popup: its parent is the owner
    EXPECT_EQ(0, ::GetWindowLongW(hWndDialog, GWL_STYLE) & WS_CHILD);
    EXPECT_NE(nullptr, ::GetDlgItem(hWndDialog, IDOK));
    EXPECT_NE(nullptr, ::GetDlgItem(hWndDialog, IDCANCEL));

    ::PostMessageW(hWndDialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_TRUE(viewertest::PumpUntil([&] { return !::IsWindow(hWndDialog); }, 2000));
    EXPECT_TRUE(m_state.Has("dialog-cancelled"));
}

TEST_F(StandInTest, DoubleClickConnectsLikeOk) {
    fw::ComPtr<IGraphBuilder> spGraph = viewertest::MakeTavrelWriterGraph();
    CPublishingGraphEdit graphEdit;
    ASSERT_HR(S_OK, CGraphEdit::AddToRot(spGraph, graphEdit.CookieSlot()));
    HWND hWndList = OpenDialog();
    Choose(hWndList, ItemOf(spGraph), MAKEWPARAM(::GetDlgCtrlID(hWndList), LBN_DBLCLK));
    ASSERT_TRUE(m_state.WaitFor("connected", 5000));  // this thread serves GraphEdit's calls meanwhile
    EXPECT_NE(std::string::npos, m_state.Find("connected").find(" filters=2 connections=1 ")) << m_state.Find("connected");
}

TEST_F(StandInTest, ObjectThatIsNoGraphIsReportedPlainly) {
    // The right name on an object that is no filter graph: GraphEdit binds, then says why it cannot show it.
    fw::ComPtr<IStream> spStream;
    ASSERT_HR(S_OK, ::CreateStreamOnHGlobal(nullptr, TRUE, &spStream));
    CPublishingGraphEdit graphEdit;
    ASSERT_HR(S_OK, CGraphEdit::AddToRot(spStream, graphEdit.CookieSlot()));
    Choose(OpenDialog(), ItemOf(spStream), MAKEWPARAM(IDOK, BN_CLICKED));
    ASSERT_TRUE(m_state.WaitFor("connect-failed", 5000));
    EXPECT_EQ("connect-failed hr=0x80004002 Could not bind to the graph of pid " + viewertest::Hex8(::GetCurrentProcessId()) +
                  " (viewer_tests.exe)",
              m_state.Find("connect-failed"));
    EXPECT_FALSE(m_state.Has("connected"));
}

// The item names the publishing process's executable; a name too long for the 63 characters is
// shortened, never the graph number that must end the item. The entry here names another
// process of this test, a copy of the stand-in under a long name.
TEST_F(StandInTest, LongExecutableNameNeverCutsTheGraphNumber) {
    const std::wstring longName = L"an-executable-with-a-rather-long-file-name.exe";
    viewertest::CopyGraphEdit(m_dir + L"\\" + longName);
    PROCESS_INFORMATION rgPI = {};
    {
        viewertest::CEnvironmentGuard ownState(L"GRAPHEDT_STATE_FILE", (m_dir + L"\\long-name-state.txt").c_str());
        STARTUPINFOW rgSI = {sizeof(rgSI)};
        ASSERT_TRUE(::CreateProcessW((m_dir + L"\\" + longName).c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                     &rgSI, &rgPI))
            << "CreateProcessW failed, error " << ::GetLastError();
    }
    ASSERT_EQ(0u, ::WaitForInputIdle(rgPI.hProcess, 5000));  // its thread takes WM_QUIT from now on
    fw::ComPtr<IGraphBuilder> spGraph;
    ASSERT_HR(S_OK, spGraph.CoCreateInstance(CLSID_FilterGraph));
    wchar_t szName[64];
    CGraphEdit::FormatCookieName(spGraph.Get(), rgPI.dwProcessId, szName);
    fw::ComPtr<IRunningObjectTable> spROT;
    ASSERT_HR(S_OK, ::GetRunningObjectTable(0, &spROT));
    fw::ComPtr<IMoniker> spMoniker;
    ASSERT_HR(S_OK, ::CreateItemMoniker(L"!", szName, &spMoniker));
    DWORD dwCookie = 0;
    ASSERT_HR(S_OK, spROT->Register(0, spGraph, spMoniker, &dwCookie));

    const std::vector<std::wstring> items = ListedGraphs();
    spROT->Revoke(dwCookie);
    ::PostThreadMessageW(rgPI.dwThreadId, WM_QUIT, 0, 0);
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(rgPI.hProcess, 2000));
    ::CloseHandle(rgPI.hThread);
    ::CloseHandle(rgPI.hProcess);

    wchar_t szPid[16], szTail[32];
    _snwprintf(szPid, 16, L"pid %08x (", static_cast<unsigned>(rgPI.dwProcessId));
    _snwprintf(szTail, 32, L") IFilterGraph = %08x", static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(spGraph.Get())));
    std::wstring item;
    for (const std::wstring& listed : items)
        if (listed.compare(0, wcslen(szPid), szPid) == 0) item = listed;
    ASSERT_FALSE(item.empty());
    EXPECT_EQ(63u, item.size()) << test::Narrow(item);
    EXPECT_EQ(std::wstring(szPid) + L"an-executable-with-a-..." + szTail, item);
}

}  // namespace
