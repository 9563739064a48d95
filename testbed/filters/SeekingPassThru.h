// IMediaSeeking for a renderer: the graph manager asks renderers for positions and durations,
// and a renderer answers by asking the output pin upstream of its first input pin, as
// DirectShow renderers do. Not connected, or upstream without IMediaSeeking: E_NOTIMPL.
#pragma once

#include <dshow.h>

namespace tb {

class CBaseFilter;

class CSeekingPassThru : public IMediaSeeking {
public:
    // pOwner: the filter's identity, whose reference count this interface shares.
    CSeekingPassThru(IUnknown* pOwner, CBaseFilter* pFilter) : m_pOwner(pOwner), m_pFilter(pFilter) {}
    virtual ~CSeekingPassThru() = default;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return m_pOwner->QueryInterface(riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return m_pOwner->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return m_pOwner->Release(); }

    STDMETHODIMP GetCapabilities(DWORD* pCapabilities) override;
    STDMETHODIMP CheckCapabilities(DWORD* pCapabilities) override;
    STDMETHODIMP IsFormatSupported(const GUID* pFormat) override;
    STDMETHODIMP QueryPreferredFormat(GUID* pFormat) override;
    STDMETHODIMP GetTimeFormat(GUID* pFormat) override;
    STDMETHODIMP IsUsingTimeFormat(const GUID* pFormat) override;
    STDMETHODIMP SetTimeFormat(const GUID* pFormat) override;
    STDMETHODIMP GetDuration(LONGLONG* pDuration) override;
    STDMETHODIMP GetStopPosition(LONGLONG* pStop) override;
    STDMETHODIMP GetCurrentPosition(LONGLONG* pCurrent) override;
    STDMETHODIMP ConvertTimeFormat(LONGLONG* pTarget, const GUID* pTargetFormat, LONGLONG Source,
                                   const GUID* pSourceFormat) override;
    STDMETHODIMP SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop,
                              DWORD dwStopFlags) override;
    STDMETHODIMP GetPositions(LONGLONG* pCurrent, LONGLONG* pStop) override;
    STDMETHODIMP GetAvailable(LONGLONG* pEarliest, LONGLONG* pLatest) override;
    STDMETHODIMP SetRate(double dRate) override;
    STDMETHODIMP GetRate(double* pdRate) override;
    STDMETHODIMP GetPreroll(LONGLONG* pllPreroll) override;

private:
    template <class F>
    HRESULT Forward(F call);

    IUnknown* const m_pOwner;
    CBaseFilter* const m_pFilter;
};

}  // namespace tb
