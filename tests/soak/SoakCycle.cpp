#include "SoakCycle.h"

#include <cstdio>

#include "ProcessMeter.h"
#include "TestSupport.h"
#include "UiTest.h"
#include "WindowProbe.h"

namespace soak {
namespace {

const DWORD kStreamTimeoutMs = 5000;
const DWORD kSinkCloseTimeoutMs = 2000;
// GraphEdit binds to the published graph after "Show graph" has returned; the dialog's thread
// serves its calls meanwhile.
const DWORD kConnectTimeoutMs = 10000;
const DWORD kGraphEditEndTimeoutMs = 5000;

// Read with every sharing mode: GraphEdit may be appending to it.
std::string ReadSharedFile(const std::wstring& path) {
    HANDLE hFile = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) return std::string();
    std::string text;
    char buffer[4096];
    DWORD cbRead = 0;
    while (::ReadFile(hFile, buffer, sizeof(buffer), &cbRead, nullptr) && cbRead) text.append(buffer, cbRead);
    ::CloseHandle(hFile);
    return text;
}

LONGLONG FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

CycleOutcome SoakCycle::Run() {
    CycleOutcome outcome;
    if (!Build(outcome, "build")) return outcome;
    if (m_steps.bStream && !Stream(outcome)) return outcome;
    if (m_steps.bShowGraph) {
        ShowGraph(outcome);
        Build(outcome, "rebuild");
    }
    return outcome;
}

// Play, pause, play and stop, with the sink file checked after the first play and the stop.
bool SoakCycle::Stream(CycleOutcome& outcome) {
    if (!Press(ui::kPlay, outcome, "play")) return false;
    // The writer truncates its sink when the graph leaves the stopped state, so any byte in it
    // now came from this round's source.
    if (!WaitForSinkBytes()) {
        outcome.failure = "play: nothing reached the sink file";
        return false;
    }
    if (!Press(ui::kPause, outcome, "pause") || !Press(ui::kPlay, outcome, "play again") ||
        !Press(ui::kStop, outcome, "stop"))
        return false;
    // Nobody may hold the sink once the graph has stopped: the writer closes it on stop.
    if (!WaitForSinkClosed()) {
        outcome.failure = "stop: the sink file is still open";
        return false;
    }
    return true;
}

bool SoakCycle::Build(CycleOutcome& outcome, const char* pszStep) {
    m_app.SetText(ui::kFile, m_files.graph);
    return Press(ui::kBuildGraph, outcome, pszStep);
}

// Clicks the button and waits for its handler; a box means the step failed.
bool SoakCycle::Press(int nId, CycleOutcome& outcome, const char* pszStep) {
    m_app.Click(nId);
    std::string text;
    if (!m_app.Sync()) {
        outcome.failure = std::string(pszStep) + ": the dialog did not answer";
        return false;
    }
    if (TakeBox(outcome, &text)) {
        outcome.failure = std::string(pszStep) + ": box \"" + text + "\"";
        return false;
    }
    return true;
}

// Answers the box the program shows, if any; false when there is none.
bool SoakCycle::TakeBox(CycleOutcome& outcome, std::string* pText) {
    HWND hWndBox = m_app.OpenBox();
    if (!hWndBox) return false;
    ++outcome.cBoxes;
    *pText = test::Narrow(ui::ReadBox(hWndBox).text);
    for (char& c : *pText)
        if (c == '\r' || c == '\n') c = ' ';
    ui::PressOk(hWndBox);
    return true;
}

bool SoakCycle::WaitForSinkBytes() {
    return ui::WaitUntil([this] { return FileSize(m_files.sink) > 0; }, kStreamTimeoutMs);
}

// Opening it with no sharing at all succeeds only when no handle to it is open anywhere.
bool SoakCycle::WaitForSinkClosed() {
    return ui::WaitUntil([this] {
        HANDLE hFile = ::CreateFileW(m_files.sink.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (hFile == INVALID_HANDLE_VALUE) return false;
        ::CloseHandle(hFile);
        return true;
    }, kSinkCloseTimeoutMs);
}

// "Show graph" may fail in ways the program reports with a box (GraphEdit slow to become
// ready, say); that is answered and noted, not a broken round.
void SoakCycle::ShowGraph(CycleOutcome& outcome) {
    const size_t cbStateBefore = ReadSharedFile(m_files.stateFile).size();
    m_app.Click(ui::kShowGraph);
    std::string text;
    if (!m_app.Sync()) {
        outcome.failure = "show graph: the dialog did not answer";
        return;
    }
    if (TakeBox(outcome, &text)) {
        outcome.graphEditNote = "show graph: box \"" + text + "\"";
        // A GraphEdit that was not ready in time is left running, untracked, as the program
        // must leave it (the one shown before was ended before it started); a user closes it,
        // and so does the soak, so that the count after each round still shows any GraphEdit
        // the program fails to end.
        const int cEnded = EndGraphEditProcesses(kGraphEditEndTimeoutMs);
        if (cEnded > 0) outcome.graphEditNote += "; closed the " + std::to_string(cEnded) + " GraphEdit(s) left running";
        return;
    }
    char szConnected[40];
    std::snprintf(szConnected, sizeof(szConnected), "connected pid=%08lx", m_app.ProcessId());
    const bool bConnected = ui::WaitUntil([&] {
        return ReadSharedFile(m_files.stateFile).find(szConnected, cbStateBefore) != std::string::npos;
    }, kConnectTimeoutMs);
    if (!bConnected) outcome.graphEditNote = "show graph: GraphEdit did not connect to the graph";
}

}  // namespace soak
