// The filter graphs that other processes have published in the running object table, as the
// connection dialog lists them. Only entries named "!FilterGraph <8 hex> pid <8 hex>" count;
// graphs published under any other name are not listed, as in GraphEdit.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <string>
#include <vector>

#include "ComPtr.h"

namespace ge {

struct CPublishedGraph {
    fw::ComPtr<IMoniker> spMoniker;
    DWORD dwGraph = 0;      // the low 32 bits of the published graph pointer, from the entry name
    DWORD dwProcessId = 0;  // the publishing process, from the entry name
    std::wstring exeName;   // that process's executable file name, "?" when it cannot be found
};

// Reads "!FilterGraph <8 hex> pid <8 hex>" exactly; false for any other name.
bool ParseGraphEntryName(const wchar_t* pszDisplayName, DWORD& dwGraph, DWORD& dwProcessId);

// The list item text: "pid <8 hex> (<exe>) IFilterGraph = <8 hex>", at most 63 characters: an
// executable name longer than the 24 that fit is cut and ends in "...", so the graph number
// always ends the item. With a long prefix (a test switch) the text is left longer on purpose.
std::wstring FormatGraphItem(const CPublishedGraph& graph, bool bLongPrefix);

// Every published graph, in the running object table's order.
HRESULT ListPublishedGraphs(std::vector<CPublishedGraph>& graphs);

// Binds to the entry through the running object table and asks the object for IFilterGraph.
HRESULT BindToPublishedGraph(IMoniker* pMoniker, IFilterGraph** ppGraph);

}  // namespace ge
