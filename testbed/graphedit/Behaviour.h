// How this GraphEdit stand-in behaves, read once from its environment at start-up. GraphEdit
// is started without arguments and inherits the environment of the program that starts it, so
// tests switch on the misbehaviours they need with environment variables.
#pragma once

#include <windows.h>

#include <string>

namespace ge {

struct CBehaviour {
    bool bNeverIdle = false;       // GRAPHEDT_NEVER_IDLE=1: never pumps messages, never ready for input
    bool bHidden = false;          // GRAPHEDT_HIDDEN=1: the main window is never shown
    DWORD dwShowAfterMs = 0;       // GRAPHEDT_SHOW_AFTER_MS=n: the main window is shown n ms after start
    bool bNoFrame = false;         // GRAPHEDT_NO_FRAME=1: the main window has no sizing frame
    bool bIgnoreQuit = false;      // GRAPHEDT_IGNORE_QUIT=1: WM_QUIT does not end the message loop
    bool bLongItems = false;       // GRAPHEDT_LONG_ITEMS=1: list items longer than 63 characters
    bool bEmptyList = false;       // GRAPHEDT_EMPTY_LIST=1: the connection dialog lists nothing
    DWORD dwSlowListMs = 0;        // GRAPHEDT_SLOW_LIST_MS=n: the list is filled n ms after the dialog opens
    bool bDuplicateItems = false;  // GRAPHEDT_DUPLICATE_ITEMS=1: every graph is listed twice
    DWORD dwLifetimeMs = INFINITE; // GRAPHEDT_LIFETIME_MS=n: the process ends by itself after n ms
    DWORD dwExitDelayMs = 0;       // GRAPHEDT_EXIT_DELAY_MS=n: after its message loop, n ms pass before it lets go
    // What it does with the graph it shows. By default it keeps the graph, and every filter and
    // pin it read, until its message loop has ended, and redraws from the live graph.
    bool bReleaseAtOnce = false;   // GRAPHEDT_RELEASE_AT_ONCE=1: reads the graph once and lets go at once
    DWORD dwRefreshMs = 1000;      // GRAPHEDT_REFRESH_MS=n: re-reads the graph every n ms (0: never)
    DWORD dwPollMs = 0;            // GRAPHEDT_POLL_MS=n: asks the graph's state and position every n ms
    DWORD dwStopAfterMs = 0;       // GRAPHEDT_STOP_AFTER_MS=n: stops the graph n ms after connecting
    DWORD dwCrashAfterMs = 0;      // GRAPHEDT_CRASH_AFTER_MS=n: ends n ms after connecting without letting go
    std::wstring stateFile;        // GRAPHEDT_STATE_FILE=path: what the stand-in did, one line per event

    static CBehaviour FromEnvironment();
    // Whether any switch that breaks GraphEdit's contract is on.
    bool Misbehaves() const;
};

}  // namespace ge
