// soak.exe <cycles> [no-stream] [no-show-graph]: one LathmereTest.exe driven through that many
// rounds of build, play, pause, play, stop, show graph and rebuild (less the steps left out), with what the program holds read from outside its
// process after every round. Fails when a round broke, when a resource grew between the
// baseline round (after the warm-up) and the last one by more than its tolerance, when private
// bytes grew on average by more than half a kilobyte a round after the first tenth of the run,
// or when a GraphEdit is still running once the program has ended. What the platform itself
// loses is measured first, in this process and by soak_remote.exe (PlatformLeaks.h), and
// allowed on top.
//
// The filters and graph managers inside the program cannot be counted from outside (the test
// bed's live-object counters answer only inside the process that loaded the DLLs). What stands
// for them: the program's thread count (every graph manager and running source owns threads,
// so a graph that is never released shows as threads that stay), the sink file, which must
// be free of every handle after each stop, and GraphEdit processes, of which at most the last
// one shown may still run.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "DialogDriver.h"
#include "GrfFile.h"
#include "GrfFormat.h"
#include "GrfText.h"
#include "PlatformDeadlock.h"
#include "PlatformLeaks.h"
#include "ProcessMeter.h"
#include "SoakCycle.h"
#include "TestSupport.h"
#include "WindowProbe.h"

namespace {

// Rounds before the baseline: the first builds and the first GraphEdit load code, fill caches
// and the heap, and are not growth.
const int kBaselineCycle = 5;
// Growth allowed from the baseline to the last round, per resource. Handles: +10 beyond what
// the platform itself loses over those rounds (measured first, see PlatformLeaks.h).
const long kHandleTolerance = 10;
const long kGdiTolerance = 5;
const long kUserTolerance = 5;
const long kWindowTolerance = 5;
// Private bytes: the average growth per round from the end of the first tenth of the run (the
// heap still settles there) to the last round. Over a short stretch the heap's own ups and
// downs are larger than that allowance; the stretch is always allowed that much.
const long long kPrivateBytesPerCycle = 512;
// The platform's own private-bytes growth per GraphEdit served is measured first (with this
// many clients) and allowed on top, in runs long enough for a per-cycle figure to mean much.
const int kRemoteClients = 200;
const int kRemoteCalibrationCycles = 100;
const long long kPrivateBytesNoise = 256 * 1024;
const size_t kFloorRounds = 10;
const long kThreadTolerance = 2;
const DWORD kMaxGraphEdits = 1;  // at any measurement
// A program that breaks this many cycles in a row has stopped answering (each further cycle
// would only wait out its time-outs): the run ends there.
const int kMaxBrokenInARow = 5;
// Once the program has ended, its last GraphEdit is given this long to end too.
const DWORD kGraphEditEndTimeoutMs = 5000;

struct Row {
    int nCycle = 0;
    soak::ResourceSample sample;
    DWORD dwMs = 0;
    soak::CycleOutcome outcome;
};

bool WriteGraph(const soak::CycleFiles& files) {
    std::string description = "filter 0001 \"Tavrel\" tavrel\n";
    description += "filter 0002 \"Lathmere writer\" writer sink \"" + test::Narrow(files.sink) + "\"\n";
    description += "connect 0001 \"Out\" 0002 \"In\" stream null 1 0 65536 none\n";
    description += "clock 0000\n";
    grf::Graph graph;
    std::string error;
    if (!grf::ParseDescription(description, graph, error)) {
        std::fprintf(stderr, "soak: bad graph description: %s\n", error.c_str());
        return false;
    }
    const HRESULT hr = grf::WriteGrfFile(files.graph.c_str(), grf::Write(graph));
    if (FAILED(hr)) std::fprintf(stderr, "soak: writing the graph failed, 0x%08lX\n", static_cast<unsigned long>(hr));
    return SUCCEEDED(hr);
}

void PrintHeader() {
    std::printf("%6s %8s %5s %5s %7s %10s %7s %8s %7s %5s  %s\n", "cycle", "handles", "gdi", "user", "windows",
                "private KB", "threads", "graphedt", "ms", "boxes", "notes");
}

void PrintRow(const Row& row) {
    const soak::ResourceSample& s = row.sample;
    std::string notes = row.outcome.failure;
    if (!row.outcome.graphEditNote.empty()) notes += (notes.empty() ? "" : "; ") + row.outcome.graphEditNote;
    const std::string gdi = s.bGuiCounted ? std::to_string(s.cGdiObjects) : "n/a";
    const std::string user = s.bGuiCounted ? std::to_string(s.cUserObjects) : "n/a";
    std::printf("%6d %8lu %5s %5s %7lu %10lu %7lu %8lu %7lu %5d  %s\n", row.nCycle, s.cHandles, gdi.c_str(),
                user.c_str(), s.cWindows, static_cast<unsigned long>(s.cbPrivate / 1024), s.cThreads, s.cGraphEdits,
                row.dwMs, row.outcome.cBoxes, notes.c_str());
    std::fflush(stdout);
}

// Where the figures come from, when the documented call did not answer on this system.
void PrintSources(const soak::ResourceSample& sample) {
    if (sample.bHandlesFromList)
        std::printf("handles: GetProcessHandleCount answers 0 here; counted by duplicating each handle value\n");
    if (sample.bPrivateFromPagefile)
        std::printf("private bytes: PrivateUsage reads 0 here; taken from PagefileUsage (the same commit charge)\n");
    if (!sample.bGuiCounted) std::printf("GDI/USER objects: GetGuiResources does not answer here; not counted\n");
    std::printf("\n");
}

// Every row while the figures settle, then about twenty more, the last and any with a note.
bool Printable(const Row& row, int cCycles) {
    const int nStep = cCycles <= 40 ? 1 : cCycles / 20;
    return row.nCycle <= kBaselineCycle + 1 || row.nCycle % nStep == 0 || row.nCycle == cCycles ||
           !row.outcome.failure.empty() || !row.outcome.graphEditNote.empty();
}

// The variable's value, removed from this process's environment; empty when it was not set.
std::wstring TakeVariable(const wchar_t* pszName) {
    wchar_t sz[64];
    const DWORD cch = ::GetEnvironmentVariableW(pszName, sz, 64);
    if (cch == 0 || cch >= 64) return std::wstring();
    ::SetEnvironmentVariableW(pszName, nullptr);
    return std::wstring(sz, cch);
}

// One line per resource: first, baseline and last value, the growth and its tolerance.
bool CheckGrowth(const char* pszName, long long first, long long base, long long last, long long tolerance,
                 const char* pszUnit) {
    const long long growth = last - base;
    const bool bOk = growth <= tolerance;
    std::printf("  %-16s first %10lld  baseline %10lld  last %10lld  growth %+8lld  tolerance +%lld %s  %s\n",
                pszName, first, base, last, growth, tolerance, pszUnit, bOk ? "ok" : "GREW");
    return bOk;
}

// The first round of the stretch over which private bytes are averaged: the first tenth warms up.
size_t PrivateBytesStart(const std::vector<Row>& rows) {
    const size_t n = std::max<size_t>(kBaselineCycle, rows.size() / 10);
    return std::min(n, rows.size()) - 1;
}

// What a round holds in private bytes, less its threads' stacks: Wine commits a thread's whole
// stack, and the platform's RPC runtime starts a thread now and then when calls overlap, more
// often the busier the machine. Threads are judged by their own count.
long long NetPrivate(const Row& row) {
    return static_cast<long long>(row.sample.cbPrivate) -
           static_cast<long long>(row.sample.cThreads) * soak::kThreadStackBytes;
}

// Net private bytes over a stretch of at most kFloorRounds rounds, as the lowest of them: a
// round that happens to catch a heap block about to go is not growth, and a leak raises the
// lowest value too. The stretch at the start begins at the first measured round (the warm-up
// before it is not compared), the one at the end ends at the last.
long long LowestNetPrivate(const std::vector<Row>& rows, size_t iFirst, size_t iEnd) {
    long long cb = NetPrivate(rows[iFirst]);
    for (size_t i = iFirst; i < iEnd; ++i) cb = std::min(cb, NetPrivate(rows[i]));
    return cb;
}

// The rounds after rows[iFrom] whose "Show graph" reached GraphEdit: a round that met a box
// served no GraphEdit and costs the platform nothing.
long long GraphEditsServed(const std::vector<Row>& rows, size_t iFrom) {
    return std::count_if(rows.begin() + iFrom + 1, rows.end(), [](const Row& row) {
        return row.outcome.failure.empty() && row.outcome.graphEditNote.empty();
    });
}

// cbPerGraphEdit: the platform's own growth per GraphEdit served, allowed on top.
bool CheckPrivateBytes(const std::vector<Row>& rows, double cbPerGraphEdit) {
    const size_t iFrom = PrivateBytesStart(rows);
    const Row& from = rows[iFrom];
    const Row& last = rows.back();
    const long long cCycles = last.nCycle - from.nCycle;
    const size_t cRows = rows.size();
    const long long cbFrom = LowestNetPrivate(rows, iFrom, std::min(cRows, iFrom + kFloorRounds));
    const long long cbLast = LowestNetPrivate(rows, cRows - std::min(cRows - iFrom, kFloorRounds), cRows);
    const long long growth = cbLast - cbFrom;
    const long long cServed = cbPerGraphEdit > 0 ? GraphEditsServed(rows, iFrom) : 0;
    const double cbAllowed = kPrivateBytesPerCycle * cCycles + cbPerGraphEdit * cServed;
    const long long tolerance = std::max(static_cast<long long>(cbAllowed), kPrivateBytesNoise);
    const bool bOk = growth <= tolerance;
    std::printf("  %-16s less thread stacks: cycle %d %lld KB, cycle %d %lld KB (each the lowest of %d rounds): "
                "growth %+lld KB (%+.2f KB a cycle)  tolerance +%lld KB (%.2f KB a cycle and %.2f KB for each of %lld "
                "GraphEdits served%s)  %s\n",
                "private bytes", from.nCycle, cbFrom / 1024, last.nCycle, cbLast / 1024, static_cast<int>(kFloorRounds),
                growth / 1024, cCycles > 0 ? growth / 1024.0 / cCycles : 0.0, tolerance / 1024,
                kPrivateBytesPerCycle / 1024.0, cbPerGraphEdit / 1024, cServed,
                static_cast<long long>(cbAllowed) < kPrivateBytesNoise ? "; a short run: +256 KB in all" : "",
                bOk ? "ok" : "GREW");
    return bOk;
}

// Waits for every graphedt.exe to end; false (with the number left) when some still run.
bool NoGraphEditLeft(DWORD* pcLeft) {
    ui::WaitUntil([pcLeft] { return soak::CountGraphEditProcesses(pcLeft) && *pcLeft == 0; },
                  kGraphEditEndTimeoutMs);
    return soak::CountGraphEditProcesses(pcLeft) && *pcLeft == 0;
}

// The handles the platform itself loses over that many rounds, rounded up. A round asks of it
// one graph manager for the build and, with "Show graph", one GraphEdit waited for and one
// more graph manager for the rebuild.
long long PlatformHandleAllowance(const soak::PlatformLeaks& leaks, const soak::CycleSteps& steps, int cCycles) {
    const int cGraphs = steps.bShowGraph ? 2 : 1, cInputIdleWaits = steps.bShowGraph ? 1 : 0;
    const double perCycle = cGraphs * leaks.perGraph + cInputIdleWaits * leaks.perInputIdle;
    return static_cast<long long>(perCycle * cCycles + 0.999);
}

bool Verdict(const std::vector<Row>& rows, const soak::PlatformLeaks& leaks, const soak::CycleSteps& steps) {
    const Row& first = rows.front();
    const Row& base = rows[rows.size() > static_cast<size_t>(kBaselineCycle) ? kBaselineCycle - 1 : 0];
    const Row& last = rows.back();
    std::printf("\nGrowth from baseline cycle %d to cycle %d:\n", base.nCycle, last.nCycle);
    const long long cPlatform = PlatformHandleAllowance(leaks, steps, last.nCycle - base.nCycle);
    if (cPlatform > 0)
        std::printf("  (handles: the platform's own loss over these cycles, %lld, is allowed on top)\n", cPlatform);
    bool bOk = CheckGrowth("handles", first.sample.cHandles, base.sample.cHandles, last.sample.cHandles,
                           kHandleTolerance + cPlatform, "");
    if (base.sample.bGuiCounted && last.sample.bGuiCounted) {
        bOk = CheckGrowth("GDI objects", first.sample.cGdiObjects, base.sample.cGdiObjects, last.sample.cGdiObjects,
                          kGdiTolerance, "") && bOk;
        bOk = CheckGrowth("USER objects", first.sample.cUserObjects, base.sample.cUserObjects,
                          last.sample.cUserObjects, kUserTolerance, "") && bOk;
    } else {
        std::printf("  %-16s not counted: GetGuiResources does not answer on this system\n", "GDI/USER objects");
    }
    bOk = CheckGrowth("windows", first.sample.cWindows, base.sample.cWindows, last.sample.cWindows,
                      kWindowTolerance, "") && bOk;
    const double cbPlatform = steps.bShowGraph ? leaks.cbPerRemoteClient : 0;
    if (cbPlatform > 0)
        std::printf("  (private bytes: the platform's own growth per GraphEdit served, %.2f KB, is allowed on top)\n",
                    cbPlatform / 1024);
    bOk = CheckPrivateBytes(rows, cbPlatform) && bOk;
    bOk = CheckGrowth("threads", first.sample.cThreads, base.sample.cThreads, last.sample.cThreads,
                      kThreadTolerance, "") && bOk;
    DWORD cMaxGraphEdits = 0;
    int cBroken = 0, cGraphEditNotes = 0;
    for (const Row& row : rows) {
        if (row.sample.cGraphEdits > cMaxGraphEdits) cMaxGraphEdits = row.sample.cGraphEdits;
        if (!row.outcome.failure.empty()) ++cBroken;
        if (!row.outcome.graphEditNote.empty()) ++cGraphEditNotes;
    }
    const bool bGraphEditsOk = cMaxGraphEdits <= kMaxGraphEdits;
    std::printf("  %-16s at most %lu running after any cycle (allowed %lu)  %s\n", "graphedt.exe", cMaxGraphEdits,
                kMaxGraphEdits, bGraphEditsOk ? "ok" : "TOO MANY");
    std::printf("  broken cycles %d, \"Show graph\" boxes or no connection %d\n", cBroken, cGraphEditNotes);
    return bOk && bGraphEditsOk && cBroken == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int cCycles = argc > 1 ? std::atoi(argv[1]) : 0;
    soak::CycleSteps steps;
    bool bUsage = cCycles < 1;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "no-stream") == 0) steps.bStream = false;
        else if (std::strcmp(argv[i], "no-show-graph") == 0) steps.bShowGraph = false;
        else bUsage = true;
    }
    if (bUsage) {
        std::fprintf(stderr, "usage: soak <cycles> [no-stream] [no-show-graph]\n");
        return 2;
    }
    ::CoInitialize(nullptr);
    // Before anything else starts GraphEdit: the calibration's instances write no state file.
    soak::PlatformLeaks leaks;
    std::string error;
    if (!soak::MeasurePlatformLeaks(&leaks, &error)) {
        std::fprintf(stderr, "soak: %s\n", error.c_str());
        return 1;
    }
    // The leak switch is for the program's graph manager only: soak_remote.exe, which measures
    // the platform alone, must not see it (its graph manager is the test bed's too).
    const std::wstring leakKb = TakeVariable(L"LT_SOAK_LEAK_KB");
    const std::wstring dir = test::MakeTempDir(L"soak");
    const soak::CycleFiles files = {dir + L"\\soak.grf", dir + L"\\sink.mp4", dir + L"\\graphedit-state.txt"};
    if (!WriteGraph(files)) return 1;
    if (steps.bShowGraph && cCycles >= kRemoteCalibrationCycles) {
        // Without the figure the verdict on private bytes would judge the platform's growth as
        // the program's: no verdict at all.
        if (!soak::MeasureRemoteClientGrowth(&leaks, files.graph, kRemoteClients, &error)) {
            std::printf("The platform's private-bytes growth per GraphEdit could not be measured: %s\nsoak: FAILED\n",
                        error.c_str());
            return 1;
        }
        std::printf("The platform's own private-bytes growth, measured here first with %d GraphEdit-like clients: "
                    "%.2f KB per client\n", kRemoteClients, leaks.cbPerRemoteClient / 1024);
    }
    // The program inherits this environment and hands it on to every GraphEdit it starts.
    ::SetEnvironmentVariableW(L"GRAPHEDT_STATE_FILE", files.stateFile.c_str());
    if (!leakKb.empty()) {
        ::SetEnvironmentVariableW(L"LT_SOAK_LEAK_KB", leakKb.c_str());
        std::printf("LT_SOAK_LEAK_KB=%s: the program's graph manager leaks that many KB on each \"Show graph\"\n",
                    test::Narrow(leakKb).c_str());
    }

    ui::DialogDriver app;
    if (!app.Start(&error)) {
        std::fprintf(stderr, "soak: %s\n", error.c_str());
        return 1;
    }
    HANDLE hProcess = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_DUP_HANDLE, FALSE, app.ProcessId());
    std::printf("soak: %d cycles of build%s%s; graph %s\n", cCycles, steps.bStream ? ", play, pause, play, stop" : "",
                steps.bShowGraph ? ", show graph, rebuild" : "", test::Narrow(files.graph).c_str());
    std::printf("Tolerances (baseline cycle %d to last): handles +%ld, GDI +%ld, USER +%ld, windows +%ld, "
                "threads +%ld, graphedt.exe at most %lu (none once the program ended); private bytes +%.1f KB a "
                "cycle on average from cycle %zu to the last\n",
                kBaselineCycle, kHandleTolerance, kGdiTolerance, kUserTolerance, kWindowTolerance, kThreadTolerance,
                kMaxGraphEdits, kPrivateBytesPerCycle / 1024.0, std::max<size_t>(kBaselineCycle, cCycles / 10));
    std::printf("The platform's own handle loss, measured here first: %.1f per graph manager, %.1f per "
                "WaitForInputIdle on GraphEdit\n", leaks.perGraph, leaks.perInputIdle);
    PrintSources(soak::Measure(hProcess, app.ProcessId()));
    PrintHeader();
    std::vector<Row> rows;
    bool bComplete = true;
    const DWORD dwStart = ::GetTickCount();
    int cBrokenInARow = 0;
    for (int i = 1; i <= cCycles && app.IsRunning(); ++i) {
        if (cBrokenInARow == kMaxBrokenInARow) {
            std::printf("the program stopped answering: %d broken cycles in a row, the run ends here\n", cBrokenInARow);
            if (soak::WaitsInRpcServerUnregisterIf(hProcess, ::GetWindowThreadProcessId(app.Dialog(), nullptr)))
                std::printf("platform deadlock: the dialog's thread waits in rpcrt4's RpcServerUnregisterIf "
                            "(PlatformDeadlock.h)\n");
            break;
        }
        Row row;
        row.nCycle = i;
        const DWORD dwCycleStart = ::GetTickCount();
        row.outcome = soak::SoakCycle(app, files, steps).Run();
        row.dwMs = ::GetTickCount() - dwCycleStart;
        bool bRead = true;
        row.sample = soak::Measure(hProcess, app.ProcessId(), &bRead);
        bComplete = bComplete && bRead;
        cBrokenInARow = row.outcome.failure.empty() ? 0 : cBrokenInARow + 1;
        rows.push_back(row);
        if (Printable(row, cCycles)) PrintRow(row);
    }
    const DWORD dwTotalMs = ::GetTickCount() - dwStart;
    std::printf("\n%zu cycles in %.1f s (%.0f ms a cycle)\n", rows.size(), dwTotalMs / 1000.0,
                rows.empty() ? 0.0 : static_cast<double>(dwTotalMs) / rows.size());
    if (!bComplete) std::printf("note: some figures could not be read on this system and read as 0\n");

    bool bOk = !rows.empty() && static_cast<int>(rows.size()) == cCycles;
    if (!bOk) std::printf("the program ended after %zu of %d cycles\n", rows.size(), cCycles);
    if (!rows.empty()) bOk = Verdict(rows, leaks, steps) && bOk;

    // Closed as a user closes it: after all those rounds it must still end cleanly.
    DWORD dwExitCode = 0xFFFFFFFF;
    if (app.IsRunning()) {
        app.PressCloseBox();
        const bool bEnded = app.WaitForExit(&dwExitCode);
        std::printf("  closing the program: %s, exit code %lu\n", bEnded ? "ended" : "DID NOT END", dwExitCode);
        bOk = bOk && bEnded && dwExitCode == 0;
    }
    DWORD cLeft = 0;
    const bool bNoneLeft = NoGraphEditLeft(&cLeft);
    std::printf("  graphedt.exe left %lu s after the program: %lu  %s\n", kGraphEditEndTimeoutMs / 1000, cLeft,
                bNoneLeft ? "ok" : "LEFT RUNNING");
    bOk = bOk && bNoneLeft;
    ::CloseHandle(hProcess);
    std::printf("soak: %s\n", bOk ? "PASSED" : "FAILED");
    if (bOk) {
        for (const std::wstring& path : {files.graph, files.sink, files.stateFile}) ::DeleteFileW(path.c_str());
        ::RemoveDirectoryW(dir.c_str());
    }
    ::CoUninitialize();
    return bOk ? 0 : 1;
}
