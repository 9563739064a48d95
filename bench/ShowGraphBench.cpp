// "Show graph". A: CGraph::ShowGraph, all the "Show graph" command does, from the call until the
// GraphEdit stand-in has connected to this process's graph: it appends "connected pid=<ours>"
// to its state file (GRAPHEDT_STATE_FILE) once it has bound to the graph through the running
// object table and read it. Meanwhile this thread pumps messages as the dialog's modal loop
// would, because GraphEdit's calls into the graph are served by it. B: starting the same
// graphedt.exe the same way (registry path, no arguments, SW_SHOWNORMAL) and waiting until it
// is ready for input (WaitForInputIdle), the part of A no program can avoid.
// Closing GraphEdit and rebuilding the graph between runs are not timed.
//
// A third run, interleaved with the others, takes the same steps one at a time through
// CGraphEdit's public operations, in ShowGraph's order, and times each, so that the report
// says where A's time beyond B goes.
#include <windows.h>
#include <dshow.h>

#include <cstdio>
#include <string>

#include "BenchSupport.h"
#include "ComPtr.h"
#include "Graph.h"
#include "GrfFixtures.h"
#include "Helpers.h"

namespace {

const double kTargetRatio = 1.5;
const int kRounds = 21;
const DWORD kConnectTimeoutMs = 10000;
const DWORD kQuitTimeoutMs = 5000;

std::string ReadFileText(const std::wstring& path) {
    HANDLE hFile = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) return std::string();
    char sz[4096];
    DWORD cb = 0;
    const BOOL bRead = ::ReadFile(hFile, sz, sizeof(sz), &cb, nullptr);
    ::CloseHandle(hFile);
    return bRead ? std::string(sz, cb) : std::string();
}

// Serves this thread's messages (and with them GraphEdit's calls into the graph) until the
// state file holds the text; false on a time-out.
bool PumpUntilStated(const std::wstring& stateFile, const char* pszText) {
    const DWORD dwStart = ::GetTickCount();
    while (ReadFileText(stateFile).find(pszText) == std::string::npos) {
        if (::GetTickCount() - dwStart > kConnectTimeoutMs) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return true;
}

bool PumpUntilConnected(const std::wstring& stateFile) {
    char szLine[40];
    std::snprintf(szLine, sizeof(szLine), "connected pid=%08lx", ::GetCurrentProcessId());
    return PumpUntilStated(stateFile, szLine);
}

std::wstring RegisteredGraphEdit() {
    wchar_t sz[MAX_PATH] = L"";
    DWORD cb = sizeof(sz);
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Shared Tools\\Graphedit", L"Path", RRF_RT_REG_SZ,
                       nullptr, sz, &cb) != ERROR_SUCCESS)
        bench::Fail("showgraph", "GraphEdit's path is not registered");
    return sz;
}

// The graph of the file in a graph manager of its own, for the run that takes the steps singly.
fw::ComPtr<IGraphBuilder> LoadGraph(const std::wstring& path) {
    fw::ComPtr<IGraphBuilder> spGraph;
    HRESULT hr = spGraph.CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER);
    fw::ComQIPtr<IPersistStream> spPersist(spGraph);
    const DWORD dwMode = STGM_READ | STGM_SHARE_EXCLUSIVE;
    fw::ComPtr<IStorage> spStorage;
    if (SUCCEEDED(hr)) hr = ::StgOpenStorage(path.c_str(), nullptr, dwMode, nullptr, 0, &spStorage);
    fw::ComPtr<IStream> spStream;
    if (SUCCEEDED(hr)) hr = spStorage->OpenStream(L"ActiveMovieGraph", nullptr, dwMode, 0, &spStream);
    if (SUCCEEDED(hr)) hr = spPersist ? spPersist->Load(spStream) : E_NOINTERFACE;
    if (FAILED(hr)) bench::Fail("showgraph", "loading the graph failed, 0x%08X", unsigned(hr));
    return spGraph;
}

// The stages of ShowGraph and of what follows it, as the stage run times them.
enum Stage { stPublish, stLaunch, stMainWindow, stConnectDialog, stConfirmed, stConnected, stCount };
const char* const kStageNames[stCount] = {
    "registry + publication", "LoadGraphEdit (start + WaitForInputIdle)", "FindMainWindow",
    "PostConnectCommand + ConnectToGraph", "until GraphEdit confirms", "until GraphEdit has read the graph"};

class CShowGraphRuns {
public:
    CShowGraphRuns(const std::wstring& dir, const std::wstring& graphPath)
        : m_dir(dir), m_graphPath(graphPath), m_graphEdit(RegisteredGraphEdit()), m_spStageGraph(LoadGraph(graphPath)) {
        BuildGraph();
    }

    // ShowGraph's steps one at a time; the time of the whole is what the stages add up to.
    double RunStages() {
        const std::wstring stateFile = NextStateFile();
        CGraphEdit graphEdit;
        double rgus[stCount + 1];
        rgus[0] = bench::NowUs();
        wchar_t szProppage[MAX_PATH];
        DWORD dwCookie = 0;
        bool bDone = CGraphEdit::IsProppageRegistered(szProppage) &&
                     SUCCEEDED(CGraphEdit::AddToRot(m_spStageGraph, &dwCookie));
        rgus[1] = bench::NowUs();
        bDone = bDone && graphEdit.LoadGraphEdit(szProppage) == S_OK;
        rgus[2] = bench::NowUs();
        bDone = bDone && graphEdit.FindMainWindow();
        rgus[3] = bench::NowUs();
        graphEdit.PostConnectCommand();
        graphEdit.ConnectToGraph(m_spStageGraph);
        rgus[4] = bench::NowUs();
        bDone = bDone && PumpUntilStated(stateFile, "confirmed");
        rgus[5] = bench::NowUs();
        bDone = bDone && PumpUntilConnected(stateFile);
        rgus[6] = bench::NowUs();
        CGraphEdit::RemoveFromRot(dwCookie);
        graphEdit.Close();
        if (!bDone) bench::Fail("showgraph", "the single steps did not connect: %s", ReadFileText(stateFile).c_str());
        for (int i = 0; i < stCount; ++i) m_stages[i].Add(rgus[i + 1] - rgus[i]);
        return rgus[stCount] - rgus[0];
    }

    const bench::Samples& Returns() const { return m_returns; }
    // Forgets what the runs so far recorded beside their own timings (after a warm-up).
    void ForgetRecorded() {
        m_returns = bench::Samples();
        for (bench::Samples& stage : m_stages) stage = bench::Samples();
    }

    void ReportStages() const {
        for (int i = 0; i < stCount; ++i) {
            char sz[96];
            std::snprintf(sz, sizeof(sz), "%.1f ms  %s", m_stages[i].Median() / 1000, kStageNames[i]);
            bench::ReportInfo(("showgraph.stage" + std::to_string(i + 1)).c_str(), sz);
        }
    }

    double RunA() {
        const std::wstring stateFile = NextStateFile();
        HRESULT hr = S_OK;
        bool bConnected = false;
        const double usStart = bench::NowUs();
        hr = m_graph.ShowGraph();
        m_returns.Add(bench::NowUs() - usStart);
        bConnected = hr == S_OK && PumpUntilConnected(stateFile);
        const double us = bench::NowUs() - usStart;
        if (hr != S_OK) bench::Fail("showgraph", "CGraph::ShowGraph returned 0x%08X", unsigned(hr));
        if (!bConnected) bench::Fail("showgraph", "GraphEdit did not connect: %s", ReadFileText(stateFile).c_str());
        m_graph.Clear();  // GraphEdit receives WM_QUIT; the publication is revoked
        BuildGraph();
        return us;
    }

    double RunB() {
        NextStateFile();
        STARTUPINFOW rgSI = {};
        rgSI.cb = sizeof(rgSI);
        rgSI.dwFlags = STARTF_USESHOWWINDOW;
        rgSI.wShowWindow = SW_SHOWNORMAL;
        PROCESS_INFORMATION rgPI = {};
        DWORD dwWait = WAIT_FAILED;
        const double us = bench::Time([&] {
            if (::CreateProcessW(m_graphEdit.c_str(), nullptr, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                                 nullptr, &rgSI, &rgPI))
                dwWait = ::WaitForInputIdle(rgPI.hProcess, kConnectTimeoutMs);
        });
        if (!rgPI.hProcess) bench::Fail("showgraph", "starting graphedt.exe failed, error %lu", ::GetLastError());
        ::PostThreadMessageW(rgPI.dwThreadId, WM_QUIT, 0, 0);
        ::WaitForSingleObject(rgPI.hProcess, kQuitTimeoutMs);
        ::CloseHandle(rgPI.hThread);
        ::CloseHandle(rgPI.hProcess);
        if (dwWait != 0) bench::Fail("showgraph", "WaitForInputIdle returned %lu", dwWait);
        return us;
    }

private:
    void BuildGraph() {
        const HRESULT hr = m_graph.BuildGraph(m_graphPath.c_str());
        if (hr != S_OK) bench::Fail("showgraph", "CGraph::BuildGraph returned 0x%08X", unsigned(hr));
    }

    // Each started GraphEdit writes a state file of its own; it inherits this environment.
    std::wstring NextStateFile() {
        const std::wstring path = m_dir + L"\\state-" + std::to_wstring(++m_cRuns) + L".txt";
        ::SetEnvironmentVariableW(L"GRAPHEDT_STATE_FILE", path.c_str());
        return path;
    }

    std::wstring m_dir;
    std::wstring m_graphPath;
    std::wstring m_graphEdit;
    fw::ComPtr<IGraphBuilder> m_spStageGraph;
    CGraph m_graph;
    int m_cRuns = 0;
    bench::Samples m_stages[stCount];
    bench::Samples m_returns;  // A until CGraph::ShowGraph returned, before GraphEdit confirms
};

}  // namespace

int wmain() {
    if (::CoInitialize(nullptr) != S_OK) bench::Fail("showgraph", "CoInitialize failed");
    // A stand-in that outlives this process by accident ends by itself.
    ::SetEnvironmentVariableW(L"GRAPHEDT_LIFETIME_MS", L"60000");
    const std::wstring dir = bench::MakeTempDir(L"showgraph");
    const std::wstring graphPath = dir + L"\\show.grf";
    const HRESULT hr = bench::WriteGraphFile(graphPath, bench::MakeWriterGraph(2));
    if (FAILED(hr)) bench::Fail("showgraph", "writing the graph failed, 0x%08X", unsigned(hr));
    {
        CShowGraphRuns runs(dir, graphPath);
        const std::vector<bench::TimedRun> timedRuns = {
            [&runs] { return runs.RunA(); }, [&runs] { return runs.RunB(); }, [&runs] { return runs.RunStages(); }};
        for (const bench::TimedRun& run : timedRuns) run();  // warm-up
        runs.ForgetRecorded();
        const std::vector<bench::Samples> samples = bench::RunInterleaved(timedRuns, kRounds, 0);
        bench::ReportRatio("showgraph",
                           "CGraph::ShowGraph until GraphEdit reports the connection (2 filters, 1 connection)",
                           "CreateProcessW(graphedt.exe) + WaitForInputIdle", bench::Pair{samples[0], samples[1]},
                           kTargetRatio);
        bench::ReportRatio("showgraph.return", "CGraph::ShowGraph until it returns (GraphEdit not yet connected)",
                           "CreateProcessW(graphedt.exe) + WaitForInputIdle", bench::Pair{runs.Returns(), samples[1]},
                           kTargetRatio);
        bench::Note("the same steps taken singly: %.1f ms in all, median", samples[2].Median() / 1000);
        runs.ReportStages();
    }
    ::CoUninitialize();
    return 0;
}
