#include "GraphLoad.h"

#include <map>
#include <set>

#include "ComPtr.h"
#include "GrfTypes.h"

namespace grfpersist {
namespace {

using FilterMap = std::map<uint32_t, fw::ComPtr<IBaseFilter>>;

// Keeps the first success code other than S_OK that a step of the load gives (AddFilter's
// VFW_S_DUPLICATE_NAME, say), which Load passes on as the platform's loader does; returns hr.
HRESULT Note(HRESULT hr, HRESULT* phrNote) {
    if (SUCCEEDED(hr) && hr != S_OK && *phrNote == S_OK) *phrNote = hr;
    return hr;
}

HRESULT LoadFilterData(IBaseFilter* pFilter, const std::vector<uint8_t>& data) {
    if (data.empty()) return S_OK;
    fw::ComQIPtr<IPersistStream> spPersist(pFilter);
    if (!spPersist) return E_NOINTERFACE;
    fw::ComPtr<IStream> spStream;
    HRESULT hr = ::CreateStreamOnHGlobal(nullptr, TRUE, &spStream);
    if (FAILED(hr)) return hr;
    hr = spStream->Write(data.data(), static_cast<ULONG>(data.size()), nullptr);
    if (FAILED(hr)) return hr;
    LARGE_INTEGER liStart = {};
    hr = spStream->Seek(liStart, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) return hr;
    return spPersist->Load(spStream);
}

// Called after AddFilter, as the graph manager's own AddSourceFilter does: a file source
// may need its graph while it opens the file (the clock, other filters, IGraphConfig).
HRESULT OpenFilterFile(IBaseFilter* pFilter, const grf::Filter& filter) {
    if (filter.fileKind == grf::FileKind::None) return S_OK;
    std::wstring name = ToWide(filter.fileName);
    if (filter.fileKind == grf::FileKind::Source) {
        if (filter.fileName == kNoFileName) return S_OK;
        fw::ComQIPtr<IFileSourceFilter> spSource(pFilter);
        if (!spSource) return E_NOINTERFACE;
        return spSource->Load(name.c_str(), nullptr);
    }
    fw::ComQIPtr<IFileSinkFilter> spSink(pFilter);
    if (!spSink) return E_NOINTERFACE;
    return spSink->SetFileName(name.c_str(), nullptr);
}

// The filter's data is loaded before it joins the graph, so that it joins in its saved
// configuration (pins included); its file is opened after it has joined.
HRESULT AddFilter(IFilterGraph* pGraph, const grf::Filter& filter, FilterMap& filters, HRESULT* phrNote) {
    fw::ComPtr<IBaseFilter> spFilter;
    HRESULT hr = Note(::CoCreateInstance(ToGuid(filter.clsid), nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                         reinterpret_cast<void**>(&spFilter)),
                      phrNote);
    if (FAILED(hr)) return hr;
    hr = Note(LoadFilterData(spFilter, filter.data), phrNote);
    if (FAILED(hr)) return hr;
    std::wstring name = ToWide(filter.name);
    hr = Note(pGraph->AddFilter(spFilter, name.c_str()), phrNote);
    if (FAILED(hr)) return hr;
    filters[filter.id] = spFilter;
    return Note(OpenFilterFile(spFilter, filter), phrNote);
}

HRESULT FindPin(const FilterMap& filters, uint32_t filterId, const std::u16string& pinId, IPin** ppPin) {
    auto it = filters.find(filterId);
    if (it == filters.end()) return VFW_E_NOT_FOUND;
    std::wstring id = ToWide(pinId);
    return it->second->FindPin(id.c_str(), ppPin);
}

HRESULT Connect(IFilterGraph* pGraph, const grf::Connection& connection, const FilterMap& filters) {
    fw::ComPtr<IPin> spOut;
    HRESULT hr = FindPin(filters, connection.outFilterId, connection.outPinId, &spOut);
    if (FAILED(hr)) return hr;
    fw::ComPtr<IPin> spIn;
    hr = FindPin(filters, connection.inFilterId, connection.inPinId, &spIn);
    if (FAILED(hr)) return hr;
    AM_MEDIA_TYPE rgmt;
    ViewMediaType(connection.mediaType, rgmt);
    return pGraph->ConnectDirect(spOut, spIn, &rgmt);
}

HRESULT CreateClock(const grf::Clock& clock, const FilterMap& filters, IReferenceClock** ppClock) {
    if (clock.isClassId)
        return ::CoCreateInstance(ToGuid(clock.classId), nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IReferenceClock, reinterpret_cast<void**>(ppClock));
    auto it = filters.find(clock.filterId);
    if (it == filters.end()) return VFW_E_NOT_FOUND;
    return it->second->QueryInterface(IID_IReferenceClock, reinterpret_cast<void**>(ppClock));
}

// Filter id 0000 names the graph's default clock: the graph manager chooses it itself
// when the graph first pauses or runs, so nothing is set now.
HRESULT SetClock(IFilterGraph* pGraph, const grf::Clock& clock, const FilterMap& filters) {
    if (!clock.present || (!clock.isClassId && clock.filterId == 0)) return S_OK;
    fw::ComPtr<IReferenceClock> spClock;
    HRESULT hr = CreateClock(clock, filters, &spClock);
    if (FAILED(hr)) return hr;
    fw::ComQIPtr<IMediaFilter> spMediaFilter(pGraph);
    if (!spMediaFilter) return E_NOINTERFACE;
    return spMediaFilter->SetSyncSource(spClock);
}

}  // namespace

HRESULT CheckGraph(const grf::Graph& graph) {
    std::set<uint32_t> ids;
    for (const grf::Filter& filter : graph.filters)
        if (!ids.insert(filter.id).second) return VFW_E_INVALID_FILE_FORMAT;
    return S_OK;
}

HRESULT BuildGraph(IFilterGraph* pGraph, const grf::Graph& graph) {
    FilterMap filters;
    HRESULT hrNote = S_OK;
    for (const grf::Filter& filter : graph.filters) {
        HRESULT hr = AddFilter(pGraph, filter, filters, &hrNote);
        if (FAILED(hr)) return hr;
    }
    for (const grf::Connection& connection : graph.connections) {
        HRESULT hr = Note(Connect(pGraph, connection, filters), &hrNote);
        if (FAILED(hr)) return hr;
    }
    HRESULT hr = Note(SetClock(pGraph, graph.clock, filters), &hrNote);
    return FAILED(hr) ? hr : hrNote;
}

}  // namespace grfpersist
