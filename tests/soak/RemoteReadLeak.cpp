// soak_remote.exe <clients> <graph.grf>: what serving GraphEdit's reads costs this process on
// this platform, with none of the program's code. It loads the graph, then for each client
// publishes it in the running object table (as the program does for each GraphEdit), starts a
// copy of itself ("client") that binds to it there, reads its filters and pins as GraphEdit
// does, lets go and ends, and answers that client's calls meanwhile; then revokes it. It
// prints its private bytes and threads every tenth of the clients, and last the growth per
// client between the two ends of the run, each end the lowest of ten samples (the heap's own
// ups and downs are larger than a few kilobytes) and less the stacks of threads started
// meanwhile, as "per-client-bytes <n>" for soak.exe.
//
// The publication is renewed for each client because the table's entry no longer reaches the
// object once a client that bound through it has let go (Wine 8: GetObject then answers
// S_FALSE and no object).
#include <windows.h>

#include <dshow.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <initializer_list>
#include <vector>

#include "PlatformLeaks.h"

namespace {

const DWORD kClientTimeoutMs = 10000;
const int kEndSamples = 10;

SIZE_T PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                           sizeof(counters));
    return counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;  // Wine: PagefileUsage
}

DWORD OwnThreads() {
    HANDLE hSnapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    DWORD cThreads = 0;
    for (BOOL bMore = ::Thread32First(hSnapshot, &entry); bMore; bMore = ::Thread32Next(hSnapshot, &entry))
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ++cThreads;
    ::CloseHandle(hSnapshot);
    return cThreads;
}

// A pin's owner and its peer's, as GraphEdit reads a connection.
void ReadPin(IPin* pPin) {
    PIN_INFO info = {};
    if (SUCCEEDED(pPin->QueryPinInfo(&info)) && info.pFilter) info.pFilter->Release();
    IPin* pPeer = nullptr;
    if (pPin->ConnectedTo(&pPeer) != S_OK || !pPeer) return;
    PIN_INFO peerInfo = {};
    if (SUCCEEDED(pPeer->QueryPinInfo(&peerInfo)) && peerInfo.pFilter) peerInfo.pFilter->Release();
    pPeer->Release();
}

// Every filter and pin of the graph; the number of pins read.
int ReadFilters(IFilterGraph* pGraph) {
    IEnumFilters* pFilters = nullptr;
    if (FAILED(pGraph->EnumFilters(&pFilters))) return 0;
    // Through a proxy the count fetched is not optional.
    int cPins = 0;
    ULONG cFetched = 0;
    IBaseFilter* pFilter = nullptr;
    while (pFilters->Next(1, &pFilter, &cFetched) == S_OK) {
        FILTER_INFO info = {};
        if (SUCCEEDED(pFilter->QueryFilterInfo(&info)) && info.pGraph) info.pGraph->Release();
        IEnumPins* pPins = nullptr;
        IPin* pPin = nullptr;
        if (SUCCEEDED(pFilter->EnumPins(&pPins)))
            for (; pPins->Next(1, &pPin, &cFetched) == S_OK; pPin->Release(), ++cPins) ReadPin(pPin);
        if (pPins) pPins->Release();
        pFilter->Release();
    }
    pFilters->Release();
    return cPins;
}

// The graph's state, as GraphEdit asks it.
void ReadState(IFilterGraph* pGraph) {
    IMediaControl* pControl = nullptr;
    OAFilterState eState = State_Stopped;
    if (SUCCEEDED(pGraph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&pControl)))) {
        pControl->GetState(0, &eState);
        pControl->Release();
    }
    IMediaSeeking* pSeeking = nullptr;
    if (SUCCEEDED(pGraph->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&pSeeking))))
        pSeeking->Release();
}

// The client: binds to the first published graph, reads its state, every filter and pin, lets
// go; exit code 0 when it read pins.
int ReadPublishedGraph() {
    IRunningObjectTable* pROT = nullptr;
    IEnumMoniker* pEnum = nullptr;
    if (FAILED(::GetRunningObjectTable(0, &pROT)) || FAILED(pROT->EnumRunning(&pEnum))) return 1;
    int nExit = 1;
    IMoniker* pMoniker = nullptr;
    while (nExit != 0 && pEnum->Next(1, &pMoniker, nullptr) == S_OK) {
        IUnknown* pObject = nullptr;
        IFilterGraph* pGraph = nullptr;
        if (pROT->GetObject(pMoniker, &pObject) == S_OK && pObject &&
            SUCCEEDED(pObject->QueryInterface(IID_IFilterGraph, reinterpret_cast<void**>(&pGraph)))) {
            ReadState(pGraph);
            nExit = ReadFilters(pGraph) > 0 ? 0 : 3;
            pGraph->Release();
        }
        if (pObject) pObject->Release();
        pMoniker->Release();
    }
    pEnum->Release();
    pROT->Release();
    return nExit;
}

IGraphBuilder* LoadGraph(const wchar_t* pszPath) {
    IGraphBuilder* pGraph = nullptr;
    IPersistStream* pPersist = nullptr;
    IStorage* pStorage = nullptr;
    IStream* pStream = nullptr;
    const DWORD dwMode = STGM_READ | STGM_SHARE_EXCLUSIVE;
    HRESULT hr = ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                    reinterpret_cast<void**>(&pGraph));
    if (SUCCEEDED(hr)) hr = pGraph->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&pPersist));
    if (SUCCEEDED(hr)) hr = ::StgOpenStorage(pszPath, nullptr, dwMode, nullptr, 0, &pStorage);
    if (SUCCEEDED(hr)) hr = pStorage->OpenStream(L"ActiveMovieGraph", nullptr, dwMode, 0, &pStream);
    if (SUCCEEDED(hr)) hr = pPersist->Load(pStream);
    for (IUnknown* p : {static_cast<IUnknown*>(pStream), static_cast<IUnknown*>(pStorage),
                        static_cast<IUnknown*>(pPersist)})
        if (p) p->Release();
    if (FAILED(hr) && pGraph) pGraph->Release();
    return SUCCEEDED(hr) ? pGraph : nullptr;
}

// Publishes the graph, runs one client to its end while answering its calls, revokes.
bool ServeOneClient(IGraphBuilder* pGraph) {
    IRunningObjectTable* pROT = nullptr;
    IMoniker* pMoniker = nullptr;
    DWORD dwCookie = 0;
    wchar_t szName[64];
    std::swprintf(szName, 64, L"FilterGraph %08x pid %08x", static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(pGraph)),
                  static_cast<unsigned>(::GetCurrentProcessId()));
    if (FAILED(::GetRunningObjectTable(0, &pROT))) return false;
    bool bOk = SUCCEEDED(::CreateItemMoniker(L"!", szName, &pMoniker)) &&
               SUCCEEDED(pROT->Register(0, pGraph, pMoniker, &dwCookie));
    wchar_t szSelf[MAX_PATH];
    ::GetModuleFileNameW(nullptr, szSelf, MAX_PATH);
    wchar_t szCommand[MAX_PATH + 16];
    std::swprintf(szCommand, MAX_PATH + 16, L"\"%ls\" client", szSelf);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    bOk = bOk && ::CreateProcessW(szSelf, szCommand, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    if (pi.hProcess) {
        DWORD dwIndex = 0, dwExit = 1;
        bOk = ::CoWaitForMultipleHandles(0, kClientTimeoutMs, 1, &pi.hProcess, &dwIndex) == S_OK &&
              ::GetExitCodeProcess(pi.hProcess, &dwExit) && dwExit == 0;
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
    }
    if (dwCookie) pROT->Revoke(dwCookie);
    if (pMoniker) pMoniker->Release();
    pROT->Release();
    return bOk;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    ::CoInitialize(nullptr);
    if (argc == 2 && std::wcscmp(argv[1], L"client") == 0) {
        const int nExit = ReadPublishedGraph();
        ::CoUninitialize();
        return nExit;
    }
    const int cClients = argc == 3 ? std::wcstol(argv[1], nullptr, 10) : 0;
    IGraphBuilder* pGraph = cClients >= 2 * kEndSamples ? LoadGraph(argv[2]) : nullptr;
    if (!pGraph) {
        std::fprintf(stderr, "usage: soak_remote <clients, 20 or more> <graph.grf that loads>\n");
        return 2;
    }
    for (int i = 0; i < 5; ++i) ServeOneClient(pGraph);  // warm-up: code loaded, caches filled
    const SIZE_T cbStart = PrivateBytes();
    std::printf("after warm-up: private %zu KB, threads %lu\n", static_cast<size_t>(cbStart / 1024), OwnThreads());
    std::vector<SIZE_T> samples;
    DWORD cThreadsFirst = 0;
    int cFailed = 0;
    for (int i = 1; i <= cClients; ++i) {
        if (!ServeOneClient(pGraph)) ++cFailed;
        samples.push_back(PrivateBytes());
        if (i == kEndSamples) cThreadsFirst = OwnThreads();
        if (i % (cClients / 10) == 0 || i == cClients) {
            const double growthKb = (static_cast<double>(samples.back()) - static_cast<double>(cbStart)) / 1024;
            std::printf("%5d clients: private %+8.0f KB (%+.2f KB a client), threads %lu, failed clients %d\n", i,
                        growthKb, growthKb / i, OwnThreads(), cFailed);
            std::fflush(stdout);
        }
    }
    const double cbFirst = static_cast<double>(*std::min_element(samples.begin(), samples.begin() + kEndSamples));
    const double cbLast = static_cast<double>(*std::min_element(samples.end() - kEndSamples, samples.end()));
    // Threads the platform's RPC runtime started meanwhile bring whole stacks; the soak allows
    // those through its thread check, so they are not part of the figure per client.
    const long cNewThreads = std::max(0L, static_cast<long>(OwnThreads()) - static_cast<long>(cThreadsFirst));
    const double cbThreads = static_cast<double>(cNewThreads * soak::kThreadStackBytes);
    const double cbPerClient = (cbLast - cbFirst - cbThreads) / (cClients - kEndSamples);
    std::printf("growth per client from client %d to %d (each end the lowest of %d, less %ld new threads' "
                "stacks): %+.2f KB\n",
                kEndSamples, cClients, kEndSamples, cNewThreads, cbPerClient / 1024);
    std::printf("per-client-bytes %.0f\n", cbPerClient);
    pGraph->Release();
    ::CoUninitialize();
    return cFailed == 0 ? 0 : 1;
}
