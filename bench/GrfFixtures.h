// The graphs the benchmarks build: writer stand-ins fed by source stand-ins, as .grf files.
#pragma once

#include <windows.h>

#include <string>

#include "GrfFormat.h"

namespace bench {

// Sources a writer takes at most in these graphs (the writer stand-in has up to 16 inputs).
constexpr int kSourcesPerWriter = 15;

// A graph of exactly cFilters filters (cFilters >= 1) in groups of one writer and up to 15
// sources, each source connected to its own input of the group's writer ("Out" -> "In",
// "In 2", ...). Every filter carries configuration data, so loading it is part of the work.
// A graph of one filter is a lone writer. Filter ids count from 1 in stream order.
grf::Graph MakeWriterGraph(int cFilters);

// Writes the graph as a .grf compound file; the status of the write.
HRESULT WriteGraphFile(const std::wstring& path, const grf::Graph& graph);

}  // namespace bench
