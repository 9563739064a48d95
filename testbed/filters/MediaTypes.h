// AM_MEDIA_TYPE ownership helpers (the format block and pUnk belong to the structure).
#pragma once

#include <dshow.h>

namespace tb {

// Frees what the structure owns and zeroes it.
void FreeMediaType(AM_MEDIA_TYPE& mt);
// Deep copy into an empty (zeroed or freed) structure.
HRESULT CopyMediaType(AM_MEDIA_TYPE* pDest, const AM_MEDIA_TYPE* pSource);
// A deep copy in task memory, as enumerators hand them out; null when out of memory.
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* pSource);

}  // namespace tb
