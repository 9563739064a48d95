// A filter graph read through its interfaces: the filters with their names, their pins and
// what each pin is connected to. Like GraphEdit's boxes, the model keeps the filters and pins
// it read (proxies into the publishing process) until it is cleared or their interfaces are
// let go.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <string>
#include <vector>

#include "ComPtr.h"

namespace ge {

struct CPinModel {
    std::wstring name;
    PIN_DIRECTION eDirection = PINDIR_INPUT;
    std::wstring peerFilter;  // empty when the pin is not connected
    std::wstring peerPin;
    fw::ComPtr<IPin> spPin;
};

struct CFilterModel {
    std::wstring name;
    std::vector<CPinModel> pins;
    fw::ComPtr<IBaseFilter> spFilter;
};

struct CGraphModel {
    std::vector<CFilterModel> filters;
    // Output pins that are connected, each counted once.
    size_t ConnectionCount() const;
    size_t PinCount() const;
    // Lets go of every filter and pin; names and connections stay for drawing.
    void ReleaseInterfaces();
};

// Reads the graph through EnumFilters, QueryFilterInfo, EnumPins, QueryPinInfo and ConnectedTo.
// These work the same on a local graph and on a proxy to a graph in another process.
HRESULT ReadGraph(IFilterGraph* pGraph, CGraphModel& model);

}  // namespace ge
