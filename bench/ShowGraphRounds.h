// The runs of the "Show graph" benchmark (ShowGraphBench.cpp says what each measures) and
// what each recorded, round by round.
#pragma once

#include <dshow.h>

#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ComPtr.h"
#include "Graph.h"
#include "GraphEditStamps.h"

namespace bench {

// One "Show graph", from the click until GraphEdit has read the graph.
struct ShowGraphRound {
    size_t nRound = 0;      // which round of the run (0: the first measured)
    double usClick = 0;     // CGraph::ShowGraph called (bench::NowUs)
    double usReturn = 0;    // CGraph::ShowGraph returned
    GraphEditStamps stamps;  // what GraphEdit did meanwhile
    GraphEditStamps shownBefore;  // the GraphEdit this click closed, if any
    double usCreateProcess = 0;  // CreateProcessW called for GraphEdit

    double WholeUs() const { return stamps.read - usClick; }
    // The platform's: from CreateProcessW until GraphEdit's wWinMain runs.
    double CreationUs() const { return stamps.start - usCreateProcess; }
    // The whole less GraphEdit's own work (the new one's, and the way out of the one closed)
    // and the platform's process creation. The platform's ending of the closed GraphEdit's
    // process stays in ours: nothing here can see when it is over.
    double OursUs() const { return WholeUs() - stamps.OwnUs() - shownBefore.ExitUs() - CreationUs(); }
};

class CShowGraphRuns {
public:
    CShowGraphRuns(const std::wstring& dir, const std::wstring& graphPath);

    // Each returns its microseconds (for RunInterleaved) and records what it saw.
    double RunAgain();
    double RunFirst();
    double RunCreation();
    double RunStages();

    // Forgets what the runs so far recorded (after a warm-up).
    void ForgetRecorded();

    const std::vector<ShowGraphRound>& Again() const { return m_again; }
    const std::vector<ShowGraphRound>& First() const { return m_first; }
    // "Show graph" clicks after which GraphEdit never read the graph (left out of the figures).
    int AgainFailures() const { return m_cAgainFailures; }
    int FirstFailures() const { return m_cFirstFailures; }
    const Samples& Closes() const { return m_closes; }
    const Samples& InputIdles() const { return m_inputIdles; }
    const Samples& Creations() const { return m_creations; }
    void ReportStages() const;

private:
    enum Stage { stPublish, stLaunch, stMainWindow, stConnectDialog, stConnected, stClose, stCount };

    bool ShowGraph(ShowGraphRound* pRound);
    void BuildGraph();
    std::wstring NextStateFile();

    std::wstring m_dir;
    std::wstring m_graphPath;
    std::wstring m_graphEdit;
    std::wstring m_stateFile;  // of the GraphEdit started last
    CGraph m_graph;
    fw::ComPtr<IGraphBuilder> m_spStageGraph;
    int m_cRuns = 0;
    std::vector<ShowGraphRound> m_again;
    std::vector<ShowGraphRound> m_first;
    size_t m_cAgainRuns = 0, m_cFirstRuns = 0;
    int m_cAgainFailures = 0, m_cFirstFailures = 0;
    Samples m_creations;
    Samples m_inputIdles;
    Samples m_closes;
    Samples m_stages[stCount];
};

}  // namespace bench
