#include "MediaTypes.h"

namespace tb {

void FreeMediaType(AM_MEDIA_TYPE& mt) {
    if (mt.cbFormat != 0) ::CoTaskMemFree(mt.pbFormat);
    if (mt.pUnk) mt.pUnk->Release();
    mt = AM_MEDIA_TYPE{};
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* pDest, const AM_MEDIA_TYPE* pSource) {
    *pDest = *pSource;
    pDest->pbFormat = nullptr;
    if (pSource->cbFormat != 0) {
        pDest->pbFormat = static_cast<BYTE*>(::CoTaskMemAlloc(pSource->cbFormat));
        if (!pDest->pbFormat) {
            *pDest = AM_MEDIA_TYPE{};
            return E_OUTOFMEMORY;
        }
        ::CopyMemory(pDest->pbFormat, pSource->pbFormat, pSource->cbFormat);
    }
    if (pDest->pUnk) pDest->pUnk->AddRef();
    return S_OK;
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* pSource) {
    auto* pmt = static_cast<AM_MEDIA_TYPE*>(::CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (pmt && FAILED(CopyMediaType(pmt, pSource))) {
        ::CoTaskMemFree(pmt);
        pmt = nullptr;
    }
    return pmt;
}

}  // namespace tb
