// "Show graph" through the dialog, against the GraphEdit stand-in that keeps the graph it shows
// (as the real GraphEdit does) and lets go only on its way out: those last releases are calls
// into the program's apartment, made while the program waits for GraphEdit to end. GraphEdit
// inherits the program's environment, which inherits this test's: its switches and its state
// file (GRAPHEDT_STATE_FILE, one line per thing it did) are set before the program starts.
#include <windows.h>
#include <dshow.h>
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

LONGLONG SizeOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Whether some handle on the file is open (the writer keeps its sink open while it runs).
bool SinkOpenElsewhere(const std::wstring& path) {
    HANDLE hFile = ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) return true;
    ::CloseHandle(hFile);
    return false;
}

// One registry value, put back as it was (or removed again) when destroyed.
class CSavedRegistryValue {
public:
    CSavedRegistryValue(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValue)
        : m_hRoot(hRoot), m_key(pszKey), m_pszValue(pszValue) {
        DWORD cb = 0;
        if (::RegGetValueW(m_hRoot, pszKey, pszValue, RRF_RT_ANY | RRF_NOEXPAND, &m_dwType, nullptr, &cb) != ERROR_SUCCESS)
            return;
        m_data.resize(cb);
        m_bExisted = ::RegGetValueW(m_hRoot, pszKey, pszValue, RRF_RT_ANY | RRF_NOEXPAND, &m_dwType, m_data.data(), &cb) ==
                     ERROR_SUCCESS;
    }
    ~CSavedRegistryValue() {
        if (m_bExisted)
            ::RegSetKeyValueW(m_hRoot, m_key.c_str(), m_pszValue, m_dwType, m_data.data(), static_cast<DWORD>(m_data.size()));
        else
            ::RegDeleteKeyValueW(m_hRoot, m_key.c_str(), m_pszValue);
    }
    CSavedRegistryValue(const CSavedRegistryValue&) = delete;
    CSavedRegistryValue& operator=(const CSavedRegistryValue&) = delete;
    bool Exists() const {
        return ::RegGetValueW(m_hRoot, m_key.c_str(), m_pszValue, RRF_RT_ANY, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    }

private:
    HKEY m_hRoot;
    std::wstring m_key;
    const wchar_t* m_pszValue;
    bool m_bExisted = false;
    DWORD m_dwType = 0;
    std::vector<BYTE> m_data;
};

std::wstring NormalisedPath(std::wstring path) {
    for (wchar_t& c : path) c = c == L'/' ? L'\\' : static_cast<wchar_t>(towlower(c));
    return path;
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

// ---- Where GraphEdit is found ------------------------------------------------------------------

// A real machine has no "Path" value: GraphEdit sits beside proppage.dll. The bare name finds
// nothing in the program's current folder (this test's), so the second attempt, in
// proppage.dll's folder, starts it.
TEST_F(ShowGraphCommandTest, GraphEditBesideProppageIsStartedWithoutAPathValue) {
    CSavedRegistryValue path(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Shared Tools\\Graphedit", L"Path");
    CSavedRegistryValue server(HKEY_CLASSES_ROOT, L"CLSID\\{29E07010-BD27-11CE-AB59-00AA00577DA1}\\InprocServer32", nullptr);
    HMODULE hProppage = ::LoadLibraryW((test::BinDir() + L"\\proppage.dll").c_str());
    ASSERT_NE(nullptr, hProppage);
    using InstallFn = HRESULT(WINAPI*)(BOOL, PCWSTR);
    auto pfnInstall = reinterpret_cast<InstallFn>(reinterpret_cast<void*>(::GetProcAddress(hProppage, "DllInstall")));
    ASSERT_NE(nullptr, pfnInstall);
    EXPECT_HR(S_OK, pfnInstall(TRUE, L"no-path"));
    ::FreeLibrary(hProppage);
    ASSERT_FALSE(path.Exists());
    wchar_t szCurrent[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, szCurrent);
    ASSERT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((std::wstring(szCurrent) + L"\\graphedt.exe").c_str()));

    HANDLE hGraphEdit = BuildAndShow();
    ASSERT_NE(nullptr, hGraphEdit);
    wchar_t szImage[MAX_PATH];
    DWORD cch = MAX_PATH;
    EXPECT_TRUE(::QueryFullProcessImageNameW(hGraphEdit, 0, szImage, &cch));
    ::CloseHandle(hGraphEdit);
    EXPECT_EQ(NormalisedPath(test::BinDir() + L"\\graphedt.exe"), NormalisedPath(std::wstring(szImage, cch)));
    EXPECT_EQ(1u, CountPrefix(State(), Connected()));
}

#ifndef _WIN64
// Only the 64-bit GraphEdit installed, and "Path" (read by this x86 program in the 32-bit view)
// naming it. Everything crosses bitnesses: the program finds GraphEdit's window, list and
// buttons; GraphEdit reads the program's graph through the running object table; its releases
// on the way out are answered in the program's apartment. X64_BIN_DIR: the x64 build's binaries.
TEST_F(ShowGraphCommandTest, X64GraphEditNamedByPathShowsTheGraphOfThisX86Program) {
    const std::wstring graphEdit = X64_BIN_DIR L"\\graphedt.exe";
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(graphEdit.c_str())) << "the x64 build is not built";
    const wchar_t kGraphEditKey[] = L"Software\\Microsoft\\Shared Tools\\Graphedit";
    CSavedRegistryValue path(HKEY_LOCAL_MACHINE, kGraphEditKey, L"Path");
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, kGraphEditKey, L"Path", REG_SZ, graphEdit.c_str(),
                                               static_cast<DWORD>((graphEdit.size() + 1) * sizeof(wchar_t))));

    HANDLE hGraphEdit = BuildAndShow();
    ASSERT_NE(nullptr, hGraphEdit);
    wchar_t szImage[MAX_PATH];
    DWORD cch = MAX_PATH;
    EXPECT_TRUE(::QueryFullProcessImageNameW(hGraphEdit, 0, szImage, &cch));
    BOOL bWow64 = TRUE;
    EXPECT_TRUE(::IsWow64Process(hGraphEdit, &bWow64));
    ::CloseHandle(hGraphEdit);
    EXPECT_EQ(NormalisedPath(graphEdit), NormalisedPath(std::wstring(szImage, cch)));
    EXPECT_FALSE(bWow64) << "GraphEdit runs as a 32-bit process";

    m_app.PressCloseBox();
    ExpectCleanExit();
    EXPECT_EQ(0u, FindPrefix(State(), "released filters=2 pins=2 ").find("released")) << FindPrefix(State(), "released");
}
#endif

// ---- GraphEdit works on the graph it shows ----------------------------------------------------

// Its toolbar and position slider ask the graph's state and position, here every 50 ms.
class PollingGraphEditTest : public ShowGraphCommandTest {
protected:
    PollingGraphEditTest() : ShowGraphCommandTest({{L"GRAPHEDT_POLL_MS", L"50"}}) {}
    // Waits for a poll after the ones seen so far that finds the graph in this state.
    bool WaitForPolledState(int nState) {
        const size_t cSeen = CountPrefix(State(), "poll ");
        const std::string line = "poll state=" + std::to_string(nState) + " hr=0x00000000 ";
        return WaitUntil([&] {
            const std::vector<std::string> lines = State();
            size_t cPolls = 0;
            for (const std::string& l : lines)
                if (l.compare(0, 5, "poll ") == 0 && ++cPolls > cSeen + 1 && l.compare(0, line.size(), line) == 0) return true;
            return false;
        });
    }
};

TEST_F(PollingGraphEditTest, PollsAreAnsweredWhileTheDialogKeepsWorking) {
    Build(SourceAndWriterGraph(L"show.grf", {}));
    m_app.Click(kPlay);
    ASSERT_TRUE(NoBoxAfterSync());
    m_app.Click(kShowGraph);
    ASSERT_TRUE(NoBoxAfterSync());
    ASSERT_TRUE(WaitForState(Connected()));
    EXPECT_TRUE(WaitForPolledState(State_Running));
    // The dialog stays responsive and its read-out follows the writer meanwhile.
    const std::wstring written = m_app.Text(kWritten);
    EXPECT_TRUE(WaitUntil([&] { return m_app.Text(kWritten) != written; }));
    EXPECT_TRUE(m_app.Sync());

    // The harness's own commands still work, and GraphEdit sees what they did.
    m_app.Click(kPause);
    EXPECT_TRUE(NoBoxAfterSync());
    EXPECT_TRUE(WaitForPolledState(State_Paused));
    m_app.Click(kStop);
    EXPECT_TRUE(NoBoxAfterSync());
    EXPECT_TRUE(WaitForPolledState(State_Stopped));
    m_app.Click(kPlay);
    EXPECT_TRUE(NoBoxAfterSync());
    EXPECT_TRUE(WaitForPolledState(State_Running));
    EXPECT_EQ(0u, CountPrefix(State(), "poll failed"));
}

// Its Stop button stops the graph from GraphEdit's side, here 300 ms after it connected.
class StoppingGraphEditTest : public ShowGraphCommandTest {
protected:
    StoppingGraphEditTest() : ShowGraphCommandTest({{L"GRAPHEDT_STOP_AFTER_MS", L"300"}}) {}
};

TEST_F(StoppingGraphEditTest, GraphStoppedFromGraphEditPlaysAgainFromTheDialog) {
    Build(SourceAndWriterGraph(L"show.grf", {}));
    m_app.Click(kPlay);
    ASSERT_TRUE(NoBoxAfterSync());
    m_app.Click(kShowGraph);
    ASSERT_TRUE(NoBoxAfterSync());
    ASSERT_TRUE(WaitForState("stop "));
    EXPECT_EQ("stop hr=0x00000000", FindPrefix(State(), "stop "));
    EXPECT_FALSE(SinkOpenElsewhere(SinkPath()));  // stopped: the writer closed its file
    EXPECT_TRUE(m_app.Sync());

    const LONGLONG llStopped = SizeOf(SinkPath());
    m_app.Click(kPlay);
    EXPECT_TRUE(NoBoxAfterSync());
    EXPECT_TRUE(WaitUntil([&] { return SinkOpenElsewhere(SinkPath()) && m_app.Text(kWritten) != L"0.000 MBytes"; }));
    m_app.Click(kStop);
    EXPECT_TRUE(NoBoxAfterSync());
    EXPECT_TRUE(WaitUntil([&] { return !SinkOpenElsewhere(SinkPath()); }));
    EXPECT_NE(llStopped, SizeOf(SinkPath()));  // written afresh by the second run
}

// ---- GraphEdit ends without letting go ---------------------------------------------------------

class CrashingGraphEditTest : public ShowGraphCommandTest {
protected:
    CrashingGraphEditTest() : ShowGraphCommandTest({{L"GRAPHEDT_CRASH_AFTER_MS", L"300"}}) {}
};

// A GraphEdit that ends without letting go (crashed, or ended from the task manager) leaves its
// references with COM. The rebuild stops the graph before letting go, so its writer finishes
// its file, and the same graph plays again; left running, the orphaned graph kept appending to
// the file and the next Play failed ("Can't run capture graph": the file was still open).
TEST_F(CrashingGraphEditTest, RunningGraphIsStoppedAtRebuildAndPlaysAgain) {
    const std::wstring grf = SourceAndWriterGraph(L"show.grf", {});
    Build(grf);
    m_app.Click(kPlay);
    ASSERT_TRUE(NoBoxAfterSync());
    ASSERT_TRUE(WaitUntil([&] { return SizeOf(SinkPath()) > 0; }));
    m_app.Click(kShowGraph);
    ASSERT_TRUE(NoBoxAfterSync());
    ASSERT_TRUE(WaitForState("crash", 1, 5000));
    ASSERT_TRUE(WaitUntil([&] { return GraphEditsOf(m_app.ProcessId()).empty(); }));
    EXPECT_EQ(0u, CountPrefix(State(), "released"));

    Build(grf);
    ASSERT_TRUE(NoBoxAfterSync());
    EXPECT_FALSE(SinkOpenElsewhere(SinkPath()));  // the writer closed its file
    const LONGLONG llFinished = SizeOf(SinkPath());
    EXPECT_GT(llFinished, 0);
    ::Sleep(300);  // a while to see that nothing more is written
    EXPECT_EQ(llFinished, SizeOf(SinkPath()));

    m_app.Click(kPlay);
    EXPECT_TRUE(NoBoxAfterSync());
    EXPECT_TRUE(WaitUntil([&] { return m_app.Text(kWritten) != L"0.000 MBytes" && SinkOpenElsewhere(SinkPath()); }));
}
}  // namespace
}  // namespace ui
