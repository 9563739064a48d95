#include "ShowGraphRounds.h"

#include <windows.h>

#include <cstdio>

#include "CreateProcessStamp.h"
#include "GrfFixtures.h"
#include "Helpers.h"

namespace bench {
namespace {

const DWORD kConnectTimeoutMs = 10000;
const DWORD kQuitTimeoutMs = 5000;

const char* const kStageNames[] = {
    "registry + publication", "LoadGraphEdit (start + WaitForInputIdle)", "FindMainWindow",
    "PostConnectCommand + ConnectToGraph", "until GraphEdit has read the graph", "Close, GraphEdit showing the graph"};

// Serves this thread's messages (and with them GraphEdit's calls into the graph) until the
// state file holds the text; false on a time-out.
bool PumpUntilStated(const std::wstring& stateFile, const std::string& text, DWORD dwTimeoutMs) {
    const DWORD dwStart = ::GetTickCount();
    while (ReadStateFile(stateFile).find(text) == std::string::npos) {
        if (::GetTickCount() - dwStart > dwTimeoutMs) return false;
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
    return PumpUntilStated(stateFile, szLine, kConnectTimeoutMs);
}

// A GraphEdit asked to quit lets go of the graph on its way out, with calls served here: they
// are served (untimed) before the next run, so that no run pays for an earlier one's exit.
void PumpUntilReleased(const std::wstring& stateFile) {
    PumpUntilStated(stateFile, "stamp released", kQuitTimeoutMs);
}

// The stand-in's account of what it did goes to stderr; the reason to the report line.
[[noreturn]] void FailWithState(const char* pszWhat, const std::wstring& stateFile) {
    std::fprintf(stderr, "GraphEdit's state file:\n%s\n", ReadStateFile(stateFile).c_str());
    Fail("showgraph", "%s (its state file is on stderr)", pszWhat);
}

std::wstring RegisteredGraphEdit() {
    wchar_t sz[MAX_PATH] = L"";
    DWORD cb = sizeof(sz);
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Shared Tools\\Graphedit", L"Path", RRF_RT_REG_SZ,
                       nullptr, sz, &cb) != ERROR_SUCCESS)
        Fail("showgraph", "GraphEdit's path is not registered");
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
    if (FAILED(hr)) Fail("showgraph", "loading the graph failed, 0x%08X", unsigned(hr));
    return spGraph;
}

}  // namespace

CShowGraphRuns::CShowGraphRuns(const std::wstring& dir, const std::wstring& graphPath)
    : m_dir(dir), m_graphPath(graphPath), m_graphEdit(RegisteredGraphEdit()), m_spStageGraph(LoadGraph(graphPath)) {
    if (!StampCreateProcess()) Fail("showgraph", "this executable's import of CreateProcessW was not found");
    BuildGraph();
}

// CGraph::ShowGraph until GraphEdit has read the graph, with the stamps of that GraphEdit; false
// (with GraphEdit's account on stderr) when it never read it.
bool CShowGraphRuns::ShowGraph(ShowGraphRound* pRound) {
    m_stateFile = NextStateFile();
    pRound->usClick = NowUs();
    const HRESULT hr = m_graph.ShowGraph();
    pRound->usReturn = NowUs();
    if (hr != S_OK) Fail("showgraph", "CGraph::ShowGraph returned 0x%08X", unsigned(hr));
    if (PumpUntilConnected(m_stateFile) && ParseStamps(ReadStateFile(m_stateFile), &pRound->stamps) &&
        pRound->stamps.Complete()) {
        pRound->usCreateProcess = LastCreateProcessUs();
        if (pRound->usCreateProcess < pRound->usClick) Fail("showgraph", "CreateProcessW was not seen");
        return true;
    }
    std::fprintf(stderr, "GraphEdit did not read the graph; its state file:\n%s\n", ReadStateFile(m_stateFile).c_str());
    return false;
}

// Clicked again: the GraphEdit of the last click still shows the graph, and goes first.
double CShowGraphRuns::RunAgain() {
    ShowGraphRound round;
    round.nRound = m_cAgainRuns++;
    const std::wstring shownStateFile = m_stateFile;
    if (!ShowGraph(&round)) return ++m_cAgainFailures, 0;
    ParseStamps(ReadStateFile(shownStateFile), &round.shownBefore);
    m_again.push_back(round);
    return round.WholeUs();
}

// Clicked first: the graph is built afresh, nothing shown. The close of the GraphEdit shown
// before is timed on its own.
double CShowGraphRuns::RunFirst() {
    const double usClose = Time([this] { m_graph.Clear(); });
    m_closes.Add(usClose);
    PumpUntilReleased(m_stateFile);
    BuildGraph();
    ShowGraphRound round;
    round.nRound = m_cFirstRuns++;
    if (!ShowGraph(&round)) return ++m_cFirstFailures, 0;
    m_first.push_back(round);
    return round.WholeUs();
}

// The platform's part: graphedt.exe started as CGraphEdit starts it (registry path, no
// arguments, SW_SHOWNORMAL) until its wWinMain runs; and until WaitForInputIdle returns.
double CShowGraphRuns::RunCreation() {
    const std::wstring stateFile = NextStateFile();
    STARTUPINFOW rgSI = {};
    rgSI.cb = sizeof(rgSI);
    rgSI.dwFlags = STARTF_USESHOWWINDOW;
    rgSI.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION rgPI = {};
    const double usCall = NowUs();
    if (!::CreateProcessW(m_graphEdit.c_str(), nullptr, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                          nullptr, &rgSI, &rgPI))
        Fail("showgraph", "starting graphedt.exe failed, error %lu", ::GetLastError());
    const DWORD dwWait = ::WaitForInputIdle(rgPI.hProcess, kConnectTimeoutMs);
    const double usIdle = NowUs() - usCall;
    ::PostThreadMessageW(rgPI.dwThreadId, WM_QUIT, 0, 0);
    ::WaitForSingleObject(rgPI.hProcess, kQuitTimeoutMs);
    ::CloseHandle(rgPI.hThread);
    ::CloseHandle(rgPI.hProcess);
    GraphEditStamps stamps;
    if (dwWait != 0) Fail("showgraph", "WaitForInputIdle returned %lu", dwWait);
    if (!ParseStamps(ReadStateFile(stateFile), &stamps) || stamps.start == 0)
        Fail("showgraph", "graphedt.exe stamped no start");
    m_inputIdles.Add(usIdle);
    m_creations.Add(stamps.start - usCall);
    return stamps.start - usCall;
}

// ShowGraph's steps one at a time on a graph of its own, then the close of that GraphEdit.
double CShowGraphRuns::RunStages() {
    const std::wstring stateFile = NextStateFile();
    CGraphEdit graphEdit;
    double rgus[stCount + 1];
    rgus[0] = NowUs();
    wchar_t szProppage[MAX_PATH];
    DWORD dwCookie = 0;
    bool bDone = CGraphEdit::IsProppageRegistered(szProppage) &&
                 SUCCEEDED(CGraphEdit::AddToRot(m_spStageGraph, &dwCookie));
    rgus[1] = NowUs();
    bDone = bDone && graphEdit.LoadGraphEdit(szProppage) == S_OK;
    rgus[2] = NowUs();
    bDone = bDone && graphEdit.FindMainWindow();
    rgus[3] = NowUs();
    graphEdit.PostConnectCommand();
    graphEdit.ConnectToGraph(m_spStageGraph);
    rgus[4] = NowUs();
    bDone = bDone && PumpUntilStated(stateFile, "stamp read", kConnectTimeoutMs);
    rgus[5] = NowUs();
    CGraphEdit::RemoveFromRot(dwCookie);
    graphEdit.Close();
    rgus[6] = NowUs();
    PumpUntilReleased(stateFile);
    if (!bDone) FailWithState("the single steps did not connect", stateFile);
    for (int i = 0; i < stCount; ++i) m_stages[i].Add(rgus[i + 1] - rgus[i]);
    return rgus[stCount] - rgus[0];
}

void CShowGraphRuns::ForgetRecorded() {
    m_again.clear();
    m_first.clear();
    m_cAgainRuns = m_cFirstRuns = 0;
    m_cAgainFailures = m_cFirstFailures = 0;
    m_creations = m_inputIdles = m_closes = Samples();
    for (Samples& stage : m_stages) stage = Samples();
}

void CShowGraphRuns::ReportStages() const {
    for (int i = 0; i < stCount; ++i)
        ReportInfo(("showgraph.stage" + std::to_string(i + 1)).c_str(),
                   Spread(m_stages[i]) + "  " + kStageNames[i]);
}

void CShowGraphRuns::BuildGraph() {
    const HRESULT hr = m_graph.BuildGraph(m_graphPath.c_str());
    if (hr != S_OK) Fail("showgraph", "CGraph::BuildGraph returned 0x%08X", unsigned(hr));
}

// Each started GraphEdit writes a state file of its own; it inherits this environment.
std::wstring CShowGraphRuns::NextStateFile() {
    const std::wstring path = m_dir + L"\\state-" + std::to_wstring(++m_cRuns) + L".txt";
    ::SetEnvironmentVariableW(L"GRAPHEDT_STATE_FILE", path.c_str());
    return path;
}

}  // namespace bench
