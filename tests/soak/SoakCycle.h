// One round of what a user does most with the program: build the graph, play, pause, play,
// stop, show the graph in GraphEdit, build it again. Every step goes through the dialog of the
// running LathmereTest.exe, as clicks posted to it; what came of each step is read back from
// outside (message boxes, the sink file, GraphEdit's state file).
#pragma once

#include <string>

#include "DialogDriver.h"

namespace soak {

struct CycleFiles {
    std::wstring graph;      // the .grf the dialog builds
    std::wstring sink;       // the writer's sink file named in it
    std::wstring stateFile;  // where every GraphEdit started by the program appends its state
};

// The steps a round takes besides building: leaving one out shows what the growth of a run
// without it owes to that step.
struct CycleSteps {
    bool bStream = true;     // play, pause, play, stop
    bool bShowGraph = true;  // show graph, rebuild
};

// What went wrong in one round; empty texts when nothing did.
struct CycleOutcome {
    std::string failure;      // a step that broke: the round cannot be trusted
    std::string graphEditNote;  // "Show graph" answered with a box, or GraphEdit never connected
    int cBoxes = 0;           // message boxes answered in the round
};

class SoakCycle {
public:
    SoakCycle(ui::DialogDriver& app, const CycleFiles& files, const CycleSteps& steps)
        : m_app(app), m_files(files), m_steps(steps) {}
    CycleOutcome Run();

private:
    bool Build(CycleOutcome& outcome, const char* pszStep);
    bool Stream(CycleOutcome& outcome);
    bool Press(int nId, CycleOutcome& outcome, const char* pszStep);
    bool TakeBox(CycleOutcome& outcome, std::string* pText);
    bool WaitForSinkBytes();
    bool WaitForSinkClosed();
    void ShowGraph(CycleOutcome& outcome);

    ui::DialogDriver& m_app;
    CycleFiles m_files;
    CycleSteps m_steps;
};

}  // namespace soak
