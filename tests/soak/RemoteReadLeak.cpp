// soak_remote.exe <clients> <graph.grf>: what serving GraphEdit's reads costs this process on
// this platform, with none of the program's code. It loads the graph through the registered
// graph manager (the test bed's, as the program does, so the interface ids GraphEdit uses stay
// registered here too: InterfacePins.h), then for each client publishes it in the running
// object table (as the program does for each GraphEdit), starts a copy of itself ("client")
// that binds to it there, reads its filters and pins as GraphEdit does, lets go and ends, and
// answers that client's calls meanwhile; then revokes it. A client that fails is printed with
// the reason (launch, time-out, binding, reading). It prints its private bytes every tenth of
// the clients, and last the growth per client between the two ends of the run, net of thread
// stacks and each end the lowest of ten samples, as "per-client-bytes <n>" for soak.exe.
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
#include <string>
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

// How a client ended: its exit code.
enum ClientExit : DWORD {
    kClientRead = 0,        // read the graph's state, filters and pins
    kClientNoTable = 1,     // the running object table or its list could not be had
    kClientNotBound = 2,    // no entry of the table gave an object (GetObject: S_FALSE or a failure)
    kClientNotAGraph = 3,   // the object bound to did not give IFilterGraph
    kClientNoPins = 4,      // bound, but read no pin
};

const char* ClientFailure(DWORD dwExit) {
    switch (dwExit) {
    case kClientNoTable: return "binding: no running object table";
    case kClientNotBound: return "binding: no entry of the running object table gave an object";
    case kClientNotAGraph: return "binding: the object bound to has no IFilterGraph";
    case kClientNoPins: return "reading: bound, but no pin was read";
    default: return "ended with an unexpected exit code";
    }
}

// The client: binds to the first published graph, reads its state, every filter and pin, lets
// go.
ClientExit ReadPublishedGraph() {
    IRunningObjectTable* pROT = nullptr;
    IEnumMoniker* pEnum = nullptr;
    if (FAILED(::GetRunningObjectTable(0, &pROT)) || FAILED(pROT->EnumRunning(&pEnum))) return kClientNoTable;
    ClientExit eExit = kClientNotBound;
    IMoniker* pMoniker = nullptr;
    while (eExit != kClientRead && pEnum->Next(1, &pMoniker, nullptr) == S_OK) {
        IUnknown* pObject = nullptr;
        IFilterGraph* pGraph = nullptr;
        if (pROT->GetObject(pMoniker, &pObject) == S_OK && pObject) {
            if (SUCCEEDED(pObject->QueryInterface(IID_IFilterGraph, reinterpret_cast<void**>(&pGraph)))) {
                ReadState(pGraph);
                eExit = ReadFilters(pGraph) > 0 ? kClientRead : kClientNoPins;
                pGraph->Release();
            } else if (eExit == kClientNotBound) {
                eExit = kClientNotAGraph;
            }
        }
        if (pObject) pObject->Release();
        pMoniker->Release();
    }
    pEnum->Release();
    pROT->Release();
    return eExit;
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

std::string Printed(const char* pszFormat, unsigned long value) {
    char sz[160];
    std::snprintf(sz, sizeof(sz), pszFormat, value);
    return sz;
}

// Starts one client and waits for its end while answering its calls; why it failed, or empty.
std::string RunClient() {
    wchar_t szSelf[MAX_PATH];
    ::GetModuleFileNameW(nullptr, szSelf, MAX_PATH);
    wchar_t szCommand[MAX_PATH + 16];
    std::swprintf(szCommand, MAX_PATH + 16, L"\"%ls\" client", szSelf);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(szSelf, szCommand, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return Printed("launch: CreateProcessW failed, error %lu", ::GetLastError());
    DWORD dwIndex = 0, dwExit = 0;
    const HRESULT hrWait = ::CoWaitForMultipleHandles(0, kClientTimeoutMs, 1, &pi.hProcess, &dwIndex);
    std::string failure;
    if (hrWait == RPC_S_CALLPENDING) {
        failure = Printed("time-out: the client still ran after %lu ms (ended by force)", kClientTimeoutMs);
        ::TerminateProcess(pi.hProcess, 1);
    } else if (hrWait != S_OK) {
        failure = Printed("waiting for the client failed, 0x%08lX", static_cast<unsigned long>(hrWait));
    } else if (!::GetExitCodeProcess(pi.hProcess, &dwExit)) {
        failure = Printed("the client's exit code could not be read, error %lu", ::GetLastError());
    } else if (dwExit != kClientRead) {
        failure = std::string(ClientFailure(dwExit)) + Printed(" (exit code %lu)", dwExit);
    }
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return failure;
}

// Publishes the graph, runs one client to its end while answering its calls, revokes. Why the
// client failed, or empty.
std::string ServeOneClient(IGraphBuilder* pGraph) {
    IRunningObjectTable* pROT = nullptr;
    IMoniker* pMoniker = nullptr;
    DWORD dwCookie = 0;
    wchar_t szName[64];
    std::swprintf(szName, 64, L"FilterGraph %08x pid %08x", static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(pGraph)),
                  static_cast<unsigned>(::GetCurrentProcessId()));
    HRESULT hr = ::GetRunningObjectTable(0, &pROT);
    if (FAILED(hr)) return Printed("publishing: GetRunningObjectTable failed, 0x%08lX", static_cast<unsigned long>(hr));
    hr = ::CreateItemMoniker(L"!", szName, &pMoniker);
    if (SUCCEEDED(hr)) hr = pROT->Register(0, pGraph, pMoniker, &dwCookie);
    const std::string failure =
        SUCCEEDED(hr) ? RunClient() : Printed("publishing: Register failed, 0x%08lX", static_cast<unsigned long>(hr));
    if (dwCookie) pROT->Revoke(dwCookie);
    if (pMoniker) pMoniker->Release();
    pROT->Release();
    return failure;
}

// Private bytes less the stacks of this process's threads. Wine commits a thread's whole
// stack, and the platform's RPC runtime starts a thread now and then when calls overlap, more
// often the busier the machine: counted in, each such thread would add a megabyte of growth
// that has nothing to do with what a client leaves behind (the soak judges threads by their
// own count).
double NetPrivateBytes() {
    return static_cast<double>(PrivateBytes()) - static_cast<double>(OwnThreads()) * soak::kThreadStackBytes;
}

// Serves that many clients and returns the growth per client of the net private bytes between
// the two ends of the run, each end the lowest of kEndSamples samples (the heap's own ups and
// downs are larger than a few kilobytes). Prints the growth every tenth of the clients.
double ServeAndMeasure(IGraphBuilder* pGraph, int cClients, int* pcFailed) {
    const double cbStart = NetPrivateBytes();
    std::printf("after warm-up: private %zu KB, threads %lu\n", static_cast<size_t>(PrivateBytes() / 1024), OwnThreads());
    std::vector<double> samples;
    for (int i = 1; i <= cClients; ++i) {
        const std::string failure = ServeOneClient(pGraph);
        if (!failure.empty()) {
            ++*pcFailed;
            std::printf("client %d failed: %s\n", i, failure.c_str());
        }
        samples.push_back(NetPrivateBytes());
        if (i % (cClients / 10) == 0 || i == cClients) {
            const double growthKb = (samples.back() - cbStart) / 1024;
            std::printf("%5d clients: private less stacks %+8.0f KB (%+.2f KB a client), threads %lu, failed "
                        "clients %d\n", i, growthKb, growthKb / i, OwnThreads(), *pcFailed);
            std::fflush(stdout);
        }
    }
    const double cbFirst = *std::min_element(samples.begin(), samples.begin() + kEndSamples);
    const double cbLast = *std::min_element(samples.end() - kEndSamples, samples.end());
    const double cbPerClient = (cbLast - cbFirst) / (cClients - kEndSamples);
    std::printf("growth per client from client %d to %d (private less stacks, each end the lowest of %d): "
                "%+.2f KB\n", kEndSamples, cClients, kEndSamples, cbPerClient / 1024);
    return cbPerClient;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    ::CoInitialize(nullptr);
    if (argc == 2 && std::wcscmp(argv[1], L"client") == 0) {
        const ClientExit eExit = ReadPublishedGraph();
        ::CoUninitialize();
        return static_cast<int>(eExit);
    }
    const int cClients = argc == 3 ? std::wcstol(argv[1], nullptr, 10) : 0;
    IGraphBuilder* pGraph = cClients >= 2 * kEndSamples ? LoadGraph(argv[2]) : nullptr;
    if (!pGraph) {
        std::fprintf(stderr, "usage: soak_remote <clients, 20 or more> <graph.grf that loads>\n");
        return 2;
    }
    for (int i = 0; i < 5; ++i) {  // warm-up: code loaded, caches filled
        const std::string failure = ServeOneClient(pGraph);
        if (!failure.empty()) std::printf("warm-up client %d failed: %s\n", i + 1, failure.c_str());
    }
    int cFailed = 0;
    const double cbPerClient = ServeAndMeasure(pGraph, cClients, &cFailed);
    std::printf("per-client-bytes %.0f\n", cbPerClient);
    pGraph->Release();
    ::CoUninitialize();
    return cFailed == 0 ? 0 : 1;
}
