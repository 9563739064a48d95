#include "GrfTypes.h"

#include <cstring>

namespace grfpersist {

GUID ToGuid(const grf::Guid& guid) {
    GUID result;
    result.Data1 = guid.data1;
    result.Data2 = guid.data2;
    result.Data3 = guid.data3;
    std::memcpy(result.Data4, guid.data4, sizeof(result.Data4));
    return result;
}

grf::Guid FromGuid(const GUID& guid) {
    grf::Guid result;
    result.data1 = guid.Data1;
    result.data2 = guid.Data2;
    result.data3 = guid.Data3;
    std::memcpy(result.data4, guid.Data4, sizeof(result.data4));
    return result;
}

std::wstring ToWide(const std::u16string& text) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t expected");
    return std::wstring(text.begin(), text.end());
}

std::u16string FromWide(const wchar_t* psz) {
    if (!psz) return std::u16string();
    size_t cch = std::wcslen(psz);
    return std::u16string(psz, psz + cch);
}

void ViewMediaType(const grf::MediaType& mt, AM_MEDIA_TYPE& rgmt) {
    rgmt = AM_MEDIA_TYPE{};
    rgmt.majortype = ToGuid(mt.majorType);
    rgmt.subtype = ToGuid(mt.subtype);
    rgmt.bFixedSizeSamples = mt.fixedSizeSamples;
    rgmt.bTemporalCompression = mt.temporalCompression;
    rgmt.lSampleSize = mt.sampleSize;
    rgmt.formattype = ToGuid(mt.formatType);
    rgmt.pUnk = nullptr;
    rgmt.cbFormat = static_cast<ULONG>(mt.format.size());
    // The platform's callers copy the format block; they never write through it.
    rgmt.pbFormat = mt.format.empty() ? nullptr : const_cast<BYTE*>(mt.format.data());
}

grf::MediaType FromMediaType(const AM_MEDIA_TYPE& rgmt) {
    grf::MediaType mt;
    mt.majorType = FromGuid(rgmt.majortype);
    mt.subtype = FromGuid(rgmt.subtype);
    mt.fixedSizeSamples = rgmt.bFixedSizeSamples != FALSE;
    mt.temporalCompression = rgmt.bTemporalCompression != FALSE;
    mt.sampleSize = rgmt.lSampleSize;
    mt.formatType = FromGuid(rgmt.formattype);
    if (rgmt.pbFormat && rgmt.cbFormat)
        mt.format.assign(rgmt.pbFormat, rgmt.pbFormat + rgmt.cbFormat);
    return mt;
}

void FreeMediaTypeContents(AM_MEDIA_TYPE& rgmt) {
    if (rgmt.pbFormat) ::CoTaskMemFree(rgmt.pbFormat);
    rgmt.pbFormat = nullptr;
    rgmt.cbFormat = 0;
    if (rgmt.pUnk) rgmt.pUnk->Release();
    rgmt.pUnk = nullptr;
}

}  // namespace grfpersist
