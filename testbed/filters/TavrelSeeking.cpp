// IMediaSeeking of the source's output pin: media time only, no repositioning, rate 1.
#include "TavrelOutputPin.h"

namespace tb {
namespace {

constexpr DWORD kCapabilities = AM_SEEKING_CanGetCurrentPos | AM_SEEKING_CanGetStopPos | AM_SEEKING_CanGetDuration;

bool IsMediaTime(const GUID* pFormat) { return *pFormat == TIME_FORMAT_MEDIA_TIME; }

}  // namespace

STDMETHODIMP CTavrelOutputPin::GetCapabilities(DWORD* pCapabilities) {
    if (!pCapabilities) return E_POINTER;
    *pCapabilities = kCapabilities;
    return S_OK;
}

STDMETHODIMP CTavrelOutputPin::CheckCapabilities(DWORD* pCapabilities) {
    if (!pCapabilities) return E_POINTER;
    DWORD dwAsked = *pCapabilities;
    *pCapabilities &= kCapabilities;
    if (*pCapabilities == dwAsked) return S_OK;
    return *pCapabilities ? S_FALSE : E_FAIL;
}

STDMETHODIMP CTavrelOutputPin::IsFormatSupported(const GUID* pFormat) {
    if (!pFormat) return E_POINTER;
    return IsMediaTime(pFormat) ? S_OK : S_FALSE;
}

STDMETHODIMP CTavrelOutputPin::QueryPreferredFormat(GUID* pFormat) { return GetTimeFormat(pFormat); }

STDMETHODIMP CTavrelOutputPin::GetTimeFormat(GUID* pFormat) {
    if (!pFormat) return E_POINTER;
    *pFormat = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
}

STDMETHODIMP CTavrelOutputPin::IsUsingTimeFormat(const GUID* pFormat) {
    if (!pFormat) return E_POINTER;
    return IsMediaTime(pFormat) ? S_OK : S_FALSE;
}

STDMETHODIMP CTavrelOutputPin::SetTimeFormat(const GUID* pFormat) {
    if (!pFormat) return E_POINTER;
    return IsMediaTime(pFormat) ? S_OK : E_INVALIDARG;
}

STDMETHODIMP CTavrelOutputPin::GetDuration(LONGLONG* pDuration) {
    if (!pDuration) return E_POINTER;
    CAutoLock lock(m_csStream);
    *pDuration = m_format.rtDuration;
    return S_OK;
}

STDMETHODIMP CTavrelOutputPin::GetStopPosition(LONGLONG* pStop) { return GetDuration(pStop); }

STDMETHODIMP CTavrelOutputPin::GetCurrentPosition(LONGLONG* pCurrent) {
    if (!pCurrent) return E_POINTER;
    *pCurrent = CurrentPosition();
    return S_OK;
}

STDMETHODIMP CTavrelOutputPin::ConvertTimeFormat(LONGLONG* pTarget, const GUID* pTargetFormat, LONGLONG source,
                                                 const GUID* pSourceFormat) {
    if (!pTarget) return E_POINTER;
    if ((pTargetFormat && !IsMediaTime(pTargetFormat)) || (pSourceFormat && !IsMediaTime(pSourceFormat)))
        return E_INVALIDARG;
    *pTarget = source;
    return S_OK;
}

// The stream cannot be repositioned; a call that moves nothing is accepted.
STDMETHODIMP CTavrelOutputPin::SetPositions(LONGLONG*, DWORD dwCurrentFlags, LONGLONG*, DWORD dwStopFlags) {
    bool bMoves = (dwCurrentFlags & AM_SEEKING_PositioningBitsMask) != AM_SEEKING_NoPositioning ||
                  (dwStopFlags & AM_SEEKING_PositioningBitsMask) != AM_SEEKING_NoPositioning;
    return bMoves ? E_NOTIMPL : S_OK;
}

STDMETHODIMP CTavrelOutputPin::GetPositions(LONGLONG* pCurrent, LONGLONG* pStop) {
    if (pCurrent) GetCurrentPosition(pCurrent);
    if (pStop) GetStopPosition(pStop);
    return S_OK;
}

// What has been streamed so far is what is available.
STDMETHODIMP CTavrelOutputPin::GetAvailable(LONGLONG* pEarliest, LONGLONG* pLatest) {
    if (pEarliest) *pEarliest = 0;
    if (pLatest) *pLatest = CurrentPosition();
    return S_OK;
}

STDMETHODIMP CTavrelOutputPin::SetRate(double dRate) { return dRate == 1.0 ? S_OK : E_INVALIDARG; }

STDMETHODIMP CTavrelOutputPin::GetRate(double* pdRate) {
    if (!pdRate) return E_POINTER;
    *pdRate = 1.0;
    return S_OK;
}

STDMETHODIMP CTavrelOutputPin::GetPreroll(LONGLONG* pllPreroll) {
    if (!pllPreroll) return E_POINTER;
    *pllPreroll = 0;
    return S_OK;
}

}  // namespace tb
