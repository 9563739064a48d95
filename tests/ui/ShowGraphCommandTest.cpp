// "Show graph" through the dialog, against the GraphEdit stand-in that keeps the graph it shows
// (as the real GraphEdit does) and lets go only on its way out: those last releases are calls
// into the program's apartment, made while the program waits for GraphEdit to end. GraphEdit
// inherits the program's environment, which inherits this test's: its switches and its state
// file (GRAPHEDT_STATE_FILE, one line per thing it did) are set before the program starts.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "UiTest.h"

namespace ui {
namespace {

using Environment = std::vector<std::pair<std::wstring, std::wstring>>;

std::string Hex8(DWORD dw) {
    char sz[16];
    std::snprintf(sz, sizeof(sz), "%08lx", static_cast<unsigned long>(dw));
    return sz;
}

std::vector<std::string> ReadLines(const std::wstring& path) {
    std::vector<std::string> lines;
    HANDLE hFile = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) return lines;
    std::string text;
    char buffer[4096];
    DWORD cbRead = 0;
    while (::ReadFile(hFile, buffer, sizeof(buffer), &cbRead, nullptr) && cbRead) text.append(buffer, cbRead);
    ::CloseHandle(hFile);
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

size_t CountPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
    size_t c = 0;
    for (const std::string& line : lines)
        if (line.compare(0, prefix.size(), prefix) == 0) ++c;
    return c;
}

std::string FindPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
    for (const std::string& line : lines)
        if (line.compare(0, prefix.size(), prefix) == 0) return line;
    return std::string();
}

// The running graphedt.exe processes that this parent started.
std::vector<DWORD> GraphEditsOf(DWORD dwParentId) {
    std::vector<DWORD> ids;
    HANDLE hSnapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (hSnapshot == INVALID_HANDLE_VALUE) return ids;
    PROCESSENTRY32W entry = {sizeof(entry)};
    for (BOOL b = ::Process32FirstW(hSnapshot, &entry); b; b = ::Process32NextW(hSnapshot, &entry))
        if (entry.th32ParentProcessID == dwParentId && lstrcmpiW(entry.szExeFile, L"graphedt.exe") == 0)
            ids.push_back(entry.th32ProcessID);
    ::CloseHandle(hSnapshot);
    return ids;
}

double Milliseconds(LONGLONG llCounts) {
    LARGE_INTEGER liFrequency = {};
    ::QueryPerformanceFrequency(&liFrequency);
    return 1000.0 * static_cast<double>(llCounts) / static_cast<double>(liFrequency.QuadPart);
}

LONGLONG Now() {
    LARGE_INTEGER li = {};
    ::QueryPerformanceCounter(&li);
    return li.QuadPart;
}

class ShowGraphCommandTest : public UiTest {
protected:
    explicit ShowGraphCommandTest(Environment environment = {}) : m_environment(std::move(environment)) {}

    void SetUp() override {
        m_stateDir = test::MakeTempDir((L"ui-graphedit-" + std::to_wstring(::GetTickCount64())).c_str());
        m_environment.emplace_back(L"GRAPHEDT_STATE_FILE", StatePath());
        // Should a test fail half-way, its GraphEdit still ends by itself.
        m_environment.emplace_back(L"GRAPHEDT_LIFETIME_MS", L"20000");
        for (const auto& variable : m_environment) ::SetEnvironmentVariableW(variable.first.c_str(), variable.second.c_str());
        UiTest::SetUp();
    }
    void TearDown() override {
        const DWORD dwProgram = m_app.ProcessId();
        UiTest::TearDown();
        for (const auto& variable : m_environment) ::SetEnvironmentVariableW(variable.first.c_str(), nullptr);
        // Closing the program ends the GraphEdit it started; anything else is left over.
        EXPECT_TRUE(WaitUntil([dwProgram] { return GraphEditsOf(dwProgram).empty(); }, 2000)) << "GraphEdit left running";
        for (DWORD dwId : GraphEditsOf(dwProgram)) {
            HANDLE hProcess = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, dwId);
            if (!hProcess) continue;
            ::TerminateProcess(hProcess, 99);
            ::WaitForSingleObject(hProcess, 2000);
            ::CloseHandle(hProcess);
        }
        if (!HasFailure()) {
            ::DeleteFileW(StatePath().c_str());
            ::RemoveDirectoryW(m_stateDir.c_str());
        }
    }

    std::wstring StatePath() const { return m_stateDir + L"\\graphedt-state.txt"; }
    std::vector<std::string> State() const { return ReadLines(StatePath()); }
    bool WaitForState(const std::string& prefix, size_t cTimes = 1, DWORD dwTimeoutMs = 5000) const {
        return WaitUntil([&] { return CountPrefix(State(), prefix) >= cTimes; }, dwTimeoutMs);
    }
    // The start of GraphEdit's line once it has read the program's Tavrel-writer graph.
    std::string Connected() const { return "connected pid=" + Hex8(m_app.ProcessId()) + " "; }

    // Builds the Tavrel-writer graph, presses "Show graph" and waits until GraphEdit has read
    // the graph; gives a handle on that GraphEdit (closed by the caller).
    HANDLE BuildAndShow() {
        Build(SourceAndWriterGraph(L"show.grf", {}));
        const size_t cConnected = CountPrefix(State(), Connected());
        m_app.Click(kShowGraph);
        EXPECT_TRUE(NoBoxAfterSync());
        EXPECT_TRUE(WaitForState(Connected(), cConnected + 1)) << FindPrefix(State(), "connect-failed");
        const std::vector<DWORD> running = GraphEditsOf(m_app.ProcessId());
        EXPECT_EQ(1u, running.size());
        if (running.empty()) return nullptr;
        return ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, running[0]);
    }

    Environment m_environment;
    std::wstring m_stateDir;
};

// ---- GraphEdit keeps the graph until it quits -------------------------------------------------

TEST_F(ShowGraphCommandTest, ClosingTheDialogEndsGraphEditWellWithinTheQuitWait) {
    HANDLE hGraphEdit = BuildAndShow();
    ASSERT_NE(nullptr, hGraphEdit);
    EXPECT_EQ(0u, CountPrefix(State(), "released"));  // it keeps the graph while it shows it

    const LONGLONG llStart = Now();
    m_app.PressCloseBox();
    DWORD dwExitCode = 0xFFFFFFFF;
    ASSERT_TRUE(m_app.WaitForExit(&dwExitCode));
    const double dCloseMs = Milliseconds(Now() - llStart);
    EXPECT_EQ(0u, dwExitCode);
    // GraphEdit let go of the graph on its way out and ended before the dialog did.
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(hGraphEdit, 0));
    DWORD dwGraphEditExit = 99;
    ::GetExitCodeProcess(hGraphEdit, &dwGraphEditExit);
    ::CloseHandle(hGraphEdit);
    EXPECT_EQ(0u, dwGraphEditExit);
    EXPECT_EQ(0u, FindPrefix(State(), "released filters=2 pins=2 ").find("released")) << FindPrefix(State(), "released");
    // A generous bound, well under the one second the dialog would give a GraphEdit whose
    // releases it did not answer.
    EXPECT_LT(dCloseMs, 700.0);
    std::printf("close with GraphEdit keeping the graph: %.0f ms from the close box to the program's end\n", dCloseMs);
}

// GraphEdit takes its time on the way out: the dialog waits for it, answering its releases,
// while a click and the read-out's timer ticks queue up behind the wait.
class SlowGraphEditExitTest : public ShowGraphCommandTest {
protected:
    SlowGraphEditExitTest() : ShowGraphCommandTest({{L"GRAPHEDT_EXIT_DELAY_MS", L"600"}}) {}
};

TEST_F(SlowGraphEditExitTest, ClickAndTimerTicksDuringTheQuitWaitAreHandledAfterIt) {
    HANDLE hGraphEdit = BuildAndShow();
    ASSERT_NE(nullptr, hGraphEdit);
    ASSERT_TRUE(WaitUntil([&] { return CountPrefix(Journal(), "GetWritten") >= 2; }));  // the read-out ticks

    // A second press asks the first GraphEdit to quit; once it says so the dialog is in its wait.
    m_app.Click(kShowGraph);
    ASSERT_TRUE(WaitForState("quit", 1, 3000));
    const size_t cJournal = Journal().size();
    const size_t cBuilds = CountPrefix(Journal(), "GetName");
    m_app.Click(kBuildGraph);

    // Until the wait ends (GraphEdit's end), the dialog runs nothing of its own: neither the
    // posted click nor a timer tick reaches the writer. The journal is read before GraphEdit's
    // state, so a line seen while GraphEdit still runs was written during the wait.
    bool bQuietDuringTheWait = true;
    bool bEnded = false;
    const DWORD dwStart = ::GetTickCount();
    while (!bEnded && ::GetTickCount() - dwStart < 3000) {
        const size_t cLines = Journal().size();
        bEnded = ::WaitForSingleObject(hGraphEdit, 0) == WAIT_OBJECT_0;
        if (!bEnded && cLines != cJournal) bQuietDuringTheWait = false;
        ::Sleep(2);
    }
    ::CloseHandle(hGraphEdit);
    EXPECT_TRUE(bEnded);
    EXPECT_TRUE(bQuietDuringTheWait) << "the dialog handled something inside the quit wait";
    EXPECT_TRUE(FindPrefix(State(), "stamp released").size() > 0);

    // Afterwards the press goes on (a second GraphEdit is started), and then the click is
    // handled: it rebuilds the graph, which revokes the publication and ends that GraphEdit.
    EXPECT_TRUE(WaitUntil([&] { return CountPrefix(Journal(), "GetName") == cBuilds + 1; }));
    EXPECT_TRUE(NoBoxAfterSync());
    EXPECT_EQ(2u, CountPrefix(State(), "stamp start "));
    EXPECT_TRUE(WaitForState("quit", 2));
}

}  // namespace
}  // namespace ui
