#include "PublishedGraphs.h"

#include <wchar.h>

namespace ge {
namespace {

const size_t kMaxItemChars = 63;  // GraphEdit's list items fit a buffer of 64 with the terminator
const wchar_t kEllipsis[] = L"...";
const wchar_t kLongPrefix[] = L"Filter graph published in the running object table by process ";

bool ReadHex8(const wchar_t* psz, DWORD& dwValue) {
    dwValue = 0;
    for (int i = 0; i < 8; ++i) {
        const wchar_t c = psz[i];
        DWORD dwDigit = 0;
        if (c >= L'0' && c <= L'9') dwDigit = c - L'0';
        else if (c >= L'a' && c <= L'f') dwDigit = c - L'a' + 10;
        else if (c >= L'A' && c <= L'F') dwDigit = c - L'A' + 10;
        else return false;
        dwValue = (dwValue << 4) | dwDigit;
    }
    return true;
}

std::wstring ExeNameOf(DWORD dwProcessId) {
    HANDLE hProcess = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, dwProcessId);
    if (!hProcess) return L"?";
    wchar_t szPath[MAX_PATH];
    DWORD cch = MAX_PATH;
    const BOOL bOk = ::QueryFullProcessImageNameW(hProcess, 0, szPath, &cch);
    ::CloseHandle(hProcess);
    if (!bOk) return L"?";
    const std::wstring path(szPath, cch);
    return path.substr(path.find_last_of(L"\\/") + 1);
}

}  // namespace

bool ParseGraphEntryName(const wchar_t* pszDisplayName, DWORD& dwGraph, DWORD& dwProcessId) {
    // "!FilterGraph " 8 digits " pid " 8 digits: 13 + 8 + 5 + 8 characters.
    if (!pszDisplayName || wcslen(pszDisplayName) != 34) return false;
    if (wcsncmp(pszDisplayName, L"!FilterGraph ", 13) != 0 || wcsncmp(pszDisplayName + 21, L" pid ", 5) != 0)
        return false;
    return ReadHex8(pszDisplayName + 13, dwGraph) && ReadHex8(pszDisplayName + 26, dwProcessId);
}

std::wstring FormatGraphItem(const CPublishedGraph& graph, bool bLongPrefix) {
    wchar_t szHead[32], szTail[40];
    _snwprintf(szHead, ARRAYSIZE(szHead), L"pid %08x (", static_cast<unsigned>(graph.dwProcessId));
    _snwprintf(szTail, ARRAYSIZE(szTail), L") IFilterGraph = %08x", static_cast<unsigned>(graph.dwGraph));
    szHead[ARRAYSIZE(szHead) - 1] = szTail[ARRAYSIZE(szTail) - 1] = 0;
    std::wstring exeName = graph.exeName;
    if (bLongPrefix) return kLongPrefix + (szHead + exeName + szTail);
    // The graph number must end the item: a long executable name is shortened, never the number.
    const size_t cchRoom = kMaxItemChars - wcslen(szHead) - wcslen(szTail);
    if (exeName.size() > cchRoom) exeName = exeName.substr(0, cchRoom - wcslen(kEllipsis)) + kEllipsis;
    return szHead + exeName + szTail;
}

HRESULT ListPublishedGraphs(std::vector<CPublishedGraph>& graphs) {
    graphs.clear();
    fw::ComPtr<IRunningObjectTable> spROT;
    HRESULT hr = ::GetRunningObjectTable(0, &spROT);
    if (FAILED(hr)) return hr;
    fw::ComPtr<IEnumMoniker> spEnum;
    hr = spROT->EnumRunning(&spEnum);
    if (FAILED(hr)) return hr;
    fw::ComPtr<IBindCtx> spBindCtx;
    hr = ::CreateBindCtx(0, &spBindCtx);
    if (FAILED(hr)) return hr;
    for (;;) {
        CPublishedGraph graph;
        ULONG cFetched = 0;
        if (spEnum->Next(1, &graph.spMoniker, &cFetched) != S_OK || cFetched != 1) break;
        LPOLESTR pszName = nullptr;
        if (FAILED(graph.spMoniker->GetDisplayName(spBindCtx, nullptr, &pszName))) continue;
        const bool bGraph = ParseGraphEntryName(pszName, graph.dwGraph, graph.dwProcessId);
        ::CoTaskMemFree(pszName);
        if (!bGraph) continue;
        graph.exeName = ExeNameOf(graph.dwProcessId);
        graphs.push_back(std::move(graph));
    }
    return S_OK;
}

HRESULT BindToPublishedGraph(IMoniker* pMoniker, IFilterGraph** ppGraph) {
    *ppGraph = nullptr;
    fw::ComPtr<IRunningObjectTable> spROT;
    HRESULT hr = ::GetRunningObjectTable(0, &spROT);
    if (FAILED(hr)) return hr;
    // The object comes back as a proxy: every call on it is served by the publishing thread,
    // which must be pumping messages for the call to return.
    fw::ComPtr<IUnknown> spObject;
    hr = spROT->GetObject(pMoniker, &spObject);
    // Wine answers S_FALSE with no object for an entry whose publisher is not serving calls:
    // that is "could not bind", never an object to use.
    if (hr != S_OK || !spObject) return FAILED(hr) ? hr : E_UNEXPECTED;
    return spObject->QueryInterface(IID_IFilterGraph, reinterpret_cast<void**>(ppGraph));
}

}  // namespace ge
