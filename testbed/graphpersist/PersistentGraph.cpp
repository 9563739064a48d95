// GRF persistence for Wine's filter graph manager.
//
// Wine's graph manager (quartz.dll, CLSID_FilterGraph) does not offer IPersistStream, so
// GraphEdit files cannot be loaded into it. This server is registered in the test prefix
// under CLSID_FilterGraph in quartz's place; each object it makes aggregates a graph
// manager created through quartz.dll's own class factory and adds IPersistStream:
// Load builds the graph a GRF stream describes, Save writes the graph as a GRF stream.
// Load passes on the first success code other than S_OK that it meets on the way (AddFilter's
// VFW_S_DUPLICATE_NAME for a second filter of the same name), as the platform's loader does.
// When the last reference goes, filters that Wine's graph manager left running or paused
// after a refused Run are stopped before it is torn down: its own teardown would otherwise
// wait for ever on a pin that cannot disconnect (StopFiltersLeftActive).
//
// Test switches, environment variables of the creating process read at every creation:
//   GRFPERSIST_CREATE_HR=<hr>   the class factory's CreateInstance returns this (decimal or
//                               0x-hex); a success code comes with the object (0x00040242, say),
//                               a failure without it (S_OK). Wine 8's CoCreateInstance does not
//                               pass a success code on: it creates for IUnknown, asks for the
//                               interface itself and answers S_OK; CoGetClassObject's factory shows it
//   GRFPERSIST_HIDE=<name>[,<name>]   QueryInterface answers E_NOINTERFACE for these interfaces
//                               of the aggregate: IPersistStream, IMediaEventEx (none)
//   GRFPERSIST_POSITION_HR=<hr> IMediaSeeking's GetCurrentPosition and GetAvailable return this
//                               without writing anything; its other methods stay the graph
//                               manager's (unset: all of IMediaSeeking is the graph manager's)
//   GRFPERSIST_JOURNAL=<path>   append "FilterGraph created" when an object has been made and
//                               "FilterGraph released" when its last reference goes, before the
//                               graph manager inside is torn down (and stops its filters). Given
//                               the same file as the writer stand-in's statejournal, the lines
//                               show whether a filter was stopped before or by that teardown.
//   GRFPERSIST_UNPINNED=1       the interface ids GraphEdit uses are not pinned (InterfacePins.h):
//                               Wine unregisters each whenever its last stub goes, as it does
//                               for a graph manager without this module (pinned)
//   LT_SOAK_LEAK_KB=<n>         leak n KB (decimal, at most 1048576) of the process's heap each
//                               time COM makes a stub manager for the graph, that is each time
//                               the graph is handed to other processes afresh: once per "Show
//                               graph" (its registration in the running object table, which
//                               GraphEdit then binds through). Proves that the soak's verdict
//                               catches a leak of that size (0, or unset: none)
// A value that does not parse makes CreateInstance fail with E_INVALIDARG.
#include "PersistentGraph.h"

#include <new>

#include "ComPtr.h"
#include "GraphLoad.h"
#include "GraphSave.h"
#include "GrfFormat.h"
#include "InterfacePins.h"

namespace grfpersist {
namespace {

LONG g_cLiveObjects = 0;

// No GraphEdit stream comes near this; a stream that does is not a graph.
constexpr size_t kMaxStreamBytes = 64u << 20;
constexpr ULONG kReadChunk = 64u << 10;

// Loaded once and kept for the life of the process, as COM keeps it: quartz's own
// objects (filters, clocks, the graph's threads) may outlive any one of our graphs.
HMODULE QuartzModule() {
    static HMODULE s_hQuartz = ::LoadLibraryW(L"quartz.dll");
    return s_hQuartz;
}

HRESULT GetQuartzFactory(IClassFactory** ppFactory) {
    HMODULE hQuartz = QuartzModule();
    if (!hQuartz) return HRESULT_FROM_WIN32(::GetLastError());
    auto pfnGetClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(
        reinterpret_cast<void*>(::GetProcAddress(hQuartz, "DllGetClassObject")));
    if (!pfnGetClassObject) return HRESULT_FROM_WIN32(::GetLastError());
    return pfnGetClassObject(CLSID_FilterGraph, IID_IClassFactory, reinterpret_cast<void**>(ppFactory));
}

// Reads from the current position to the end. Stat only sizes the buffer: not every
// stream answers it, and the reads decide where the stream ends.
HRESULT ReadWholeStream(IStream* pStm, std::vector<uint8_t>& bytes) {
    STATSTG rgStat = {};
    if (SUCCEEDED(pStm->Stat(&rgStat, STATFLAG_NONAME)) && rgStat.cbSize.QuadPart <= kMaxStreamBytes)
        bytes.reserve(static_cast<size_t>(rgStat.cbSize.QuadPart));
    for (;;) {
        size_t cbOld = bytes.size();
        bytes.resize(cbOld + kReadChunk);
        ULONG cbRead = 0;
        HRESULT hr = pStm->Read(bytes.data() + cbOld, kReadChunk, &cbRead);
        bytes.resize(cbOld + (SUCCEEDED(hr) ? cbRead : 0));
        if (FAILED(hr)) return hr;
        if (cbRead == 0) return S_OK;
        if (bytes.size() > kMaxStreamBytes) return VFW_E_INVALID_FILE_FORMAT;
    }
}

}  // namespace

CPersistentGraph::CPersistentGraph(const TestSwitches& switches)
    : m_switches(switches), m_seeking(static_cast<IPersistStream*>(this), m_pInner, switches.hrPositions) {
    ::InterlockedIncrement(&g_cLiveObjects);
}

CPersistentGraph::~CPersistentGraph() {
    if (m_pInner) {
        StopFiltersLeftActive();
        m_pInner->Release();
    }
    ::InterlockedDecrement(&g_cLiveObjects);
}

LONG CPersistentGraph::LiveObjects() { return g_cLiveObjects; }

// A run that one filter refuses (its Pause fails) leaves Wine's graph manager recording the
// graph as stopped while the filters that paused before or after the refusal stay paused,
// their streaming threads started. Its Stop then asks no filter to stop, and its teardown,
// which removes each filter after disconnecting its pins, retries forever on a pin that
// refuses to disconnect while its filter is active (VFW_E_NOT_STOPPED, as every filter's pin
// does). Such a graph must still be let go, so the filters it left active are stopped here,
// before the teardown. A graph that records itself as paused or running is left to the
// teardown, which stops it through its own Stop.
void CPersistentGraph::StopFiltersLeftActive() {
    fw::ComPtr<IMediaControl> spControl;
    OAFilterState state = State_Running;
    if (FAILED(m_pInner->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&spControl))) ||
        FAILED(spControl->GetState(0, &state)) || state != State_Stopped)
        return;
    fw::ComPtr<IFilterGraph> spGraph;
    fw::ComPtr<IEnumFilters> spEnum;
    if (FAILED(GetFilterGraph(&spGraph)) || FAILED(spGraph->EnumFilters(&spEnum))) return;
    for (;;) {
        fw::ComPtr<IBaseFilter> spFilter;
        if (spEnum->Next(1, &spFilter, nullptr) != S_OK) return;
        FILTER_STATE filterState = State_Stopped;
        if (FAILED(spFilter->GetState(0, &filterState)) || filterState != State_Stopped) spFilter->Stop();
    }
}

HRESULT CPersistentGraph::Create(const TestSwitches& switches, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    CPersistentGraph* pGraph = new (std::nothrow) CPersistentGraph(switches);
    if (!pGraph) return E_OUTOFMEMORY;
    // The creation reference keeps the object alive while the inner object, which may
    // AddRef and Release its outer during construction, is made.
    HRESULT hr = pGraph->CreateInner();
    if (SUCCEEDED(hr)) hr = pGraph->QueryInterface(riid, ppv);
    if (SUCCEEDED(hr)) AppendJournalLine(switches.journal, "FilterGraph created\n");
    pGraph->Release();
    return hr;
}

HRESULT CPersistentGraph::CreateInner() {
    fw::ComPtr<IClassFactory> spFactory;
    HRESULT hr = GetQuartzFactory(&spFactory);
    if (FAILED(hr)) return hr;
    return spFactory->CreateInstance(static_cast<IUnknown*>(this), IID_IUnknown,
                                     reinterpret_cast<void**>(&m_pInner));
}

// The inner object's interfaces delegate their QueryInterface here, so a withheld interface
// is withheld from every interface of the aggregate.
bool CPersistentGraph::IsWithheld(REFIID riid) const {
    return (riid == IID_IPersistStream && m_switches.bHidePersistStream) ||
           (riid == IID_IMediaEventEx && m_switches.bHideMediaEventEx);
}

HRESULT CPersistentGraph::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsWithheld(riid)) return E_NOINTERFACE;
    NoteMarshalling(riid);
    if (riid == IID_IUnknown || riid == IID_IPersist || riid == IID_IPersistStream) {
        *ppv = static_cast<IPersistStream*>(this);
        AddRef();
        return S_OK;
    }
    if (riid == IID_IMediaSeeking && m_switches.bOverridePositions) {
        *ppv = static_cast<IMediaSeeking*>(&m_seeking);
        AddRef();
        return S_OK;
    }
    if (!m_pInner) return E_NOINTERFACE;
    return m_pInner->QueryInterface(riid, ppv);
}

// COM's marshaller asks the object for IMarshal each time it marshals one of the object's
// interfaces (before it makes any stub), and for IExternalConnection only when it makes the
// object's stub manager, which lives while anything outside the apartment holds the object.
// Neither is answered here (the graph manager inside answers as it always does).
void CPersistentGraph::NoteMarshalling(REFIID riid) const {
    if (riid == IID_IMarshal) {
        if (!m_switches.bUnpinned) PinClientInterfaces();
    } else if (riid == IID_IExternalConnection && m_switches.cLeakKbPerHandOut > 0) {
        // Never freed, and written so that every page of it is committed.
        const SIZE_T cb = static_cast<SIZE_T>(m_switches.cLeakKbPerHandOut) * 1024;
        void* pLeak = ::HeapAlloc(::GetProcessHeap(), 0, cb);
        if (pLeak) ::FillMemory(pLeak, cb, 0xA5);
    }
}

ULONG CPersistentGraph::AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&m_cRef)); }

ULONG CPersistentGraph::Release() {
    LONG cRef = ::InterlockedDecrement(&m_cRef);
    if (cRef == 0) {
        // The inner object may AddRef and Release us while it is torn down; the count
        // held at one keeps that from reaching zero a second time.
        m_cRef = 1;
        AppendJournalLine(m_switches.journal, "FilterGraph released\n");
        delete this;
    }
    return static_cast<ULONG>(cRef);
}

HRESULT CPersistentGraph::GetFilterGraph(IFilterGraph** ppGraph) {
    return m_pInner->QueryInterface(IID_IFilterGraph, reinterpret_cast<void**>(ppGraph));
}

HRESULT CPersistentGraph::GetClassID(CLSID* pClassID) {
    if (!pClassID) return E_POINTER;
    *pClassID = CLSID_FilterGraph;
    return S_OK;
}

// Changes to the graph are made through the graph manager's own interfaces, which do not
// tell us about them: the graph is never known to be clean.
HRESULT CPersistentGraph::IsDirty() { return S_FALSE; }

// A stream that does not parse (malformed, truncated, anything after END) returns
// VFW_E_INVALID_FILE_FORMAT and adds nothing to the graph.
HRESULT CPersistentGraph::Load(IStream* pStm) {
    if (!pStm) return E_POINTER;
    std::vector<uint8_t> bytes;
    HRESULT hr = ReadWholeStream(pStm, bytes);
    if (FAILED(hr)) return hr;
    grf::Graph graph;
    grf::ParseError error;
    if (!grf::Parse(bytes.data(), bytes.size(), graph, error)) return VFW_E_INVALID_FILE_FORMAT;
    hr = CheckGraph(graph);
    if (FAILED(hr)) return hr;
    fw::ComPtr<IFilterGraph> spGraph;
    hr = GetFilterGraph(&spGraph);
    if (FAILED(hr)) return hr;
    return BuildGraph(spGraph, graph);
}

HRESULT CPersistentGraph::SaveToBytes(BOOL fClearDirty, std::vector<uint8_t>& bytes) {
    fw::ComPtr<IFilterGraph> spGraph;
    HRESULT hr = GetFilterGraph(&spGraph);
    if (FAILED(hr)) return hr;
    grf::Graph graph;
    hr = DescribeGraph(spGraph, fClearDirty, graph);
    if (FAILED(hr)) return hr;
    bytes = grf::Write(graph);
    return S_OK;
}

HRESULT CPersistentGraph::Save(IStream* pStm, BOOL fClearDirty) {
    if (!pStm) return E_POINTER;
    std::vector<uint8_t> bytes;
    HRESULT hr = SaveToBytes(fClearDirty, bytes);
    if (FAILED(hr)) return hr;
    ULONG cbWritten = 0;
    hr = pStm->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &cbWritten);
    if (FAILED(hr)) return hr;
    return cbWritten == bytes.size() ? S_OK : STG_E_MEDIUMFULL;
}

// The exact size, found by writing the stream: the filters' data can only be measured so.
HRESULT CPersistentGraph::GetSizeMax(ULARGE_INTEGER* pcbSize) {
    if (!pcbSize) return E_POINTER;
    pcbSize->QuadPart = 0;
    std::vector<uint8_t> bytes;
    HRESULT hr = SaveToBytes(FALSE, bytes);
    if (SUCCEEDED(hr)) pcbSize->QuadPart = bytes.size();
    return hr;
}

}  // namespace grfpersist
