// Which list item names this process's graph: MatchCookieName on the texts GraphEdit may
// show, and FindGraphItem on a real list box (items in index order, long items, empty items).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Helpers.h"
#include "TestSupport.h"

namespace {

// A graph pointer whose low 32 bits are a3f41230 and whose high bits are set, as on x64.
const void* const kGraph = reinterpret_cast<const void*>(0x000001D2A3F41230ull);

std::wstring Format(const wchar_t* pszFormat, DWORD dwValue) {
    wchar_t sz[128];
    _snwprintf(sz, 128, pszFormat, static_cast<unsigned>(dwValue));
    sz[127] = 0;
    return sz;
}

bool Match(const std::wstring& text) { return CGraphEdit::MatchCookieName(text.c_str(), kGraph); }

TEST(MatchCookieName, AcceptsThisProcessAndGraphInEveryForm) {
    const DWORD dwPid = ::GetCurrentProcessId();
    EXPECT_TRUE(Match(Format(L"pid %x IFilterGraph = a3f41230", dwPid)));
    EXPECT_TRUE(Match(Format(L"pid 0x%08X IFilterGraph = 0xA3F41230", dwPid)));
    EXPECT_TRUE(Match(Format(L"(x) pid %08x (y) IFilterGraph = a3f41230", dwPid)));
    // GraphEdit's own form, with the executable's name between the two numbers.
    EXPECT_TRUE(Match(Format(L"pid %08x (viewer_tests.exe) IFilterGraph = a3f41230", dwPid)));
}

TEST(MatchCookieName, RefusesEveryNearMiss) {
    const DWORD dwPid = ::GetCurrentProcessId();
    EXPECT_FALSE(Match(Format(L"pid %x IFilterGraph = a3f41230 ", dwPid)));     // something follows the number
    EXPECT_FALSE(Match(Format(L"pid %x, IFilterGraph = a3f41230", dwPid)));     // no space right after the id
    EXPECT_FALSE(Match(Format(L"PID %x IFilterGraph = a3f41230", dwPid)));      // case
    EXPECT_FALSE(Match(Format(L"pid %x IFilterGraph=a3f41230", dwPid)));        // spaces around '='
    EXPECT_FALSE(Match(Format(L"pid %x IFilterGraph = 1d2a3f41230", dwPid)));   // over 32 bits: 0xFFFFFFFF
    EXPECT_FALSE(Match(Format(L"pid %x IFilterGraph = a3f41231", dwPid)));      // another graph
    EXPECT_FALSE(Match(Format(L"pid %x IFilterGraph = a3f41230", dwPid + 4)));  // another process
    EXPECT_FALSE(Match(Format(L"pid %x IFilterGraph = ", dwPid)));              // no number
    EXPECT_FALSE(Match(L"pid  IFilterGraph = a3f41230"));
    EXPECT_FALSE(Match(L""));
    // Only the first "pid " counts, even when a later one would pass.
    EXPECT_FALSE(Match(Format(L"pid %x ", dwPid + 4) + Format(L"pid %x IFilterGraph = a3f41230", dwPid)));
}

TEST(MatchCookieName, LengthIsNoPartOfTheRule) {
    // The bridge passes over list items longer than its 63-character buffer; the rule itself has no limit.
    const std::wstring text =
        Format(L"Filter graph published in the running object table by pid %08x (viewer_tests.exe) IFilterGraph = a3f41230",
               ::GetCurrentProcessId());
    ASSERT_GT(text.size(), 63u);
    EXPECT_TRUE(Match(text));
}

TEST(MatchCookieName, NullTextIsRefusedWithAssertion) {
    test::AssertionCollector collector;
    EXPECT_FALSE(CGraphEdit::MatchCookieName(nullptr, kGraph));
#ifdef _DEBUG
    EXPECT_EQ(std::vector<std::wstring>{L"pszCookieName != 0"}, collector.Expressions(L"Helpers"));
#endif
}

// A list box of this process stands in for GraphEdit's: the bridge reads it through the same messages.
class FindGraphItemTest : public ::testing::Test {
protected:
    class CListBoxGraphEdit : public CGraphEdit {
    public:
        void UseListBox(HWND hWnd) { m_hWndListBox = hWnd; }
    };

    void SetUp() override {
        m_hWndList = ::CreateWindowExW(0, L"ListBox", L"", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, m_hWndList);
        m_graphEdit.UseListBox(m_hWndList);
    }
    void TearDown() override { ::DestroyWindow(m_hWndList); }

    void Add(const std::wstring& text) {
        ::SendMessageW(m_hWndList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    int Find() { return m_graphEdit.FindGraphItem(static_cast<IGraphBuilder*>(const_cast<void*>(kGraph))); }

    std::wstring Item() const {
        return Format(L"pid %08x (viewer_tests.exe) IFilterGraph = a3f41230", ::GetCurrentProcessId());
    }

    HWND m_hWndList = nullptr;
    CListBoxGraphEdit m_graphEdit;
};

TEST_F(FindGraphItemTest, EmptyListOrNoListGivesNoIndex) {
    EXPECT_EQ(-1, Find());
    m_graphEdit.UseListBox(nullptr);
    EXPECT_EQ(-1, Find());
}

TEST_F(FindGraphItemTest, FirstMatchingItemWins) {
    Add(Format(L"pid %08x (other.exe) IFilterGraph = 12345678", ::GetCurrentProcessId() + 4));
    Add(Item());
    Add(Item());
    EXPECT_EQ(1, Find());
}

TEST_F(FindGraphItemTest, ItemsOverSixtyThreeCharactersArePassedOver) {
    Add(L"A long description of the publishing process, then " + Item());
    Add(Item());
    EXPECT_EQ(1, Find());
}

TEST_F(FindGraphItemTest, ItemOfExactlySixtyThreeCharactersIsRead) {
    std::wstring item = Item();
    item.insert(0, 63 - item.size(), L'x');
    ASSERT_EQ(63u, item.size());
    Add(L"");
    Add(item);
    EXPECT_EQ(1, Find());
}

}  // namespace
