#include "WriterInputPin.h"

#include "WriterFilter.h"

namespace tb {

CWriterInputPin::CWriterInputPin(CWriterFilter* pFilter, LPCWSTR pszId)
    : CBasePin(pFilter, PINDIR_INPUT, pszId), m_pWriter(pFilter) {}

CWriterInputPin::~CWriterInputPin() {
    if (m_pAllocator) m_pAllocator->Release();
}

HRESULT CWriterInputPin::CheckMediaType(const AM_MEDIA_TYPE*) { return S_OK; }

HRESULT CWriterInputPin::QueryPinInterface(REFIID riid, void** ppv) {
    if (riid != IID_IMemInputPin) return E_NOINTERFACE;
    *ppv = static_cast<IMemInputPin*>(this);
    AddRef();
    return S_OK;
}

void CWriterInputPin::BreakConnect() {
    if (m_pAllocator) m_pAllocator->Release();
    m_pAllocator = nullptr;
}

// ---- Stream calls: the upstream filter's streaming thread, except the flush pair, which the
// graph's thread sends while the streaming thread may be inside Receive.

STDMETHODIMP CWriterInputPin::EndOfStream() { return m_pWriter->EndOfStreamOn(this); }

STDMETHODIMP CWriterInputPin::BeginFlush() {
    CAutoLock lock(m_pFilter->FilterLock());
    m_bFlushing = true;
    return S_OK;
}

// Waits for a Receive still running, then forgets the end of stream, as after a seek.
STDMETHODIMP CWriterInputPin::EndFlush() {
    CAutoLock lock(m_pFilter->FilterLock());
    CAutoLock lockStream(m_pWriter->StreamLock());
    m_bEndOfStream = false;
    m_bFlushing = false;
    return S_OK;
}

STDMETHODIMP CWriterInputPin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) {
    CAutoLock lock(m_pWriter->StreamLock());
    return S_OK;
}

// ---- IMemInputPin

// The pin has no allocator of its own: it offers DirectShow's memory allocator.
STDMETHODIMP CWriterInputPin::GetAllocator(IMemAllocator** ppAllocator) {
    if (!ppAllocator) return E_POINTER;
    *ppAllocator = nullptr;
    CAutoLock lock(m_pFilter->FilterLock());
    if (!m_pAllocator) {
        HRESULT hr = ::CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                        reinterpret_cast<void**>(&m_pAllocator));
        if (FAILED(hr)) return hr;
    }
    *ppAllocator = m_pAllocator;
    m_pAllocator->AddRef();
    return S_OK;
}

STDMETHODIMP CWriterInputPin::NotifyAllocator(IMemAllocator* pAllocator, BOOL) {
    if (!pAllocator) return E_POINTER;
    CAutoLock lock(m_pFilter->FilterLock());
    pAllocator->AddRef();
    if (m_pAllocator) m_pAllocator->Release();
    m_pAllocator = pAllocator;
    return S_OK;
}

STDMETHODIMP CWriterInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) { return E_NOTIMPL; }

STDMETHODIMP CWriterInputPin::Receive(IMediaSample* pSample) { return m_pWriter->ReceiveSample(this, pSample); }

STDMETHODIMP CWriterInputPin::ReceiveMultiple(IMediaSample** ppSamples, long cSamples, long* pcProcessed) {
    if (!ppSamples || !pcProcessed) return E_POINTER;
    *pcProcessed = 0;
    HRESULT hr = S_OK;
    while (*pcProcessed < cSamples) {
        hr = Receive(ppSamples[*pcProcessed]);
        if (hr != S_OK) break;
        ++*pcProcessed;
    }
    return hr;
}

// Writing to the file is the only wait, and it is short.
STDMETHODIMP CWriterInputPin::ReceiveCanBlock() { return S_FALSE; }

}  // namespace tb
