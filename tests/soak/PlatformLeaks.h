// Handles the platform itself loses, measured in this process before the soak starts, so that
// the soak's verdict on the program can allow for them and still catch anything beyond.
//
// Found under Wine 8 (each checked in a process of its own): every filter graph manager created
// and released leaves one Event handle behind inside quartz.dll, and every WaitForInputIdle
// call leaves the child's idle Event handle behind. The program builds two graphs and waits
// once for GraphEdit in each round, so Wine alone grows it by about three handles a round. On
// Windows both figures measure 0 and nothing is allowed.
#pragma once

#include <string>

namespace soak {

struct PlatformLeaks {
    double perGraph = 0;      // handles left per graph manager created and released
    double perInputIdle = 0;  // handles left per GraphEdit started and waited for (WaitForInputIdle)
};

// Creates and releases graph managers (CLSID_FilterGraph, as registered) and starts the
// registered GraphEdit the way the program does, counting this process's handles around each
// batch. False (with the reason) when a step could not be taken.
bool MeasurePlatformLeaks(PlatformLeaks* pLeaks, std::string* pError);

}  // namespace soak
