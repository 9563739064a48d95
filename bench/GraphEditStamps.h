// What the GraphEdit stand-in's state file says about when it did what: its "stamp <stage>
// <counter>" lines, raw performance counter values, which are system-wide and so on the same
// clock as bench::NowUs in this process.
#pragma once

#include <string>

namespace bench {

// Microseconds on bench::NowUs's clock; 0 for a stage the file does not (yet) hold.
struct GraphEditStamps {
    double start = 0;    // wWinMain entered
    double ready = 0;    // its message loop about to start
    double command = 0;  // the connect command received
    double listed = 0;   // the connection dialog's list filled
    double ok = 0;       // the dialog confirmed
    double bind = 0;     // binding to the chosen graph starts
    double read = 0;     // the graph read
    double quit = 0;     // WM_QUIT taken from its queue
    double exit = 0;     // its wWinMain about to return (graph released, windows gone)

    // Its own work on the way to showing a graph: starting up, listing, ending its dialog once
    // our OK arrived, and reading.
    double OwnUs() const { return (ready - start) + (listed - command) + (bind - ok) + (read - bind); }
    // Its own way out: from WM_QUIT until wWinMain returns; 0 when the file has not both stamps.
    double ExitUs() const { return quit != 0 && exit != 0 ? exit - quit : 0; }
    bool Complete() const;
};

// The whole file as text ("" when it cannot be read).
std::string ReadStateFile(const std::wstring& path);
// The stamps of the file; false when it has no "stamp-frequency" line.
bool ParseStamps(const std::string& text, GraphEditStamps* pStamps);

}  // namespace bench
