// The writer stand-in, CLSID_WriterFilter {8E9C3E01-2306-4A81-911F-8825C7C82516}.
//
// Interfaces: IBaseFilter (IMediaFilter, IPersist), IPersistStream (the configuration below),
// IFileSinkFilter (the sink file), IAMFilterMiscFlags (a renderer), IMediaSeeking (passed to
// the source upstream), IWriterControl and IWriterVersion (unless withheld). Input pins "In",
// "In 2", ... accept any media type; their samples' bytes are appended to the sink file.
//
// Configuration: the filter data, UTF-8 "key=value" lines (LF or CR LF; blank lines and lines
// starting with '#' are skipped). Load starts from the defaults; an unknown key or a bad value
// fails Load with E_INVALIDARG and changes nothing. Save writes every key whose value differs
// from its default, in the order below (the six options with their current values).
// Integers are decimal or 0x-hex; HRESULTs also take S_OK, S_FALSE, E_FAIL, E_NOTIMPL,
// E_INVALIDARG, E_POINTER, E_OUTOFMEMORY, E_UNEXPECTED, E_NOINTERFACE, VFW_E_WRONG_STATE,
// VFW_E_NOT_STOPPED (Save writes them as 0x%08X).
//
//   interleaving=<n>      initial interleaving in ms, 0..4294967295 (500); never clamped
//   savebreaksonly=<n>    initial "save only breaks" (0); booleans are stored as given: 2 stays 2
//   sharedaccess=<n>      initial "shared access" (0)
//   nondrop=<n>           initial "non-drop timecodes" (0)
//   mdatmode=<n>          initial ".mdat mode" (0)
//   longdur=<n>           initial "long output files" (0)
//   name=<text>           GetName (Lathmere MPEG-4 Writer); the text (null) means a null BSTR,
//                         an empty value an empty string; same for number and date
//   number=<text>         GetNumber (2.1.0.7)
//   date=<text>           GetDateTime (2024-05-17 10:30:00)
//   type=<n>              GetType: 0 debug, other release (1)
//   os=<n>                GetOS: 0 32-bit, other 64-bit (the stand-in's own: 1, or 0 on x86)
//   failout=write|keep    whether a getter whose result is a failure still writes the current
//                         value (write) or leaves the caller's variable untouched (keep) (write)
//   busy=<hr>             when not S_OK: every setter called while the filter is paused or
//                         running returns this and stores nothing (S_OK: setters work in any state)
//   pause=<hr>            result of IBaseFilter::Pause (S_OK). A failure refuses the change: the
//                         state stays, nothing is opened (Run from stopped fails with it too). A
//                         success code (S_FALSE: transition still in progress) changes the state
//                         as S_OK does and is returned instead of S_OK
//   written=<n>[,<n>...]  counts GetWritten reports, one per call in this order, the last one
//                         repeating; signed 64-bit, decimal or 0x-hex, negatives allowed (none:
//                         the bytes appended to the sink). While set, the sink's real count is
//                         never reported. A call that fails takes its count too: it writes it
//                         with failout=write, skips it with failout=keep; Load starts the list over
//   hidecontrol=0|1       withhold IWriterControl from QueryInterface (0)
//   hideversion=0|1       withhold IWriterVersion from QueryInterface (0)
//   inputs=<n>            number of input pins, 1..16: "In", "In 2", "In 3", ... (1)
//   journal=<path>        append one line per IWriterControl / IWriterVersion call to this file
//                         (none). A null out-pointer gives E_POINTER before anything else.
//   statejournal=<path>   append one line per Stop, Pause and Run call (IMediaFilter) to this
//                         file (none); kept apart from the journal so that readers of the call
//                         journal see only IWriterControl / IWriterVersion lines
//   hr.<Method>=<hr>      result of that IWriterControl / IWriterVersion method (S_OK), for the
//                         18 methods GetWritten, SetInterleaving, ..., GetLongDur, GetType, GetOS,
//                         GetName, GetNumber, GetDateTime. A setter stores its value when the
//                         result is a success code (S_FALSE included) and not when it is a
//                         failure; a getter writes its out-argument on success, and on failure
//                         only if failout=write.
//   hr.GetClassID=<hr>    result of IPersist::GetClassID, through IBaseFilter and IPersistStream
//                         alike (S_OK). A success code (0x00040242, say) still writes the CLSID;
//                         a failure writes nothing, whatever failout says. Not journalled. A
//                         graph's Save (graph persistence) asks it too and fails with a failure
//
// Journal line (UTF-8, LF, appended and closed at once so other processes see it):
//   <Method> <argument> -> 0x<hr>
// where <argument> is the value passed to a setter, or the value a getter wrote (strings in
// double quotes, a null BSTR as (null)); "(untouched)" when the getter wrote nothing and
// "(null pointer)" for a null out-pointer. Examples: "SetInterleaving 5000 -> 0x00000000",
// "GetName \"Writer\" -> 0x00000000", "GetNonDrop (untouched) -> 0x80004005".
//
// State journal line (same file handling): <Stop|Pause|Run> <state before: stopped, paused or
// running> -> 0x<hr>, e.g. "Pause stopped -> 0x00000001". Run from stopped writes the Pause it
// passes through before its own line.
//
// Streaming: the sink file is created (truncated) on the change from stopped to paused or
// running and closed on stop; GetWritten counts the bytes appended since it was created. With
// no file name the samples are taken and dropped, and nothing is counted. Samples are taken
// while paused and running (nothing here waits for a clock); Receive while stopped answers
// VFW_E_WRONG_STATE, while flushing S_FALSE, after end of stream VFW_E_SAMPLE_REJECTED_EOS.
// EC_COMPLETE goes to the graph once every connected pin has had EndOfStream while running.
//
// Locks: the state lock (CBaseFilter) is taken by the IBaseFilter and IPin calls, SetFileName,
// Load/Save and the option setters; the streaming lock by Receive, ReceiveMultiple,
// EndOfStream, NewSegment and by the state changes (after the state lock) to open or close the
// sink; the config lock, a leaf, guards the configuration and the journal. GetWritten takes
// only the config lock, so it never waits for streaming or for a change of state.
#include "WriterFilter.h"

#include "ConfigText.h"
#include "Debug.h"
#include "WriterInputPin.h"

FW_ASSERT_SOURCE(L"WriterFilter");

namespace tb {

CWriterFilter::CWriterFilter() : CBaseFilter(CLSID_WriterFilter), m_seeking(static_cast<IBaseFilter*>(this), this) {
    m_pins.push_back(std::make_unique<CWriterInputPin>(this, L"In"));
}

CWriterFilter::~CWriterFilter() {
    if (m_hFile != INVALID_HANDLE_VALUE) ::CloseHandle(m_hFile);
}

HRESULT CWriterFilter::Create(REFIID riid, void** ppv) {
    auto* pFilter = new CWriterFilter();
    HRESULT hr = pFilter->QueryInterface(riid, ppv);
    pFilter->Release();
    return hr;
}

HRESULT CWriterFilter::QueryFilterInterface(REFIID riid, void** ppv) {
    bool bHideControl, bHideVersion;
    {
        CAutoLock lock(m_csConfig);
        bHideControl = m_config.bHideControl;
        bHideVersion = m_config.bHideVersion;
    }
    if (riid == IID_IPersistStream) *ppv = static_cast<IPersistStream*>(this);
    else if (riid == IID_IFileSinkFilter) *ppv = static_cast<IFileSinkFilter*>(this);
    else if (riid == IID_IAMFilterMiscFlags) *ppv = static_cast<IAMFilterMiscFlags*>(this);
    else if (riid == IID_IMediaSeeking) *ppv = static_cast<IMediaSeeking*>(&m_seeking);
    else if (riid == IID_IWriterControl && !bHideControl) *ppv = static_cast<IWriterControl*>(this);
    else if (riid == IID_IWriterVersion && !bHideVersion) *ppv = static_cast<IWriterVersion*>(this);
    else return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

int CWriterFilter::PinCount() { return m_cPins; }

CBasePin* CWriterFilter::GetPin(int i) { return m_pins[i].get(); }

// ---- IPersist (both IBaseFilter's and IPersistStream's)

STDMETHODIMP CWriterFilter::GetClassID(CLSID* pClassID) {
    if (!pClassID) return E_POINTER;
    HRESULT hr;
    {
        CAutoLock lock(m_csConfig);
        hr = m_config.hrGetClassID;
    }
    if (FAILED(hr)) return hr;
    CBaseFilter::GetClassID(pClassID);
    return hr;
}

// ---- IPersistStream

STDMETHODIMP CWriterFilter::IsDirty() {
    CAutoLock lock(FilterLock());
    return m_bDirty ? S_OK : S_FALSE;
}

STDMETHODIMP CWriterFilter::Load(IStream* pStream) {
    std::string text;
    HRESULT hr = ReadStreamToEnd(pStream, &text);
    if (FAILED(hr)) return hr;
    ConfigItems items;
    hr = ParseConfigText(text, &items);
    if (FAILED(hr)) return hr;
    WriterConfig config;
    for (const auto& item : items) {
        hr = config.Set(item.first, item.second);
        if (FAILED(hr)) return hr;
    }
    return ApplyConfig(config);
}

// The pin count may change only while nothing is connected; pins beyond it are kept (a caller
// may still hold one) but no longer listed.
HRESULT CWriterFilter::ApplyConfig(const WriterConfig& config) {
    CAutoLock lock(FilterLock());
    if (State() != State_Stopped) return VFW_E_NOT_STOPPED;
    if (config.cInputs != m_cPins) {
        for (int i = 0; i < m_cPins; ++i)
            if (m_pins[i]->IsConnected()) return VFW_E_ALREADY_CONNECTED;
        while (static_cast<int>(m_pins.size()) < config.cInputs) {
            std::wstring id = L"In " + std::to_wstring(m_pins.size() + 1);
            m_pins.push_back(std::make_unique<CWriterInputPin>(this, id.c_str()));
        }
        m_cPins = config.cInputs;
    }
    CAutoLock lockConfig(m_csConfig);
    m_config = config;
    m_iWrittenCount = 0;
    m_bDirty = false;
    return S_OK;
}

STDMETHODIMP CWriterFilter::Save(IStream* pStream, BOOL fClearDirty) {
    std::string text;
    {
        CAutoLock lock(m_csConfig);
        text = m_config.Format();
    }
    HRESULT hr = WriteStreamText(pStream, text);
    if (SUCCEEDED(hr) && fClearDirty) {
        CAutoLock lock(FilterLock());
        m_bDirty = false;
    }
    return hr;
}

STDMETHODIMP CWriterFilter::GetSizeMax(ULARGE_INTEGER* pcbSize) {
    if (!pcbSize) return E_POINTER;
    CAutoLock lock(m_csConfig);
    pcbSize->QuadPart = m_config.Format().size();
    return S_OK;
}

// ---- IFileSinkFilter

STDMETHODIMP CWriterFilter::SetFileName(LPCOLESTR pszFileName, const AM_MEDIA_TYPE*) {
    if (!pszFileName) return E_POINTER;
    CAutoLock lock(FilterLock());
    if (State() != State_Stopped) return VFW_E_NOT_STOPPED;
    m_file = pszFileName;
    return S_OK;
}

// No file name yet: S_OK with a null name, as GraphEdit expects of a sink without a file.
STDMETHODIMP CWriterFilter::GetCurFile(LPOLESTR* ppszFileName, AM_MEDIA_TYPE* pmt) {
    if (!ppszFileName) return E_POINTER;
    CAutoLock lock(FilterLock());
    *ppszFileName = nullptr;
    if (pmt) *pmt = AM_MEDIA_TYPE{};
    if (m_file.empty()) return S_OK;
    size_t cb = (m_file.size() + 1) * sizeof(WCHAR);
    *ppszFileName = static_cast<LPOLESTR>(::CoTaskMemAlloc(cb));
    if (!*ppszFileName) return E_OUTOFMEMORY;
    ::CopyMemory(*ppszFileName, m_file.c_str(), cb);
    return S_OK;
}

// ---- IMediaFilter: the base's state machine, journalled. A configured Pause failure refuses
// the change before anything is opened; a configured success code (S_FALSE: the transition
// still in progress) changes the state as S_OK would and is returned in its place. Run from
// stopped passes through this Pause, so it is refused in the same way.

// The state lock is held across the change and its journal line, so lines keep the order of
// the changes; the config lock (a leaf) only while the configuration is read or the line written.
template <class Change>
HRESULT CWriterFilter::JournalledChange(const char* pszMethod, Change change) {
    CAutoLock lock(FilterLock());
    FILTER_STATE eFrom = State();
    HRESULT hr = change();
    CAutoLock lockConfig(m_csConfig);
    JournalState(pszMethod, eFrom, hr);
    return hr;
}

STDMETHODIMP CWriterFilter::Stop() {
    return JournalledChange("Stop", [this] { return CBaseFilter::Stop(); });
}

STDMETHODIMP CWriterFilter::Pause() {
    return JournalledChange("Pause", [this] {
        HRESULT hr;
        {
            CAutoLock lockConfig(m_csConfig);
            hr = m_config.hrPause;
        }
        if (FAILED(hr)) return hr;
        HRESULT hrBase = CBaseFilter::Pause();
        return FAILED(hrBase) ? hrBase : hr;
    });
}

STDMETHODIMP CWriterFilter::Run(REFERENCE_TIME tStart) {
    return JournalledChange("Run", [this, tStart] { return CBaseFilter::Run(tStart); });
}

// ---- State changes (state lock held by the base; the streaming lock is taken here so that a
// sample being written finishes before the sink is opened or closed).

HRESULT CWriterFilter::OnActivate() {
    FW_ASSERT(FilterLock().IsHeldByMe());
    CAutoLock lock(m_csStream);
    if (!m_file.empty()) {
        m_hFile = ::CreateFileW(m_file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (m_hFile == INVALID_HANDLE_VALUE) return HRESULT_FROM_WIN32(::GetLastError());
    }
    ::InterlockedExchange64(&m_llWritten, 0);
    for (int i = 0; i < m_cPins; ++i) m_pins[i]->m_bEndOfStream = false;
    m_bCompleteSent = false;
    m_bActive = true;
    return S_OK;
}

void CWriterFilter::OnDeactivate() {
    FW_ASSERT(FilterLock().IsHeldByMe());
    CAutoLock lock(m_csStream);
    m_bActive = false;
    m_bRunning = false;
    if (m_hFile != INVALID_HANDLE_VALUE) ::CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
}

HRESULT CWriterFilter::OnRun(REFERENCE_TIME) {
    FW_ASSERT(FilterLock().IsHeldByMe());
    CAutoLock lock(m_csStream);
    m_bRunning = true;
    SignalCompleteIfDone();
    return S_OK;
}

void CWriterFilter::OnPauseFromRun() {
    CAutoLock lock(m_csStream);
    m_bRunning = false;
}

// Streaming lock held. A renderer reports the end of its stream to the graph only while
// running; an end seen while paused is reported when the graph runs.
void CWriterFilter::SignalCompleteIfDone() {
    FW_ASSERT(m_csStream.IsHeldByMe());
    if (!m_bRunning || m_bCompleteSent) return;
    for (int i = 0; i < m_cPins; ++i)
        if (m_pins[i]->IsConnectedWhileStreaming() && !m_pins[i]->m_bEndOfStream) return;
    m_bCompleteSent = true;
    NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
}

// ---- Streaming (the pins' threads; streaming lock only)

HRESULT CWriterFilter::CheckStreaming(CWriterInputPin* pPin) {
    FW_ASSERT(m_csStream.IsHeldByMe());
    if (!m_bActive) return VFW_E_WRONG_STATE;
    if (pPin->IsFlushing()) return S_FALSE;
    if (pPin->m_bEndOfStream) return VFW_E_SAMPLE_REJECTED_EOS;
    return S_OK;
}

HRESULT CWriterFilter::ReceiveSample(CWriterInputPin* pPin, IMediaSample* pSample) {
    if (!pSample) return E_POINTER;
    CAutoLock lock(m_csStream);
    HRESULT hr = CheckStreaming(pPin);
    if (hr != S_OK) return hr;
    BYTE* pbData = nullptr;
    hr = pSample->GetPointer(&pbData);
    if (FAILED(hr)) return hr;
    LONG cbData = pSample->GetActualDataLength();
    if (m_hFile == INVALID_HANDLE_VALUE || cbData <= 0) return S_OK;
    DWORD cbWritten = 0;
    BOOL bOk = ::WriteFile(m_hFile, pbData, static_cast<DWORD>(cbData), &cbWritten, nullptr);
    ::InterlockedExchangeAdd64(&m_llWritten, cbWritten);
    return bOk ? S_OK : HRESULT_FROM_WIN32(::GetLastError());
}

HRESULT CWriterFilter::EndOfStreamOn(CWriterInputPin* pPin) {
    CAutoLock lock(m_csStream);
    HRESULT hr = CheckStreaming(pPin);
    if (hr != S_OK) return hr;
    pPin->m_bEndOfStream = true;
    SignalCompleteIfDone();
    return S_OK;
}

}  // namespace tb
