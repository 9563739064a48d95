// IEnumPins over a filter's pins and IEnumMediaTypes over a pin's proposed types. Each holds a
// reference on its filter (a pin's reference is its filter's), so it may outlive every other
// reference the caller had.
#pragma once

#include "FilterBase.h"

namespace tb {

HRESULT CreatePinEnumerator(CBaseFilter* pFilter, int iPosition, IEnumPins** ppEnum);
HRESULT CreateMediaTypeEnumerator(CBasePin* pPin, int iPosition, IEnumMediaTypes** ppEnum);

}  // namespace tb
