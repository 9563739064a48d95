#include "FilterBase.h"

#include "Enumerators.h"

namespace tb {

CBaseFilter::CBaseFilter(REFCLSID clsid) : m_clsid(clsid) {}

CBaseFilter::~CBaseFilter() {
    if (m_pClock) m_pClock->Release();
}

STDMETHODIMP CBaseFilter::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IPersist || riid == IID_IMediaFilter || riid == IID_IBaseFilter) {
        *ppv = static_cast<IBaseFilter*>(this);
        AddRef();
        return S_OK;
    }
    return QueryFilterInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) CBaseFilter::AddRef() { return ::InterlockedIncrement(&m_cRef); }

STDMETHODIMP_(ULONG) CBaseFilter::Release() {
    LONG cRef = ::InterlockedDecrement(&m_cRef);
    if (cRef == 0) delete this;
    return cRef;
}

STDMETHODIMP CBaseFilter::GetClassID(CLSID* pClassID) {
    if (!pClassID) return E_POINTER;
    *pClassID = m_clsid;
    return S_OK;
}

STDMETHODIMP CBaseFilter::Stop() {
    CAutoLock lock(m_csFilter);
    if (m_state != State_Stopped) OnDeactivate();
    m_state = State_Stopped;
    return S_OK;
}

STDMETHODIMP CBaseFilter::Pause() {
    CAutoLock lock(m_csFilter);
    if (m_state == State_Stopped) {
        HRESULT hr = OnActivate();
        if (FAILED(hr)) return hr;
    } else if (m_state == State_Running) {
        OnPauseFromRun();
    }
    m_state = State_Paused;
    return S_OK;
}

// Run from stopped passes through paused, as the graph manager expects of every filter.
STDMETHODIMP CBaseFilter::Run(REFERENCE_TIME tStart) {
    CAutoLock lock(m_csFilter);
    if (m_state == State_Running) return S_OK;
    if (m_state == State_Stopped) {
        HRESULT hr = Pause();
        if (FAILED(hr)) return hr;
    }
    HRESULT hr = OnRun(tStart);
    if (FAILED(hr)) return hr;
    m_state = State_Running;
    return S_OK;
}

STDMETHODIMP CBaseFilter::GetState(DWORD, FILTER_STATE* pState) {
    if (!pState) return E_POINTER;
    CAutoLock lock(m_csFilter);
    *pState = m_state;
    return S_OK;
}

STDMETHODIMP CBaseFilter::SetSyncSource(IReferenceClock* pClock) {
    CAutoLock lock(m_csFilter);
    if (pClock) pClock->AddRef();
    if (m_pClock) m_pClock->Release();
    m_pClock = pClock;
    return S_OK;
}

STDMETHODIMP CBaseFilter::GetSyncSource(IReferenceClock** ppClock) {
    if (!ppClock) return E_POINTER;
    CAutoLock lock(m_csFilter);
    *ppClock = m_pClock;
    if (m_pClock) m_pClock->AddRef();
    return S_OK;
}

STDMETHODIMP CBaseFilter::EnumPins(IEnumPins** ppEnum) { return CreatePinEnumerator(this, 0, ppEnum); }

STDMETHODIMP CBaseFilter::FindPin(LPCWSTR pszId, IPin** ppPin) {
    if (!ppPin) return E_POINTER;
    *ppPin = nullptr;
    if (!pszId) return E_POINTER;
    CAutoLock lock(m_csFilter);
    for (int i = 0; i < PinCount(); ++i) {
        if (::lstrcmpW(GetPin(i)->Id(), pszId) == 0) {
            *ppPin = GetPin(i);
            (*ppPin)->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

STDMETHODIMP CBaseFilter::QueryFilterInfo(FILTER_INFO* pInfo) {
    if (!pInfo) return E_POINTER;
    CAutoLock lock(m_csFilter);
    ::lstrcpynW(pInfo->achName, m_szName, MAX_FILTER_NAME);
    pInfo->pGraph = m_pGraph;
    if (m_pGraph) m_pGraph->AddRef();
    return S_OK;
}

STDMETHODIMP CBaseFilter::JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pszName) {
    CAutoLock lock(m_csFilter);
    m_pGraph = pGraph;
    m_pEventSink = nullptr;
    // The sink is the graph itself; keep it without a reference, like the graph pointer.
    if (pGraph && SUCCEEDED(pGraph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&m_pEventSink))))
        m_pEventSink->Release();
    ::lstrcpynW(m_szName, pszName ? pszName : L"", MAX_FILTER_NAME);
    return S_OK;
}

STDMETHODIMP CBaseFilter::QueryVendorInfo(LPWSTR* ppszVendorInfo) {
    if (ppszVendorInfo) *ppszVendorInfo = nullptr;
    return E_NOTIMPL;
}

// Streaming threads call this without the state lock (Stop may hold it waiting for them); the
// sink pointer only changes while the filter joins or leaves a graph, which needs it stopped.
void CBaseFilter::NotifyEvent(long lEventCode, LONG_PTR lParam1, LONG_PTR lParam2) {
    IMediaEventSink* pSink = m_pEventSink;
    if (pSink) pSink->Notify(lEventCode, lParam1, lParam2);
}

}  // namespace tb
