// A snapshot of a filter graph read through its interfaces: the filters with their names, their
// pins and what each pin is connected to. Read once when GraphEdit connects; every interface
// is released again right after, so GraphEdit keeps no reference on the other process's graph.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <string>
#include <vector>

namespace ge {

struct CPinModel {
    std::wstring name;
    PIN_DIRECTION eDirection = PINDIR_INPUT;
    std::wstring peerFilter;  // empty when the pin is not connected
    std::wstring peerPin;
};

struct CFilterModel {
    std::wstring name;
    std::vector<CPinModel> pins;
};

struct CGraphModel {
    std::vector<CFilterModel> filters;
    // Output pins that are connected, each counted once.
    size_t ConnectionCount() const;
};

// Reads the graph through EnumFilters, QueryFilterInfo, EnumPins, QueryPinInfo and ConnectedTo.
// These work the same on a local graph and on a proxy to a graph in another process.
HRESULT ReadGraph(IFilterGraph* pGraph, CGraphModel& model);

}  // namespace ge
