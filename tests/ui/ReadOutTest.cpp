// The "Written" read-out while a source feeds the writer: it grows while the graph runs, and
// after "Stop" it shows the count the writer reports (the size of its sink file).
#include <windows.h>

#include <cwchar>

#include "TestSupport.h"
#include "UiTest.h"

namespace ui {
namespace {

class UiReadOutTest : public UiTest {
protected:
    // Builds source and writer and plays until the read-out shows something written.
    void PlayUntilSomethingIsWritten() {
        ASSERT_NO_FATAL_FAILURE(Build(SourceAndWriterGraph(L"stream.grf", {})));
        ASSERT_EQ(L"0.000 MBytes", m_app.Text(kWritten));
        m_app.Click(kPlay);
        ASSERT_TRUE(NoBoxAfterSync());
        ASSERT_TRUE(WaitUntil([this] { return Thousandths() > 0; })) << test::Narrow(m_app.Text(kWritten));
    }
    // The read-out in thousandths of a megabyte; -1 when it does not have the expected form.
    long long Thousandths() const {
        unsigned nWhole = 0, nFraction = 0;
        wchar_t szUnit[16] = {};
        const std::wstring text = m_app.Text(kWritten);
        if (swscanf(text.c_str(), L"%u.%3u %15ls", &nWhole, &nFraction, szUnit) != 3) return -1;
        const LONGLONG llShown = nWhole * 1000000LL + nFraction * 1000LL;
        if (std::wstring(szUnit) != L"MBytes" || WrittenText(llShown) != text) return -1;
        return nWhole * 1000LL + nFraction;
    }
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

TEST_F(UiReadOutTest, GrowsWhileTheGraphRuns) {
    PlayUntilSomethingIsWritten();
    const long long nFirst = Thousandths();
    EXPECT_TRUE(WaitUntil([&] { return Thousandths() > nFirst; })) << test::Narrow(m_app.Text(kWritten));
}

TEST_F(UiReadOutTest, AfterStopShowsTheSizeOfTheSinkFile) {
    PlayUntilSomethingIsWritten();
    m_app.Click(kStop);
    ASSERT_TRUE(NoBoxAfterSync());
    const LONGLONG llSize = SinkSize();
    EXPECT_GT(llSize, 0);
    EXPECT_EQ(WrittenText(llSize), m_app.Text(kWritten));
}

// "Stop" does not stop the progress timer: the read-out keeps asking the writer.
TEST_F(UiReadOutTest, KeepsAskingTheWriterAfterStop) {
    PlayUntilSomethingIsWritten();
    m_app.Click(kStop);
    ASSERT_TRUE(NoBoxAfterSync());
    const size_t cCalls = GetWrittenCalls();
    EXPECT_TRUE(WaitUntil([&] { return GetWrittenCalls() >= cCalls + 3; }));
}

// "Build graph" with an empty path stops the timer but leaves the graph: the writer goes on
// writing while the read-out stands still.
TEST_F(UiReadOutTest, EmptyPathBuildFreezesTheReadOutWhileTheGraphRuns) {
    PlayUntilSomethingIsWritten();
    Build(L"");
    ASSERT_EQ(ErrorBox(L".grf file not selected", E_INVALIDARG), TakeBox());
    ASSERT_TRUE(m_app.Sync());
    const std::wstring frozen = m_app.Text(kWritten);
    const LONGLONG llShown = Thousandths() * 1000;
    EXPECT_TRUE(WaitUntil([&] { return SinkSize() > llShown + 500000; })) << "the graph stopped writing";
    EXPECT_EQ(frozen, m_app.Text(kWritten));
}

// Closing while the graph runs tears it down and still ends the program cleanly.
TEST_F(UiReadOutTest, ClosingWhileTheGraphRunsEndsWithExitCode0) {
    PlayUntilSomethingIsWritten();
    m_app.PressCloseBox();
    DWORD dwExitCode = 0xFFFFFFFF;
    ASSERT_TRUE(m_app.WaitForExit(&dwExitCode));
    EXPECT_EQ(0u, dwExitCode);
}

}  // namespace
}  // namespace ui
