// The "Written" read-out: the text for each count the writer reports, tick by tick, how often
// the timer asks the writer, and the read-out while a source feeds the writer.
#include <windows.h>

#include <algorithm>

#include "TestSupport.h"
#include "TextSpy.h"
#include "UiTest.h"

namespace ui {
namespace {

// Records each text set on one window of the program from now on (TextSpy.h).
class CTextSpy {
public:
    CTextSpy(DWORD dwProcessId, HWND hWnd) {
        m_hMapping = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(textspy::Record),
                                          textspy::MappingName(dwProcessId).c_str());
        if (m_hMapping)
            m_pRecord = static_cast<textspy::Record*>(::MapViewOfFile(m_hMapping, FILE_MAP_WRITE, 0, 0, 0));
        if (!m_pRecord) return;
        m_pRecord->hWnd = hWnd;
        m_hDll = ::LoadLibraryW((test::BinDir() + L"\\textspy.dll").c_str());
        auto pfnHook = reinterpret_cast<HOOKPROC>(
            reinterpret_cast<void*>(m_hDll ? ::GetProcAddress(m_hDll, "TextSpyProc") : nullptr));
        if (pfnHook)
            m_hHook = ::SetWindowsHookExW(WH_CALLWNDPROC, pfnHook, m_hDll, ::GetWindowThreadProcessId(hWnd, nullptr));
    }
    ~CTextSpy() {
        if (m_hHook) ::UnhookWindowsHookEx(m_hHook);
        if (m_hDll) ::FreeLibrary(m_hDll);
        if (m_pRecord) ::UnmapViewOfFile(m_pRecord);
        if (m_hMapping) ::CloseHandle(m_hMapping);
    }
    CTextSpy(const CTextSpy&) = delete;
    CTextSpy& operator=(const CTextSpy&) = delete;

    bool IsHooked() const { return m_hHook != nullptr; }
    std::vector<std::wstring> Texts() const {
        const LONG cTexts = ::InterlockedCompareExchange(&m_pRecord->cTexts, 0, 0);
        std::vector<std::wstring> texts(m_pRecord->szTexts, m_pRecord->szTexts + std::min(cTexts, textspy::kMaxTexts));
        if (cTexts > textspy::kMaxTexts) texts.push_back(L"... " + std::to_wstring(cTexts) + L" in all");
        return texts;
    }

private:
    HANDLE m_hMapping = nullptr;
    textspy::Record* m_pRecord = nullptr;
    HMODULE m_hDll = nullptr;
    HHOOK m_hHook = nullptr;
};

class UiReadOutTest : public UiTest {
protected:
    LONGLONG SinkSize() const {
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        if (!::GetFileAttributesExW(SinkPath().c_str(), GetFileExInfoStandard, &data)) return -1;
        return (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
    size_t GetWrittenCalls() const {
        size_t c = 0;
        for (const std::string& line : Journal()) c += line.rfind("GetWritten ", 0) == 0 ? 1 : 0;
        return c;
    }
};

// Each tick of the timer shows the count the writer reports then, in whole and thousandths of a
// megabyte, and writes the read-out only when its text changes: a count that reads as the text
// already shown (the same count again, or one within the same thousandth) sets nothing. The
// build asks for the first count, each tick for the next; the last one repeats.
// A negative count can only come from a misbehaving writer; the format's arithmetic would print
// -1,500,000 as "4294967295.4294966796 MBytes", so the dialog shows it as nothing written.
TEST_F(UiReadOutTest, EachTickShowsTheNewCountAndWritesOnlyAChangedText) {
    CTextSpy spy(m_app.ProcessId(), m_app.Item(kWritten));
    ASSERT_TRUE(spy.IsHooked());
    ASSERT_TRUE(m_app.Sync());  // the dialog's thread has taken a message since: it runs the hook
    ASSERT_NO_FATAL_FAILURE(
        Build(WriterGraph(L"counts.grf", {"written=0,1000000,1000999,999,1234567,-1,1999999,-1500000,5000000000"})));
    ASSERT_TRUE(WaitUntil([&] { return GetWrittenCalls() >= 9 + 5; })) << "fewer than 14 ticks";
    ASSERT_TRUE(NoBoxAfterSync());
    EXPECT_EQ((std::vector<std::wstring>{L"0.000 MBytes", L"1.000 MBytes", L"0.000 MBytes", L"1.234 MBytes",
                                         L"0.000 MBytes", L"1.999 MBytes", L"0.000 MBytes", L"5000.000 MBytes"}),
              spy.Texts());
    EXPECT_EQ(L"5000.000 MBytes", m_app.Text(kWritten));
}

// A call that does not answer S_OK reads as nothing written, whatever count it gave. Each row is
// a build, and each one changes the text, which proves the build wrote it.
TEST_F(UiReadOutTest, ACountFromACallThatFailedReadsAsNothingWritten) {
    const struct {
        std::vector<std::string> config;
        const wchar_t* pszShown;
    } rows[] = {
        {{"written=1234567", "hr.GetWritten=E_FAIL", "failout=write"}, L"0.000 MBytes"},  // count written, call failed
        {{"written=2000000"}, L"2.000 MBytes"},
        {{"written=2000000", "hr.GetWritten=S_FALSE"}, L"0.000 MBytes"},
    };
    std::wstring previous = m_app.Text(kWritten);
    for (size_t i = 0; i < ARRAYSIZE(rows); ++i) {
        SCOPED_TRACE(rows[i].config[0] + (rows[i].config.size() > 1 ? " " + rows[i].config[1] : ""));
        ASSERT_NE(previous, rows[i].pszShown) << "row " << i << " would not change the read-out";
        ASSERT_NO_FATAL_FAILURE(Build(WriterGraph(L"count" + std::to_wstring(i) + L".grf", rows[i].config)));
        EXPECT_TRUE(NoBoxAfterSync());
        EXPECT_EQ(rows[i].pszShown, m_app.Text(kWritten));
        previous = rows[i].pszShown;
    }
}

// The timer asks the writer about ten times a second, and goes on after "Stop". Twenty calls
// take two seconds at 100 ms; the band, 1 to 8 seconds, is generous for a loaded machine and
// still tells a 100 ms timer from one of 1 s or of 10 ms.
TEST_F(UiReadOutTest, AsksTheWriterAboutTenTimesASecondAlsoAfterStop) {
    Build(WriterGraph(L"writer.grf", {}));
    m_app.Click(kPlay);
    m_app.Click(kStop);
    ASSERT_TRUE(NoBoxAfterSync());
    const size_t cStart = GetWrittenCalls() + 1;
    ASSERT_TRUE(WaitUntil([&] { return GetWrittenCalls() >= cStart; }));
    const ULONGLONG ullStart = ::GetTickCount64();
    EXPECT_TRUE(WaitUntil([&] { return GetWrittenCalls() >= cStart + 20; }, 8000)) << "fewer than 20 in 8 s";
    EXPECT_GE(::GetTickCount64() - ullStart, 1000u) << "20 calls in less than a second";
}

// A writer still on its way to paused (its Pause answers S_FALSE) makes the graph manager's Run
// answer S_FALSE too: no failure, so no box, and the graph runs.
TEST_F(UiReadOutTest, WriterStillPausingShowsNoBoxAndTheReadOutGrows) {
    PlayUntilSomethingIsWritten({"pause=S_FALSE"});
    const long long nFirst = WrittenThousandths();
    EXPECT_TRUE(WaitUntil([&] { return WrittenThousandths() > nFirst; })) << test::Narrow(m_app.Text(kWritten));
}

// "Build graph" with an empty path stops the timer but leaves the graph: the writer goes on
// writing while the read-out stands still. "Stop" (its command still arrives while the button
// is disabled) then refreshes the read-out once, to the size of the sink the writer closed.
TEST_F(UiReadOutTest, EmptyPathBuildFreezesTheReadOutAndStopRefreshesIt) {
    PlayUntilSomethingIsWritten({});
    Build(L"");
    ASSERT_EQ(ErrorBox(L".grf file not selected", E_INVALIDARG), TakeBox());
    ASSERT_TRUE(m_app.Sync());
    const std::wstring frozen = m_app.Text(kWritten);
    const LONGLONG llShown = WrittenThousandths() * 1000;
    EXPECT_TRUE(WaitUntil([&] { return SinkSize() > llShown + 500000; })) << "the graph stopped writing";
    EXPECT_EQ(frozen, m_app.Text(kWritten));
    m_app.Click(kStop);
    ASSERT_TRUE(NoBoxAfterSync());
    EXPECT_EQ(WrittenText(SinkSize()), m_app.Text(kWritten));
}

// Closing while the graph runs tears it down and still ends the program cleanly.
TEST_F(UiReadOutTest, ClosingWhileTheGraphRunsEndsWithExitCode0) {
    PlayUntilSomethingIsWritten({});
    m_app.PressCloseBox();
    ExpectCleanExit();
}

}  // namespace
}  // namespace ui
