// Misbehaviours and observations of the graph manager for tests, read from the creating
// process's environment each time an object is made (the variables: PersistentGraph.cpp).
#pragma once

#include <windows.h>

#include <string>

namespace grfpersist {

struct TestSwitches {
    HRESULT hrCreate = S_OK;          // GRFPERSIST_CREATE_HR
    bool bHidePersistStream = false;  // GRFPERSIST_HIDE names IPersistStream
    bool bHideMediaEventEx = false;   // GRFPERSIST_HIDE names IMediaEventEx
    bool bOverridePositions = false;  // GRFPERSIST_POSITION_HR is set
    HRESULT hrPositions = S_OK;       // its value
    std::wstring journal;             // GRFPERSIST_JOURNAL (empty: none)
    bool bUnpinned = false;           // GRFPERSIST_UNPINNED=1
    unsigned cLeakKbPerHandOut = 0;   // LT_SOAK_LEAK_KB
};

// E_INVALIDARG for a value that does not parse (an unknown interface name, say): a test that
// misspells a switch fails at once instead of running without it.
HRESULT ReadTestSwitches(TestSwitches* pSwitches);

// Appends one line to the journal file, opened and closed at once so that the writer
// stand-in's lines, appended to the same file, interleave in the order things happened.
void AppendJournalLine(const std::wstring& path, const char* pszLine);

}  // namespace grfpersist
