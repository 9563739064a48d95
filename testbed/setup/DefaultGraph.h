// The default graph of the test prefix: the Tavrel source into the Lathmere writer.
#pragma once

#include <objbase.h>

#include "GrfFormat.h"

namespace tbsetup {

// Where the writer of the default graph writes its output (inside the prefix's drive C:).
inline constexpr wchar_t kDefaultOutputFile[] = L"C:\\CVS\\Dev\\Filters\\MPEG-4\\Lathmere\\Output\\Tavrel-Lathmere.mp4";

grf::Graph MakeDefaultGraph();

// Writes the default graph as a .grf file at pszGraphPath, creating its folder and the
// folder of the writer's output file. Replaces a file that is already there.
HRESULT WriteDefaultGraph(const wchar_t* pszGraphPath);

}  // namespace tbsetup
