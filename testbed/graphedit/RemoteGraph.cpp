#include "RemoteGraph.h"

#include "ComPtr.h"

namespace ge {
namespace {

// The name of the filter that owns the pin, and the pin's own name and direction.
HRESULT ReadPinInfo(IPin* pPin, std::wstring& filterName, CPinModel& pin) {
    PIN_INFO rgPinInfo = {};
    HRESULT hr = pPin->QueryPinInfo(&rgPinInfo);
    if (FAILED(hr)) return hr;
    fw::ComPtr<IBaseFilter> spFilter;
    spFilter.Attach(rgPinInfo.pFilter);  // QueryPinInfo hands out a reference on the filter
    pin.name = rgPinInfo.achName;
    pin.eDirection = rgPinInfo.dir;
    filterName.clear();
    if (!spFilter) return S_OK;
    FILTER_INFO rgFilterInfo = {};
    hr = spFilter->QueryFilterInfo(&rgFilterInfo);
    if (FAILED(hr)) return hr;
    if (rgFilterInfo.pGraph) rgFilterInfo.pGraph->Release();
    filterName = rgFilterInfo.achName;
    return S_OK;
}

HRESULT ReadPin(IPin* pPin, CPinModel& pin) {
    std::wstring ownFilter;
    HRESULT hr = ReadPinInfo(pPin, ownFilter, pin);
    if (FAILED(hr)) return hr;
    fw::ComPtr<IPin> spPeer;
    if (pPin->ConnectedTo(&spPeer) != S_OK || !spPeer) return S_OK;  // VFW_E_NOT_CONNECTED: a free pin
    CPinModel peer;
    hr = ReadPinInfo(spPeer, pin.peerFilter, peer);
    if (FAILED(hr)) return hr;
    pin.peerPin = peer.name;
    return S_OK;
}

HRESULT ReadFilter(IBaseFilter* pFilter, CFilterModel& filter) {
    FILTER_INFO rgInfo = {};
    HRESULT hr = pFilter->QueryFilterInfo(&rgInfo);
    if (FAILED(hr)) return hr;
    if (rgInfo.pGraph) rgInfo.pGraph->Release();
    filter.name = rgInfo.achName;
    fw::ComPtr<IEnumPins> spPins;
    hr = pFilter->EnumPins(&spPins);
    if (FAILED(hr)) return hr;
    for (;;) {
        // The count is passed even for one item: the marshalled call refuses a null out-pointer.
        fw::ComPtr<IPin> spPin;
        ULONG cFetched = 0;
        hr = spPins->Next(1, &spPin, &cFetched);
        if (FAILED(hr)) return hr;
        if (hr != S_OK || cFetched != 1) break;
        CPinModel pin;
        hr = ReadPin(spPin, pin);
        if (FAILED(hr)) return hr;
        pin.spPin = std::move(spPin);
        filter.pins.push_back(std::move(pin));
    }
    return S_OK;
}

}  // namespace

size_t CGraphModel::ConnectionCount() const {
    size_t c = 0;
    for (const CFilterModel& filter : filters)
        for (const CPinModel& pin : filter.pins)
            if (pin.eDirection == PINDIR_OUTPUT && !pin.peerFilter.empty()) ++c;
    return c;
}

size_t CGraphModel::PinCount() const {
    size_t c = 0;
    for (const CFilterModel& filter : filters) c += filter.pins.size();
    return c;
}

void CGraphModel::ReleaseInterfaces() {
    for (CFilterModel& filter : filters) {
        for (CPinModel& pin : filter.pins) pin.spPin.Release();
        filter.spFilter.Release();
    }
}

HRESULT ReadGraph(IFilterGraph* pGraph, CGraphModel& model) {
    model.filters.clear();
    fw::ComPtr<IEnumFilters> spFilters;
    HRESULT hr = pGraph->EnumFilters(&spFilters);
    if (FAILED(hr)) return hr;
    for (;;) {
        fw::ComPtr<IBaseFilter> spFilter;
        ULONG cFetched = 0;
        hr = spFilters->Next(1, &spFilter, &cFetched);
        if (FAILED(hr)) return hr;
        if (hr != S_OK || cFetched != 1) break;
        CFilterModel filter;
        hr = ReadFilter(spFilter, filter);
        if (FAILED(hr)) return hr;
        filter.spFilter = std::move(spFilter);
        model.filters.push_back(std::move(filter));
    }
    return S_OK;
}

}  // namespace ge
