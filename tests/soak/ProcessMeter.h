// What a running program holds, read from outside its process: the figures the soak run
// watches for growth.
//
// Where the documented call does not answer, the figure comes from the next most direct
// source, and the sample says so: Wine's GetProcessHandleCount succeeds with 0 for every
// process, and its system process list (NtQuerySystemInformation) gives only the size of the
// process's handle table; then every handle value below that size is tried with
// DuplicateHandle, and those that duplicate are the open handles. Wine leaves PrivateUsage at 0 but fills PagefileUsage, which Windows documents
// as the same figure (the commit charge); Wine's GetGuiResources fails with
// ERROR_CALL_NOT_IMPLEMENTED, and then GDI and USER objects are not counted at all. Windows,
// the USER objects a dialog program leaks most, are always counted by enumerating them.
#pragma once

#include <windows.h>

#include <cstddef>

namespace soak {

struct ResourceSample {
    DWORD cHandles = 0;       // kernel handles
    bool bHandlesFromList = false;  // counted by duplication (see above)
    bool bGuiCounted = false;  // GetGuiResources answered
    DWORD cGdiObjects = 0;    // GetGuiResources(GR_GDIOBJECTS)
    DWORD cUserObjects = 0;   // GetGuiResources(GR_USEROBJECTS)
    DWORD cWindows = 0;       // windows of the process's threads, top-level and child
    SIZE_T cbPrivate = 0;     // PROCESS_MEMORY_COUNTERS_EX.PrivateUsage (or PagefileUsage)
    bool bPrivateFromPagefile = false;
    DWORD cThreads = 0;       // threads owned by the process (toolhelp)
    DWORD cGraphEdits = 0;    // graphedt.exe processes running anywhere in the prefix (toolhelp)
};

// The open kernel handles of a process, by the same means as Measure; 0 when they cannot be read.
DWORD CountHandles(HANDLE hProcess, DWORD dwProcessId);

// The graphedt.exe processes running anywhere in the prefix; false when they cannot be listed.
bool CountGraphEditProcesses(DWORD* pcProcesses);

// Ends every graphedt.exe running in the prefix as the program ends one (WM_QUIT), by force
// after dwTimeoutMs; the number there was.
int EndGraphEditProcesses(DWORD dwTimeoutMs);

// hProcess needs PROCESS_QUERY_INFORMATION, PROCESS_VM_READ and PROCESS_DUP_HANDLE. A figure that cannot be read
// stays 0; pbComplete (when given) says whether every read that should work did.
ResourceSample Measure(HANDLE hProcess, DWORD dwProcessId, bool* pbComplete = nullptr);

}  // namespace soak
