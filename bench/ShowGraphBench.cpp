// "Show graph": the time our code adds to what GraphEdit itself takes.
//
// The whole, as a user sees it, runs from the click (CGraph::ShowGraph called) until GraphEdit
// has read the graph. The GraphEdit stand-in stamps its stages with the system-wide performance
// counter (GraphEditStamps.h), so the same run says how much of that whole is GraphEdit's own
// work: starting up (start to ready), listing the published graphs (command to listed), ending
// its dialog once our OK arrived (ok to bind), reading the graph (bind to read) and, on a second
// click, the way out of the GraphEdit shown before (WM_QUIT to the end of its wWinMain).
// Creating its process is the platform's: from the moment CreateProcessW is called
// (CreateProcessStamp.h) until its wWinMain runs. What remains is ours: posting WM_QUIT to the
// GraphEdit shown before, answering its releases and waiting for its process to end (the
// platform's share of that end cannot be seen from here and stays in ours), the registry and
// the publication, noticing that GraphEdit is ready, finding its window, posting the command,
// the passes and 10 ms sleeps until our graph is in its list, and confirming it.
//
// Three "Show graph" runs a round: clicked again while the GraphEdit of the last click still
// shows the graph (the main figure: it includes closing that one), the first click (nothing
// shown before; the close of the last GraphEdit, CGraph::Clear, is timed on its own before it),
// and the same steps taken one at a time through CGraphEdit's public operations, which says
// where our part goes. Meanwhile this thread pumps messages as the dialog's modal loop would,
// because GraphEdit's calls into the graph are served by it.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "GraphEditStamps.h"
#include "GrfFixtures.h"
#include "ShowGraphRounds.h"

namespace {

const double kTargetOursMs = 15;
const int kRounds = 11;

void ReportSpread(const char* pszId, const char* pszWhat, const bench::Samples& samples) {
    bench::ReportInfo(pszId, bench::Spread(samples) + "  " + pszWhat);
}

// The share of the whole that is ours, per round: "median % (min-max)".
std::string ShareSpread(const std::vector<bench::ShowGraphRound>& rounds) {
    bench::Samples shares;
    for (const bench::ShowGraphRound& round : rounds) shares.Add(round.OursUs() / round.WholeUs() * 100);
    char sz[64];
    std::snprintf(sz, sizeof(sz), "%.1f %% (%.1f-%.1f)", shares.Median(), shares.Min(), shares.Max());
    return sz;
}

// One "Show graph" case: our added time against the target, the whole, GraphEdit's own parts.
void ReportCase(const char* pszId, const char* pszCase, const std::vector<bench::ShowGraphRound>& rounds,
                int cFailures, bool bTarget) {
    if (rounds.empty()) bench::Fail(pszId, "GraphEdit read the graph after none of the clicks");
    bench::Samples ours, whole, own, startUp, listing, reading, creation;
    bench::Samples beforeStart, readyToCommand, listedToOk, okToBind, shownExit;
    for (const bench::ShowGraphRound& round : rounds) {
        const bench::GraphEditStamps& s = round.stamps;
        ours.Add(round.OursUs());
        whole.Add(round.WholeUs());
        own.Add(s.OwnUs());
        startUp.Add(s.ready - s.start);
        listing.Add(s.listed - s.command);
        reading.Add(s.read - s.bind);
        creation.Add(round.CreationUs());
        beforeStart.Add(round.usCreateProcess - round.usClick);
        readyToCommand.Add(s.command - s.ready);
        listedToOk.Add(s.ok - s.listed);
        okToBind.Add(s.bind - s.ok);
        shownExit.Add(round.shownBefore.ExitUs());
    }
    const std::string id(pszId);
    const std::string value = bench::Spread(ours) + ", " + ShareSpread(rounds) + " of the whole";
    std::printf("%s: %s\n", pszId, pszCase);
    if (cFailures != 0)
        bench::ReportInfo((id + ".failed").c_str(), std::to_string(cFailures) + " of " +
                                                        std::to_string(cFailures + rounds.size()) +
                                                        " clicks: GraphEdit never read the graph (left out)");
    if (bTarget) {
        char szTarget[32];
        std::snprintf(szTarget, sizeof(szTarget), "< %.0f ms", kTargetOursMs);
        bench::ReportFigure(pszId, value, szTarget, ours.Median() / 1000 < kTargetOursMs);
    } else {
        bench::ReportInfo(pszId, value);
    }
    ReportSpread((id + ".whole").c_str(), "click until GraphEdit has read the graph", whole);
    ReportSpread((id + ".graphedit").c_str(), "GraphEdit's own: start-up + listing + dialog's end + reading", own);
    ReportSpread((id + ".ge.startup").c_str(), "GraphEdit: wWinMain until its message loop", startUp);
    ReportSpread((id + ".ge.listing").c_str(), "GraphEdit: command until its list is filled", listing);
    ReportSpread((id + ".ge.okbind").c_str(), "GraphEdit: our OK until it binds (its dialog ending)", okToBind);
    ReportSpread((id + ".ge.reading").c_str(), "GraphEdit: bind until the graph is read", reading);
    if (shownExit.Max() > 0)
        ReportSpread((id + ".ge.exit").c_str(), "GraphEdit shown before: WM_QUIT until its wWinMain returns",
                     shownExit);
    ReportSpread((id + ".creation").c_str(), "platform: CreateProcessW until wWinMain", creation);
    ReportSpread((id + ".ours.before").c_str(),
                 "click until CreateProcessW (close, registry, publication; the closed GraphEdit's exit included)",
                 beforeStart);
    ReportSpread((id + ".ours.ready").c_str(), "ours: GraphEdit ready until it has the command", readyToCommand);
    ReportSpread((id + ".ours.listed").c_str(), "ours: list filled until GraphEdit has our OK", listedToOk);
}

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
        bench::CShowGraphRuns runs(dir, graphPath);
        const std::vector<bench::TimedRun> timedRuns = {[&runs] { return runs.RunAgain(); },
                                                        [&runs] { return runs.RunFirst(); },
                                                        [&runs] { return runs.RunCreation(); },
                                                        [&runs] { return runs.RunStages(); }};
        for (const bench::TimedRun& run : timedRuns) run();  // warm-up
        runs.ForgetRecorded();
        bench::RunInterleaved(timedRuns, kRounds, 0);
        ReportCase("showgraph", "Show graph clicked again, the last GraphEdit still showing the graph",
                   runs.Again(), runs.AgainFailures(), true);
        ReportCase("showgraph.first", "Show graph clicked first, no GraphEdit shown before", runs.First(), runs.FirstFailures(), false);
        ReportSpread("showgraph.close", "CGraph::Clear while GraphEdit shows the graph (its close)", runs.Closes());
        ReportSpread("showgraph.start", "platform: CreateProcessW until wWinMain (graphedt.exe alone)",
                     runs.Creations());
        ReportSpread("showgraph.idle", "platform: CreateProcessW + WaitForInputIdle on graphedt.exe",
                     runs.InputIdles());
        runs.ReportStages();
    }
    ::CoUninitialize();
    return 0;
}
