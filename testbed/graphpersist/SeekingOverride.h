// The aggregate's own IMediaSeeking, offered in place of the graph manager's when the position
// switch is set: GetCurrentPosition and GetAvailable fail with the configured code, everything
// else is the graph manager's. Wine's graph manager answers both itself (it asks no filter), so
// no filter can make them fail.
#pragma once

#include <dshow.h>

namespace grfpersist {

class CSeekingOverride final : public IMediaSeeking {
public:
    // pOuter: the aggregate, which owns this object and counts its references; pInner: the
    // graph manager's non-delegating IUnknown, asked for its IMediaSeeking on each call.
    CSeekingOverride(IUnknown* pOuter, IUnknown* const& pInner, HRESULT hrPositions)
        : m_pOuter(pOuter), m_pInner(pInner), m_hrPositions(hrPositions) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override { return m_pOuter->QueryInterface(riid, ppv); }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_pOuter->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_pOuter->Release(); }

    HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG*) override { return m_hrPositions; }
    HRESULT STDMETHODCALLTYPE GetAvailable(LONGLONG*, LONGLONG*) override { return m_hrPositions; }

    HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* p) override { return Forward(&IMediaSeeking::GetCapabilities, p); }
    HRESULT STDMETHODCALLTYPE CheckCapabilities(DWORD* p) override { return Forward(&IMediaSeeking::CheckCapabilities, p); }
    HRESULT STDMETHODCALLTYPE IsFormatSupported(const GUID* p) override { return Forward(&IMediaSeeking::IsFormatSupported, p); }
    HRESULT STDMETHODCALLTYPE QueryPreferredFormat(GUID* p) override { return Forward(&IMediaSeeking::QueryPreferredFormat, p); }
    HRESULT STDMETHODCALLTYPE GetTimeFormat(GUID* p) override { return Forward(&IMediaSeeking::GetTimeFormat, p); }
    HRESULT STDMETHODCALLTYPE IsUsingTimeFormat(const GUID* p) override { return Forward(&IMediaSeeking::IsUsingTimeFormat, p); }
    HRESULT STDMETHODCALLTYPE SetTimeFormat(const GUID* p) override { return Forward(&IMediaSeeking::SetTimeFormat, p); }
    HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* p) override { return Forward(&IMediaSeeking::GetDuration, p); }
    HRESULT STDMETHODCALLTYPE GetStopPosition(LONGLONG* p) override { return Forward(&IMediaSeeking::GetStopPosition, p); }
    HRESULT STDMETHODCALLTYPE ConvertTimeFormat(LONGLONG* pTarget, const GUID* pTargetFormat, LONGLONG llSource,
                                                const GUID* pSourceFormat) override {
        return Forward(&IMediaSeeking::ConvertTimeFormat, pTarget, pTargetFormat, llSource, pSourceFormat);
    }
    HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop,
                                           DWORD dwStopFlags) override {
        return Forward(&IMediaSeeking::SetPositions, pCurrent, dwCurrentFlags, pStop, dwStopFlags);
    }
    HRESULT STDMETHODCALLTYPE GetPositions(LONGLONG* pCurrent, LONGLONG* pStop) override {
        return Forward(&IMediaSeeking::GetPositions, pCurrent, pStop);
    }
    HRESULT STDMETHODCALLTYPE SetRate(double dRate) override { return Forward(&IMediaSeeking::SetRate, dRate); }
    HRESULT STDMETHODCALLTYPE GetRate(double* p) override { return Forward(&IMediaSeeking::GetRate, p); }
    HRESULT STDMETHODCALLTYPE GetPreroll(LONGLONG* p) override { return Forward(&IMediaSeeking::GetPreroll, p); }

private:
    // The inner interface's reference is one on the aggregate (it delegates AddRef), released
    // before returning.
    template <class... Params, class... Args>
    HRESULT Forward(HRESULT (STDMETHODCALLTYPE IMediaSeeking::*pfnMethod)(Params...), Args... args) {
        IMediaSeeking* pSeeking = nullptr;
        HRESULT hr = m_pInner->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&pSeeking));
        if (FAILED(hr)) return hr;
        hr = (pSeeking->*pfnMethod)(args...);
        pSeeking->Release();
        return hr;
    }

    IUnknown* const m_pOuter;
    IUnknown* const& m_pInner;  // the aggregate's member, set once the inner object exists
    const HRESULT m_hrPositions;
};

}  // namespace grfpersist
