// What a running program holds, read from outside its process: the figures the soak run
// watches for growth.
//
// Where the documented call does not answer, the figure comes from the next most direct
// source, and the sample says so: Wine's GetProcessHandleCount succeeds with 0 for every
// process, but the system process list (NtQuerySystemInformation) carries the handle count the
// server keeps; Wine leaves PrivateUsage at 0 but fills PagefileUsage, which Windows documents
// as the same figure (the commit charge); Wine's GetGuiResources fails with
// ERROR_CALL_NOT_IMPLEMENTED, and then GDI and USER objects are not counted at all. Windows,
// the USER objects a dialog program leaks most, are always counted by enumerating them.
#pragma once

#include <windows.h>

#include <cstddef>

namespace soak {

struct ResourceSample {
    DWORD cHandles = 0;       // kernel handles
    bool bHandlesFromList = false;  // taken from the system process list
    bool bGuiCounted = false;  // GetGuiResources answered
    DWORD cGdiObjects = 0;    // GetGuiResources(GR_GDIOBJECTS)
    DWORD cUserObjects = 0;   // GetGuiResources(GR_USEROBJECTS)
    DWORD cWindows = 0;       // windows of the process's threads, top-level and child
    SIZE_T cbPrivate = 0;     // PROCESS_MEMORY_COUNTERS_EX.PrivateUsage (or PagefileUsage)
    bool bPrivateFromPagefile = false;
    DWORD cThreads = 0;       // threads owned by the process (toolhelp)
    DWORD cGraphEdits = 0;    // graphedt.exe processes running anywhere in the prefix (toolhelp)
};

// hProcess needs PROCESS_QUERY_INFORMATION and PROCESS_VM_READ. A figure that cannot be read
// stays 0; pbComplete (when given) says whether every read that should work did.
ResourceSample Measure(HANDLE hProcess, DWORD dwProcessId, bool* pbComplete = nullptr);

}  // namespace soak
