#include "Enumerators.h"

#include "MediaTypes.h"

namespace tb {
namespace {

// The COM protocol shared by both enumerators; Item(i, &out) answers S_OK or S_FALSE at the end.
template <class IEnum, class TItem, class TOwner>
class CEnumerator : public IEnum, private CCountedObject {
public:
    CEnumerator(TOwner* pOwner, int iPosition) : m_pOwner(pOwner), m_iPosition(iPosition) {
        m_pOwner->AddRef();
    }
    virtual ~CEnumerator() { m_pOwner->Release(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != __uuidof(IEnum)) return E_NOINTERFACE;
        *ppv = static_cast<IEnum*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ::InterlockedIncrement(&m_cRef); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG cRef = ::InterlockedDecrement(&m_cRef);
        if (cRef == 0) delete this;
        return cRef;
    }

    STDMETHODIMP Next(ULONG cItems, TItem* rgItems, ULONG* pcFetched) override {
        if (!rgItems || (cItems != 1 && !pcFetched)) return E_POINTER;
        ULONG cFetched = 0;
        while (cFetched < cItems && Item(m_iPosition, &rgItems[cFetched]) == S_OK) {
            ++cFetched;
            ++m_iPosition;
        }
        if (pcFetched) *pcFetched = cFetched;
        return cFetched == cItems ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG cItems) override {
        for (; cItems > 0; --cItems, ++m_iPosition)
            if (!Exists(m_iPosition)) return S_FALSE;
        return S_OK;
    }
    STDMETHODIMP Reset() override {
        m_iPosition = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnum** ppEnum) override {
        if (!ppEnum) return E_POINTER;
        *ppEnum = new CEnumerator(m_pOwner, m_iPosition);
        return S_OK;
    }

private:
    HRESULT Item(int i, TItem* pItem);
    bool Exists(int i);

    LONG m_cRef = 1;
    TOwner* const m_pOwner;
    int m_iPosition;
};

using CEnumPins = CEnumerator<IEnumPins, IPin*, CBaseFilter>;
using CEnumMediaTypes = CEnumerator<IEnumMediaTypes, AM_MEDIA_TYPE*, CBasePin>;

template <>
HRESULT CEnumPins::Item(int i, IPin** ppPin) {
    CAutoLock lock(m_pOwner->FilterLock());
    if (i >= m_pOwner->PinCount()) return S_FALSE;
    *ppPin = m_pOwner->GetPin(i);
    (*ppPin)->AddRef();
    return S_OK;
}

template <>
bool CEnumPins::Exists(int i) {
    CAutoLock lock(m_pOwner->FilterLock());
    return i < m_pOwner->PinCount();
}

template <>
HRESULT CEnumMediaTypes::Item(int i, AM_MEDIA_TYPE** ppmt) {
    AM_MEDIA_TYPE mt{};
    if (m_pOwner->GetMediaType(i, &mt) != S_OK) return S_FALSE;
    *ppmt = CreateMediaType(&mt);
    FreeMediaType(mt);
    return *ppmt ? S_OK : S_FALSE;
}

template <>
bool CEnumMediaTypes::Exists(int i) {
    AM_MEDIA_TYPE mt{};
    bool bExists = m_pOwner->GetMediaType(i, &mt) == S_OK;
    FreeMediaType(mt);
    return bExists;
}

}  // namespace

HRESULT CreatePinEnumerator(CBaseFilter* pFilter, int iPosition, IEnumPins** ppEnum) {
    if (!ppEnum) return E_POINTER;
    *ppEnum = new CEnumPins(pFilter, iPosition);
    return S_OK;
}

HRESULT CreateMediaTypeEnumerator(CBasePin* pPin, int iPosition, IEnumMediaTypes** ppEnum) {
    if (!ppEnum) return E_POINTER;
    *ppEnum = new CEnumMediaTypes(pPin, iPosition);
    return S_OK;
}

}  // namespace tb
