#include "GraphSave.h"

#include <algorithm>

#include "ComPtr.h"
#include "GrfTypes.h"

namespace grfpersist {
namespace {

// Both the enumerated filters and the peers of pins are compared by COM identity.
struct SavedFilter {
    fw::ComPtr<IUnknown> spIdentity;
    fw::ComPtr<IBaseFilter> spFilter;
    uint32_t id = 0;
};

fw::ComPtr<IUnknown> Identity(IUnknown* p) {
    fw::ComPtr<IUnknown> spIdentity;
    if (p) p->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&spIdentity));
    return spIdentity;
}

const SavedFilter* FindSaved(const std::vector<SavedFilter>& saved, IUnknown* p) {
    fw::ComPtr<IUnknown> spIdentity = Identity(p);
    for (const SavedFilter& filter : saved)
        if (filter.spIdentity.Get() == spIdentity.Get()) return &filter;
    return nullptr;
}

HRESULT ListFilters(IFilterGraph* pGraph, std::vector<SavedFilter>& saved) {
    fw::ComPtr<IEnumFilters> spEnum;
    HRESULT hr = pGraph->EnumFilters(&spEnum);
    if (FAILED(hr)) return hr;
    for (;;) {
        fw::ComPtr<IBaseFilter> spFilter;
        hr = spEnum->Next(1, &spFilter, nullptr);
        if (hr != S_OK) return SUCCEEDED(hr) ? S_OK : hr;
        SavedFilter filter;
        filter.spIdentity = Identity(spFilter);
        filter.spFilter = spFilter;
        filter.id = static_cast<uint32_t>(saved.size() + 1);
        saved.push_back(filter);
    }
}

HRESULT SaveFilterData(IBaseFilter* pFilter, BOOL fClearDirty, std::vector<uint8_t>& data) {
    fw::ComQIPtr<IPersistStream> spPersist(pFilter);
    if (!spPersist) return S_OK;  // nothing to save: an empty data block
    fw::ComPtr<IStream> spStream;
    HRESULT hr = ::CreateStreamOnHGlobal(nullptr, TRUE, &spStream);
    if (FAILED(hr)) return hr;
    hr = spPersist->Save(spStream, fClearDirty);
    if (FAILED(hr)) return hr;
    // The data ends where the filter stopped writing, whatever the memory block's size.
    ULARGE_INTEGER uliEnd = {};
    LARGE_INTEGER liZero = {};
    hr = spStream->Seek(liZero, STREAM_SEEK_CUR, &uliEnd);
    if (FAILED(hr)) return hr;
    HGLOBAL hGlobal = nullptr;
    hr = ::GetHGlobalFromStream(spStream, &hGlobal);
    if (FAILED(hr)) return hr;
    const uint8_t* pb = static_cast<const uint8_t*>(::GlobalLock(hGlobal));
    if (!pb && uliEnd.QuadPart) return E_OUTOFMEMORY;
    data.assign(pb, pb + uliEnd.QuadPart);
    ::GlobalUnlock(hGlobal);
    return S_OK;
}

// Reads the file of a source or sink filter. A source without a file (a null name, or a
// refusal because none was opened) is written SOURCE "(null)", as GraphEdit writes it; a
// sink without a file gets no SINK record.
template <class TFileFilter>
bool ReadCurFile(TFileFilter* pFileFilter, std::u16string& fileName) {
    LPOLESTR pszName = nullptr;
    AM_MEDIA_TYPE rgmt = {};
    if (FAILED(pFileFilter->GetCurFile(&pszName, &rgmt))) return false;
    bool bHasName = pszName != nullptr;
    if (bHasName) fileName = FromWide(pszName);
    ::CoTaskMemFree(pszName);
    FreeMediaTypeContents(rgmt);
    return bHasName;
}

void SaveFileName(IBaseFilter* pFilter, grf::Filter& filter) {
    if (fw::ComQIPtr<IFileSourceFilter> spSource(pFilter); spSource) {
        filter.fileKind = grf::FileKind::Source;
        if (!ReadCurFile(spSource.Get(), filter.fileName)) filter.fileName = kNoFileName;
    } else if (fw::ComQIPtr<IFileSinkFilter> spSink(pFilter); spSink) {
        if (ReadCurFile(spSink.Get(), filter.fileName)) filter.fileKind = grf::FileKind::Sink;
    }
}

HRESULT SaveFilter(const SavedFilter& saved, BOOL fClearDirty, grf::Filter& filter) {
    filter.id = saved.id;
    FILTER_INFO rgInfo = {};
    HRESULT hr = saved.spFilter->QueryFilterInfo(&rgInfo);
    if (FAILED(hr)) return hr;
    if (rgInfo.pGraph) rgInfo.pGraph->Release();
    filter.name = FromWide(rgInfo.achName);
    CLSID clsid = GUID_NULL;
    hr = saved.spFilter->GetClassID(&clsid);
    if (FAILED(hr)) return hr;
    filter.clsid = FromGuid(clsid);
    SaveFileName(saved.spFilter, filter);
    return SaveFilterData(saved.spFilter, fClearDirty, filter.data);
}

HRESULT SavePinConnection(const std::vector<SavedFilter>& saved, uint32_t outId, IPin* pOut,
                          std::vector<grf::Connection>& connections) {
    PIN_DIRECTION eDirection = PINDIR_INPUT;
    if (FAILED(pOut->QueryDirection(&eDirection)) || eDirection != PINDIR_OUTPUT) return S_OK;
    fw::ComPtr<IPin> spIn;
    if (pOut->ConnectedTo(&spIn) != S_OK) return S_OK;  // not connected
    PIN_INFO rgInInfo = {};
    HRESULT hr = spIn->QueryPinInfo(&rgInInfo);
    if (FAILED(hr)) return hr;
    fw::ComPtr<IBaseFilter> spInFilter;
    spInFilter.Attach(rgInInfo.pFilter);
    const SavedFilter* pInSaved = FindSaved(saved, spInFilter);
    if (!pInSaved) return VFW_E_NOT_IN_GRAPH;
    grf::Connection connection;
    connection.outFilterId = outId;
    connection.inFilterId = pInSaved->id;
    LPWSTR pszOutId = nullptr, pszInId = nullptr;
    hr = pOut->QueryId(&pszOutId);
    if (SUCCEEDED(hr)) hr = spIn->QueryId(&pszInId);
    connection.outPinId = FromWide(pszOutId);
    connection.inPinId = FromWide(pszInId);
    ::CoTaskMemFree(pszOutId);
    ::CoTaskMemFree(pszInId);
    if (FAILED(hr)) return hr;
    AM_MEDIA_TYPE rgmt = {};
    hr = pOut->ConnectionMediaType(&rgmt);
    if (FAILED(hr)) return hr;
    connection.mediaType = FromMediaType(rgmt);
    FreeMediaTypeContents(rgmt);
    connections.push_back(connection);
    return S_OK;
}

HRESULT SaveConnections(const std::vector<SavedFilter>& saved, std::vector<grf::Connection>& connections) {
    for (const SavedFilter& filter : saved) {
        fw::ComPtr<IEnumPins> spEnum;
        HRESULT hr = filter.spFilter->EnumPins(&spEnum);
        if (FAILED(hr)) return hr;
        for (;;) {
            fw::ComPtr<IPin> spPin;
            hr = spEnum->Next(1, &spPin, nullptr);
            if (FAILED(hr)) return hr;
            if (hr != S_OK) break;
            hr = SavePinConnection(saved, filter.id, spPin, connections);
            if (FAILED(hr)) return hr;
        }
    }
    return S_OK;
}

// Upstream first: a connection goes out once no pending connection feeds its output
// filter. A cycle (which no working graph has) keeps its remaining order.
void OrderUpstreamFirst(std::vector<grf::Connection>& connections) {
    std::vector<grf::Connection> pending = std::move(connections), ordered;
    while (!pending.empty()) {
        auto isFed = [&](const grf::Connection& c) {
            return std::any_of(pending.begin(), pending.end(),
                               [&](const grf::Connection& p) { return p.inFilterId == c.outFilterId; });
        };
        auto next = std::find_if(pending.begin(), pending.end(), [&](const grf::Connection& c) { return !isFed(c); });
        if (next == pending.end()) next = pending.begin();
        ordered.push_back(*next);
        pending.erase(next);
    }
    connections = std::move(ordered);
}

// No clock yet, or a clock that cannot tell its class, is written as the graph's default
// clock (filter id 0000), which is what a graph that has not run yet will choose anyway.
HRESULT SaveClock(IFilterGraph* pGraph, const std::vector<SavedFilter>& saved, grf::Clock& clock) {
    clock.present = true;
    clock.required = true;
    fw::ComQIPtr<IMediaFilter> spMediaFilter(pGraph);
    if (!spMediaFilter) return E_NOINTERFACE;
    fw::ComPtr<IReferenceClock> spClock;
    HRESULT hr = spMediaFilter->GetSyncSource(&spClock);
    if (FAILED(hr) || !spClock) return SUCCEEDED(hr) ? S_OK : hr;
    if (const SavedFilter* pFilter = FindSaved(saved, spClock)) {
        clock.filterId = pFilter->id;
        return S_OK;
    }
    fw::ComQIPtr<IPersist> spPersist(spClock.Get());
    CLSID clsid = GUID_NULL;
    if (spPersist && SUCCEEDED(spPersist->GetClassID(&clsid))) {
        clock.isClassId = true;
        clock.classId = FromGuid(clsid);
    }
    return S_OK;
}

}  // namespace

HRESULT DescribeGraph(IFilterGraph* pGraph, BOOL fClearDirty, grf::Graph& graph) {
    graph = grf::Graph{};
    graph.version = 3;
    std::vector<SavedFilter> saved;
    HRESULT hr = ListFilters(pGraph, saved);
    if (FAILED(hr)) return hr;
    for (const SavedFilter& filter : saved) {
        graph.filters.emplace_back();
        hr = SaveFilter(filter, fClearDirty, graph.filters.back());
        if (FAILED(hr)) return hr;
    }
    hr = SaveConnections(saved, graph.connections);
    if (FAILED(hr)) return hr;
    OrderUpstreamFirst(graph.connections);
    return SaveClock(pGraph, saved, graph.clock);
}

}  // namespace grfpersist
