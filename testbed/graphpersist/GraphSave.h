// Describes a live graph as GRF stream data.
#pragma once

#include <dshow.h>

#include "GrfFormat.h"

namespace grfpersist {

// Filters get ids 0001, 0002, ... in the graph's enumeration order; connections are
// listed upstream first, so that a loader connecting them in order meets each filter's
// inputs before its outputs. fClearDirty is passed on to each filter's IPersistStream::Save.
HRESULT DescribeGraph(IFilterGraph* pGraph, BOOL fClearDirty, grf::Graph& graph);

}  // namespace grfpersist
