// An input pin of the writer stand-in: takes any media type, takes samples through
// IMemInputPin and hands their bytes to the filter's sink.
#pragma once

#include <atomic>

#include "FilterBase.h"

namespace tb {

class CWriterFilter;

class CWriterInputPin : public CBasePin, public IMemInputPin {
public:
    CWriterInputPin(CWriterFilter* pFilter, LPCWSTR pszId);
    ~CWriterInputPin() override;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return CBasePin::QueryInterface(riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return CBasePin::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return CBasePin::Release(); }

    // IPin stream calls
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;
    // IMemInputPin
    STDMETHODIMP GetAllocator(IMemAllocator** ppAllocator) override;
    STDMETHODIMP NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) override;
    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) override;
    STDMETHODIMP Receive(IMediaSample* pSample) override;
    STDMETHODIMP ReceiveMultiple(IMediaSample** ppSamples, long cSamples, long* pcProcessed) override;
    STDMETHODIMP ReceiveCanBlock() override;

    bool IsFlushing() const { return m_bFlushing; }
    // End of stream seen since the pin last started streaming; the filter's streaming lock guards it.
    bool m_bEndOfStream = false;

private:
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override;
    HRESULT QueryPinInterface(REFIID riid, void** ppv) override;
    void BreakConnect() override;

    CWriterFilter* const m_pWriter;
    IMemAllocator* m_pAllocator = nullptr;  // guarded by the state lock
    // Set by BeginFlush on the graph's thread, read by the streaming thread.
    std::atomic<bool> m_bFlushing{false};
};

}  // namespace tb
