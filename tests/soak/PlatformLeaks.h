// Handles the platform itself loses, measured in this process before the soak starts, so that
// the soak's verdict on the program can allow for them and still catch anything beyond.
//
// Found under Wine 8 (each checked in a process of its own): every filter graph manager created
// and released leaves one Event handle behind inside quartz.dll, and every WaitForInputIdle
// call leaves the child's idle Event handle behind. The program builds two graphs and waits
// once for GraphEdit in each round, so Wine alone grows it by about three handles a round. And
// every process that binds to a published graph and reads it leaves about 4.4 KB of private
// bytes in the publishing process (COM's stubs for a client that is gone). On Windows these
// figures measure 0 and nothing is allowed.
#pragma once

#include <string>

namespace soak {

// What a new thread adds to private bytes under Wine, which commits a thread's whole stack (the
// platform's RPC runtime starts one per client connection now and then; seen as 1 MB steps).
constexpr long long kThreadStackBytes = 1024 * 1024;

struct PlatformLeaks {
    double perGraph = 0;      // handles left per graph manager created and released
    double perInputIdle = 0;  // handles left per GraphEdit started and waited for (WaitForInputIdle)
    // Private bytes left per GraphEdit whose reads of a published graph were served, measured
    // by soak_remote.exe; 0 when not measured.
    double cbPerRemoteClient = 0;
};

// Creates and releases graph managers (CLSID_FilterGraph, as registered) and starts the
// registered GraphEdit the way the program does, counting this process's handles around each
// batch. False (with the reason) when a step could not be taken.
bool MeasurePlatformLeaks(PlatformLeaks* pLeaks, std::string* pError);

// Private bytes: runs soak_remote.exe (beside this executable) with that many clients reading
// the graph of the file, a process that does only the platform's part of "Show graph", and
// takes its figure per client. False (with the reason, the figure left 0) when it failed or
// stopped making progress; when it stopped in Wine's COM deadlock (PlatformDeadlock.h) the
// reason says so on a line of its own that begins "platform deadlock:".
bool MeasureRemoteClientGrowth(PlatformLeaks* pLeaks, const std::wstring& graphPath, int cClients,
                               std::string* pError);

}  // namespace soak
