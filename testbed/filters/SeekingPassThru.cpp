#include "SeekingPassThru.h"

#include "ComPtr.h"
#include "FilterBase.h"

namespace tb {

template <class F>
HRESULT CSeekingPassThru::Forward(F call) {
    fw::ComPtr<IPin> spUpstream;
    {
        CAutoLock lock(m_pFilter->FilterLock());
        if (m_pFilter->PinCount() == 0 || FAILED(m_pFilter->GetPin(0)->ConnectedTo(&spUpstream))) return E_NOTIMPL;
    }
    fw::ComQIPtr<IMediaSeeking> spSeeking(spUpstream.Get());
    if (!spSeeking) return E_NOTIMPL;
    return call(spSeeking.Get());
}

STDMETHODIMP CSeekingPassThru::GetCapabilities(DWORD* p) {
    return Forward([&](IMediaSeeking* s) { return s->GetCapabilities(p); });
}
STDMETHODIMP CSeekingPassThru::CheckCapabilities(DWORD* p) {
    return Forward([&](IMediaSeeking* s) { return s->CheckCapabilities(p); });
}
STDMETHODIMP CSeekingPassThru::IsFormatSupported(const GUID* p) {
    return Forward([&](IMediaSeeking* s) { return s->IsFormatSupported(p); });
}
STDMETHODIMP CSeekingPassThru::QueryPreferredFormat(GUID* p) {
    return Forward([&](IMediaSeeking* s) { return s->QueryPreferredFormat(p); });
}
STDMETHODIMP CSeekingPassThru::GetTimeFormat(GUID* p) {
    return Forward([&](IMediaSeeking* s) { return s->GetTimeFormat(p); });
}
STDMETHODIMP CSeekingPassThru::IsUsingTimeFormat(const GUID* p) {
    return Forward([&](IMediaSeeking* s) { return s->IsUsingTimeFormat(p); });
}
STDMETHODIMP CSeekingPassThru::SetTimeFormat(const GUID* p) {
    return Forward([&](IMediaSeeking* s) { return s->SetTimeFormat(p); });
}
STDMETHODIMP CSeekingPassThru::GetDuration(LONGLONG* p) {
    return Forward([&](IMediaSeeking* s) { return s->GetDuration(p); });
}
STDMETHODIMP CSeekingPassThru::GetStopPosition(LONGLONG* p) {
    return Forward([&](IMediaSeeking* s) { return s->GetStopPosition(p); });
}
STDMETHODIMP CSeekingPassThru::GetCurrentPosition(LONGLONG* p) {
    return Forward([&](IMediaSeeking* s) { return s->GetCurrentPosition(p); });
}
STDMETHODIMP CSeekingPassThru::ConvertTimeFormat(LONGLONG* pTarget, const GUID* pTargetFormat, LONGLONG source,
                                                 const GUID* pSourceFormat) {
    return Forward([&](IMediaSeeking* s) { return s->ConvertTimeFormat(pTarget, pTargetFormat, source, pSourceFormat); });
}
STDMETHODIMP CSeekingPassThru::SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop,
                                            DWORD dwStopFlags) {
    return Forward([&](IMediaSeeking* s) { return s->SetPositions(pCurrent, dwCurrentFlags, pStop, dwStopFlags); });
}
STDMETHODIMP CSeekingPassThru::GetPositions(LONGLONG* pCurrent, LONGLONG* pStop) {
    return Forward([&](IMediaSeeking* s) { return s->GetPositions(pCurrent, pStop); });
}
STDMETHODIMP CSeekingPassThru::GetAvailable(LONGLONG* pEarliest, LONGLONG* pLatest) {
    return Forward([&](IMediaSeeking* s) { return s->GetAvailable(pEarliest, pLatest); });
}
STDMETHODIMP CSeekingPassThru::SetRate(double dRate) {
    return Forward([&](IMediaSeeking* s) { return s->SetRate(dRate); });
}
STDMETHODIMP CSeekingPassThru::GetRate(double* p) {
    return Forward([&](IMediaSeeking* s) { return s->GetRate(p); });
}
STDMETHODIMP CSeekingPassThru::GetPreroll(LONGLONG* p) {
    return Forward([&](IMediaSeeking* s) { return s->GetPreroll(p); });
}

}  // namespace tb
