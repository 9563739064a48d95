#include "Enumerators.h"
#include "FilterBase.h"
#include "MediaTypes.h"

namespace tb {

CBasePin::CBasePin(CBaseFilter* pFilter, PIN_DIRECTION dir, LPCWSTR pszId) : m_pFilter(pFilter), m_dir(dir) {
    ::lstrcpynW(m_szId, pszId, MAX_PIN_NAME);
}

CBasePin::~CBasePin() {
    if (m_pConnected) m_pConnected->Release();
    FreeMediaType(m_mt);
}

STDMETHODIMP CBasePin::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IPin) {
        *ppv = static_cast<IPin*>(this);
        AddRef();
        return S_OK;
    }
    return QueryPinInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) CBasePin::AddRef() { return m_pFilter->AddRef(); }
STDMETHODIMP_(ULONG) CBasePin::Release() { return m_pFilter->Release(); }

bool CBasePin::IsConnected() {
    CAutoLock lock(m_pFilter->FilterLock());
    return m_pConnected != nullptr;
}

// Output side. A media type with a major type is taken as it is; none, or one without a
// major type, means "one of yours": the pin's own types are offered in order.
STDMETHODIMP CBasePin::Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) {
    if (!pReceivePin) return E_POINTER;
    CAutoLock lock(m_pFilter->FilterLock());
    if (m_dir != PINDIR_OUTPUT) return E_UNEXPECTED;
    if (m_pConnected) return VFW_E_ALREADY_CONNECTED;
    if (m_pFilter->State() != State_Stopped) return VFW_E_NOT_STOPPED;
    if (pmt && pmt->majortype != GUID_NULL) return TryConnect(pReceivePin, pmt);
    HRESULT hr = VFW_E_NO_ACCEPTABLE_TYPES;
    AM_MEDIA_TYPE mt{};
    for (int i = 0; FAILED(hr) && GetMediaType(i, &mt) == S_OK; ++i) {
        hr = TryConnect(pReceivePin, &mt);
        FreeMediaType(mt);
    }
    return FAILED(hr) ? VFW_E_NO_ACCEPTABLE_TYPES : hr;
}

HRESULT CBasePin::TryConnect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) {
    if (CheckMediaType(pmt) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
    HRESULT hr = pReceivePin->ReceiveConnection(this, pmt);
    if (FAILED(hr)) return hr;
    hr = AttachPeer(pReceivePin, pmt);
    if (FAILED(hr)) pReceivePin->Disconnect();
    return hr;
}

// Input side: the output pin proposes, this pin accepts or refuses.
STDMETHODIMP CBasePin::ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) {
    if (!pConnector || !pmt) return E_POINTER;
    CAutoLock lock(m_pFilter->FilterLock());
    if (m_dir != PINDIR_INPUT) return E_UNEXPECTED;
    if (m_pConnected) return VFW_E_ALREADY_CONNECTED;
    if (m_pFilter->State() != State_Stopped) return VFW_E_NOT_STOPPED;
    PIN_DIRECTION dirPeer;
    if (FAILED(pConnector->QueryDirection(&dirPeer)) || dirPeer != PINDIR_OUTPUT) return VFW_E_INVALID_DIRECTION;
    if (CheckMediaType(pmt) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
    return AttachPeer(pConnector, pmt);
}

HRESULT CBasePin::AttachPeer(IPin* pPeer, const AM_MEDIA_TYPE* pmt) {
    HRESULT hr = CopyMediaType(&m_mt, pmt);
    if (FAILED(hr)) return hr;
    m_pConnected = pPeer;
    m_pConnected->AddRef();
    hr = CompleteConnect(pPeer);
    if (FAILED(hr)) DetachPeer();
    return hr;
}

void CBasePin::DetachPeer() {
    BreakConnect();
    m_pConnected->Release();
    m_pConnected = nullptr;
    FreeMediaType(m_mt);
}

STDMETHODIMP CBasePin::Disconnect() {
    CAutoLock lock(m_pFilter->FilterLock());
    if (m_pFilter->State() != State_Stopped) return VFW_E_NOT_STOPPED;
    if (!m_pConnected) return S_FALSE;
    DetachPeer();
    return S_OK;
}

STDMETHODIMP CBasePin::ConnectedTo(IPin** ppPin) {
    if (!ppPin) return E_POINTER;
    CAutoLock lock(m_pFilter->FilterLock());
    *ppPin = m_pConnected;
    if (!m_pConnected) return VFW_E_NOT_CONNECTED;
    m_pConnected->AddRef();
    return S_OK;
}

STDMETHODIMP CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* pmt) {
    if (!pmt) return E_POINTER;
    CAutoLock lock(m_pFilter->FilterLock());
    if (!m_pConnected) {
        *pmt = AM_MEDIA_TYPE{};
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(pmt, &m_mt);
}

STDMETHODIMP CBasePin::QueryPinInfo(PIN_INFO* pInfo) {
    if (!pInfo) return E_POINTER;
    pInfo->pFilter = m_pFilter;
    m_pFilter->AddRef();
    pInfo->dir = m_dir;
    ::lstrcpynW(pInfo->achName, m_szId, MAX_PIN_NAME);
    return S_OK;
}

STDMETHODIMP CBasePin::QueryDirection(PIN_DIRECTION* pPinDir) {
    if (!pPinDir) return E_POINTER;
    *pPinDir = m_dir;
    return S_OK;
}

STDMETHODIMP CBasePin::QueryId(LPWSTR* ppszId) {
    if (!ppszId) return E_POINTER;
    size_t cb = (::lstrlenW(m_szId) + 1) * sizeof(WCHAR);
    *ppszId = static_cast<LPWSTR>(::CoTaskMemAlloc(cb));
    if (!*ppszId) return E_OUTOFMEMORY;
    ::CopyMemory(*ppszId, m_szId, cb);
    return S_OK;
}

STDMETHODIMP CBasePin::QueryAccept(const AM_MEDIA_TYPE* pmt) {
    if (!pmt) return E_POINTER;
    CAutoLock lock(m_pFilter->FilterLock());
    return CheckMediaType(pmt) == S_OK ? S_OK : S_FALSE;
}

STDMETHODIMP CBasePin::EnumMediaTypes(IEnumMediaTypes** ppEnum) { return CreateMediaTypeEnumerator(this, 0, ppEnum); }

STDMETHODIMP CBasePin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }

HRESULT CBasePin::GetMediaType(int, AM_MEDIA_TYPE*) { return VFW_S_NO_MORE_ITEMS; }

}  // namespace tb
