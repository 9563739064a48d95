#include "PersistTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "GrfText.h"
#include "GrfTypes.h"
#include "TestSupport.h"

namespace persisttest {

grf::Graph Describe(const std::string& description) {
    grf::Graph graph;
    std::string error;
    EXPECT_TRUE(grf::ParseDescription(description, graph, error)) << error;
    return graph;
}

std::vector<uint8_t> StreamBytes(const std::string& description) {
    return grf::Write(Describe(description));
}

fw::ComPtr<IStream> MakeStream(const std::vector<uint8_t>& bytes) {
    fw::ComPtr<IStream> spStream;
    EXPECT_HR(S_OK, ::CreateStreamOnHGlobal(nullptr, TRUE, &spStream));
    if (!spStream) return spStream;
    EXPECT_HR(S_OK, spStream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr));
    LARGE_INTEGER liStart = {};
    EXPECT_HR(S_OK, spStream->Seek(liStart, STREAM_SEEK_SET, nullptr));
    return spStream;
}

fw::ComPtr<IFilterGraph> CreateGraph() {
    fw::ComPtr<IFilterGraph> spGraph;
    EXPECT_HR(S_OK, spGraph.CoCreateInstance(CLSID_FilterGraph));
    return spGraph;
}

HRESULT LoadBytes(IUnknown* pGraph, const std::vector<uint8_t>& bytes) {
    fw::ComQIPtr<IPersistStream> spPersist(pGraph);
    if (!spPersist) return E_NOINTERFACE;
    fw::ComPtr<IStream> spStream = MakeStream(bytes);
    return spPersist->Load(spStream);
}

HRESULT LoadDescription(IUnknown* pGraph, const std::string& description) {
    return LoadBytes(pGraph, StreamBytes(description));
}

HRESULT SaveBytes(IUnknown* pGraph, std::vector<uint8_t>& bytes) {
    fw::ComQIPtr<IPersistStream> spPersist(pGraph);
    if (!spPersist) return E_NOINTERFACE;
    fw::ComPtr<IStream> spStream;
    HRESULT hr = ::CreateStreamOnHGlobal(nullptr, TRUE, &spStream);
    if (FAILED(hr)) return hr;
    hr = spPersist->Save(spStream, TRUE);
    if (FAILED(hr)) return hr;
    STATSTG rgStat = {};
    hr = spStream->Stat(&rgStat, STATFLAG_NONAME);
    if (FAILED(hr)) return hr;
    bytes.resize(static_cast<size_t>(rgStat.cbSize.QuadPart));
    LARGE_INTEGER liStart = {};
    spStream->Seek(liStart, STREAM_SEEK_SET, nullptr);
    ULONG cbRead = 0;
    hr = spStream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &cbRead);
    bytes.resize(cbRead);
    return hr;
}

LONG LiveObjects(const wchar_t* pszDll) {
    // Kept loaded for the process, so that the count cannot vanish with an unloaded DLL.
    HMODULE hModule = ::LoadLibraryW((test::BinDir() + L"\\" + pszDll).c_str());
    auto pfn = reinterpret_cast<LONG(WINAPI*)()>(
        reinterpret_cast<void*>(::GetProcAddress(hModule, "TestbedLiveObjects")));
    return pfn ? pfn() : -1;
}

std::vector<std::wstring> FilterNames(IFilterGraph* pGraph) {
    std::vector<std::wstring> names;
    fw::ComPtr<IEnumFilters> spEnum;
    if (FAILED(pGraph->EnumFilters(&spEnum))) return names;
    for (fw::ComPtr<IBaseFilter> spFilter; spEnum->Next(1, &spFilter, nullptr) == S_OK; spFilter.Release()) {
        FILTER_INFO rgInfo = {};
        if (FAILED(spFilter->QueryFilterInfo(&rgInfo))) continue;
        if (rgInfo.pGraph) rgInfo.pGraph->Release();
        names.push_back(rgInfo.achName);
    }
    std::sort(names.begin(), names.end());
    return names;
}

fw::ComPtr<IBaseFilter> FindFilter(IFilterGraph* pGraph, const wchar_t* pszName) {
    fw::ComPtr<IBaseFilter> spFilter;
    pGraph->FindFilterByName(pszName, &spFilter);
    return spFilter;
}

fw::ComPtr<IPin> FindPin(IFilterGraph* pGraph, const wchar_t* pszFilter, const wchar_t* pszPin) {
    fw::ComPtr<IPin> spPin;
    fw::ComPtr<IBaseFilter> spFilter = FindFilter(pGraph, pszFilter);
    if (spFilter) spFilter->FindPin(pszPin, &spPin);
    return spPin;
}

CLSID ClassOf(IBaseFilter* pFilter) {
    CLSID clsid = GUID_NULL;
    if (pFilter) pFilter->GetClassID(&clsid);
    return clsid;
}

namespace {

std::wstring PinName(IPin* pPin) {
    PIN_INFO rgInfo = {};
    if (FAILED(pPin->QueryPinInfo(&rgInfo))) return L"?";
    FILTER_INFO rgFilter = {};
    if (rgInfo.pFilter && SUCCEEDED(rgInfo.pFilter->QueryFilterInfo(&rgFilter)) && rgFilter.pGraph)
        rgFilter.pGraph->Release();
    if (rgInfo.pFilter) rgInfo.pFilter->Release();
    LPWSTR pszId = nullptr;
    pPin->QueryId(&pszId);
    std::wstring name = std::wstring(rgFilter.achName) + L"/" + (pszId ? pszId : L"?");
    ::CoTaskMemFree(pszId);
    return name;
}

void AddOutputConnections(IBaseFilter* pFilter, std::vector<std::wstring>& connections) {
    fw::ComPtr<IEnumPins> spEnum;
    if (FAILED(pFilter->EnumPins(&spEnum))) return;
    for (fw::ComPtr<IPin> spPin; spEnum->Next(1, &spPin, nullptr) == S_OK; spPin.Release()) {
        PIN_DIRECTION eDirection = PINDIR_INPUT;
        fw::ComPtr<IPin> spPeer;
        if (SUCCEEDED(spPin->QueryDirection(&eDirection)) && eDirection == PINDIR_OUTPUT &&
            spPin->ConnectedTo(&spPeer) == S_OK)
            connections.push_back(PinName(spPin) + L" -> " + PinName(spPeer));
    }
}

}  // namespace

std::string GuidText(const GUID& guid) { return grf::GuidToString(grfpersist::FromGuid(guid)); }

std::vector<std::wstring> Connections(IFilterGraph* pGraph) {
    std::vector<std::wstring> connections;
    fw::ComPtr<IEnumFilters> spEnum;
    if (FAILED(pGraph->EnumFilters(&spEnum))) return connections;
    for (fw::ComPtr<IBaseFilter> spFilter; spEnum->Next(1, &spFilter, nullptr) == S_OK; spFilter.Release())
        AddOutputConnections(spFilter, connections);
    std::sort(connections.begin(), connections.end());
    return connections;
}

bool ConnectionType(IPin* pPin, grf::MediaType& mt) {
    AM_MEDIA_TYPE rgmt = {};
    if (!pPin || FAILED(pPin->ConnectionMediaType(&rgmt))) return false;
    mt = grfpersist::FromMediaType(rgmt);
    grfpersist::FreeMediaTypeContents(rgmt);
    return true;
}

bool SameMediaType(const grf::MediaType& a, const grf::MediaType& b) {
    return a.majorType == b.majorType && a.subtype == b.subtype && a.fixedSizeSamples == b.fixedSizeSamples &&
           a.temporalCompression == b.temporalCompression && a.sampleSize == b.sampleSize &&
           a.formatType == b.formatType && a.format == b.format;
}

std::wstring MakeTempFile(const wchar_t* pszTag) {
    std::wstring path = test::MakeTempDir(pszTag) + L"\\source.bin";
    HANDLE hFile = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD cbWritten = 0;
    ::WriteFile(hFile, "0123456789", 10, &cbWritten, nullptr);
    ::CloseHandle(hFile);
    return path;
}

}  // namespace persisttest
