// Helpers of the GRF persistence tests: graphs described as text, streams, the graph's
// filters and connections read back through the graph manager's own interfaces.
#pragma once

#include <dshow.h>

#include <string>
#include <vector>

#include "ComPtr.h"
#include "GrfFormat.h"

namespace persisttest {

// Class ids of filters Wine 8 has, as the descriptions below spell them.
#define PT_NULL_RENDERER "{C1F400A4-3F08-11D3-9F0B-006008039E37}"
#define PT_SAMPLE_GRABBER "{C1F400A0-3F08-11D3-9F0B-006008039E37}"
#define PT_SMART_TEE "{CC58E280-8AA1-11D1-B3F1-00AA003761C5}"
#define PT_ASYNC_READER "{E436EBB5-524F-11CE-9F53-0020AF0BA770}"
#define PT_AVI_MUX "{E2510970-F137-11CE-8B67-00AA00A3F1A6}"
#define PT_FILE_WRITER "{8596E5F0-0DA5-11D0-BD21-00A0C911CE86}"
// MEDIASUBTYPE_RGB24, FORMAT_VideoInfo and a 320x240 RGB24 VIDEOINFOHEADER (88 bytes).
#define PT_RGB24 "{E436EB7D-524F-11CE-9F53-0020AF0BA770}"
#define PT_VIDEOINFO "{05589F80-C356-11CE-BF01-00AA0055595A}"
#define PT_VIDEOINFO_320x240 \
    "000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000 " \
    "2800000040010000f000000001001800000000000084030000000000000000000000000000000000"

// The graph a description gives (fails the current test if it is malformed).
grf::Graph Describe(const std::string& description);
std::vector<uint8_t> StreamBytes(const std::string& description);

// A memory stream holding the bytes, positioned at its start.
fw::ComPtr<IStream> MakeStream(const std::vector<uint8_t>& bytes);

// A new graph manager (CoCreateInstance of CLSID_FilterGraph, as the program makes it).
fw::ComPtr<IFilterGraph> CreateGraph();
HRESULT LoadBytes(IUnknown* pGraph, const std::vector<uint8_t>& bytes);
HRESULT LoadDescription(IUnknown* pGraph, const std::string& description);
// IPersistStream::Save into a memory stream; the bytes written.
HRESULT SaveBytes(IUnknown* pGraph, std::vector<uint8_t>& bytes);

// TestbedLiveObjects of a test bed DLL beside the tests (loaded from there, which is where
// tbsetup registered it from, so it is the module COM uses).
LONG LiveObjects(const wchar_t* pszDll);
inline LONG LiveGraphs() { return LiveObjects(L"grfpersist.dll"); }

std::vector<std::wstring> FilterNames(IFilterGraph* pGraph);  // sorted
fw::ComPtr<IBaseFilter> FindFilter(IFilterGraph* pGraph, const wchar_t* pszName);
fw::ComPtr<IPin> FindPin(IFilterGraph* pGraph, const wchar_t* pszFilter, const wchar_t* pszPin);
CLSID ClassOf(IBaseFilter* pFilter);
std::string GuidText(const GUID& guid);  // as grf::GuidToString writes it
// "<out filter>/<out pin> -> <in filter>/<in pin>" for every connection, sorted.
std::vector<std::wstring> Connections(IFilterGraph* pGraph);

// The stored form of a live connection's media type (ConnectionMediaType of the pin).
bool ConnectionType(IPin* pPin, grf::MediaType& mt);
bool SameMediaType(const grf::MediaType& a, const grf::MediaType& b);

// A file of a few bytes in a fresh temporary folder.
std::wstring MakeTempFile(const wchar_t* pszTag);

}  // namespace persisttest
