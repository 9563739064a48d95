// Conversions between the GRF stream's plain data and the platform's types.
#pragma once

#include <dshow.h>

#include <string>

#include "GrfFormat.h"

namespace grfpersist {

// The file name GraphEdit writes for a source filter that has no file.
inline constexpr char16_t kNoFileName[] = u"(null)";

GUID ToGuid(const grf::Guid& guid);
grf::Guid FromGuid(const GUID& guid);

// Wide strings and the stream's UTF-16 strings are the same code units on Windows.
std::wstring ToWide(const std::u16string& text);
std::u16string FromWide(const wchar_t* psz);

// Fills rgmt from the stored media type. The format block points into mt.format, so
// rgmt is valid only while mt lives and must not be freed with FreeMediaTypeContents.
void ViewMediaType(const grf::MediaType& mt, AM_MEDIA_TYPE& rgmt);
grf::MediaType FromMediaType(const AM_MEDIA_TYPE& rgmt);

// Releases what a platform-allocated media type owns (format block, pUnk), not the struct.
void FreeMediaTypeContents(AM_MEDIA_TYPE& rgmt);

}  // namespace grfpersist
