// Misbehaviours of the graph manager for tests, read from the creating process's environment
// each time an object is made (the variables are listed in PersistentGraph.cpp).
#pragma once

#include <windows.h>

namespace grfpersist {

struct TestSwitches {
    HRESULT hrCreate = S_OK;          // GRFPERSIST_CREATE_HR
    bool bHidePersistStream = false;  // GRFPERSIST_HIDE names IPersistStream
    bool bHideMediaEventEx = false;   // GRFPERSIST_HIDE names IMediaEventEx
};

// E_INVALIDARG for a value that does not parse (an unknown interface name, say): a test that
// misspells a switch fails at once instead of running without it.
HRESULT ReadTestSwitches(TestSwitches* pSwitches);

}  // namespace grfpersist
