// Builds a parsed GRF stream into a live graph.
#pragma once

#include <dshow.h>

#include "GrfFormat.h"

namespace grfpersist {

// A filter id used twice makes connections ambiguous: VFW_E_INVALID_FILE_FORMAT,
// checked before anything is added to the graph.
HRESULT CheckGraph(const grf::Graph& graph);

// Adds the filters, makes the connections and sets the clock, in the stream's order.
// Stops at the first failure and returns its status; what was added before stays in the
// graph (the load failed half way). A connection or clock naming a filter id the stream
// does not hold, or a pin the filter does not have, fails with VFW_E_NOT_FOUND. When every
// step succeeds: the first success code other than S_OK that a step gave (AddFilter's
// VFW_S_DUPLICATE_NAME for a name already in the graph, say), else S_OK.
HRESULT BuildGraph(IFilterGraph* pGraph, const grf::Graph& graph);

}  // namespace grfpersist
