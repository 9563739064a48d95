#include "InterfacePins.h"

#include <windows.h>

#include <dshow.h>

namespace grfpersist {
namespace {

// The ids whose registration Wine dropped to zero (RpcServerUnregisterIf) in each round of a
// GraphEdit-like client reading a published graph: seen with WINEDEBUG=+rpc in soak_remote.exe
// (IPin and IEnumPins twice per client, IEnumFilters, IMediaControl, IMediaSeeking and IUnknown
// once) and in the program driven by the soak. IFilterGraph and IBaseFilter, which the same
// clients use, stay registered there only because Wine counts every marshal of an existing
// stub once more than it uncounts; they are pinned as well rather than left to that accident.
const IID* const kPinnedIds[] = {
    &IID_IUnknown,       // the graph's identity, as the running object table hands it out
    &IID_IFilterGraph,   // what GraphEdit asks the bound object for
    &IID_IMediaControl,  // the graph's state
    &IID_IMediaSeeking,  // its position
    &IID_IEnumFilters,   // the filters
    &IID_IBaseFilter,
    &IID_IEnumPins,      // each filter's pins
    &IID_IPin,           // each pin and its peer
};
constexpr size_t kPinCount = sizeof(kPinnedIds) / sizeof(kPinnedIds[0]);

// Static and never destroyed: its count is the number of references the pins' stubs hold.
class CPinObject final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        for (const IID* pId : kPinnedIds) {
            if (riid != *pId) continue;
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&m_cRef)); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(::InterlockedDecrement(&m_cRef)); }
    LONG References() const { return ::InterlockedCompareExchange(const_cast<LONG*>(&m_cRef), 0, 0); }

private:
    LONG m_cRef = 0;
};

// Serialises pinning and dropping across threads; recursive, so that no call can wait for
// its own thread.
class CPinLock {
public:
    CPinLock() { ::EnterCriticalSection(Section()); }
    ~CPinLock() { ::LeaveCriticalSection(Section()); }

private:
    // Made on first use (C++ makes that thread-safe) and never deleted: pins may be asked
    // for until the process ends.
    struct SectionHolder {
        SectionHolder() { ::InitializeCriticalSection(&cs); }
        CRITICAL_SECTION cs;
    };
    static CRITICAL_SECTION* Section() {
        static SectionHolder s_section;
        return &s_section.cs;
    }
};

CPinObject g_pinObject;
IStream* g_rgpPinData[kPinCount] = {};  // under CPinLock; the table-strong marshals

// One table-strong marshal: its stub holds the id's registration until the apartment ends.
IStream* MarshalPin(REFIID riid) {
    IStream* pStream = nullptr;
    if (FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, &pStream))) return nullptr;
    if (SUCCEEDED(::CoMarshalInterface(pStream, riid, &g_pinObject, MSHCTX_LOCAL, nullptr, MSHLFLAGS_TABLESTRONG)))
        return pStream;
    pStream->Release();
    return nullptr;
}

void DropPinDataLocked() {
    for (IStream*& pStream : g_rgpPinData) {
        if (pStream) pStream->Release();
        pStream = nullptr;
    }
}

}  // namespace

void PinClientInterfaces() {
    CPinLock lock;
    if (PinsAlive()) return;
    // Pins of an apartment that has ended: their stubs are gone, only their data is left.
    DropPinDataLocked();
    for (size_t i = 0; i < kPinCount; ++i) g_rgpPinData[i] = MarshalPin(*kPinnedIds[i]);
}

bool PinsAlive() { return g_pinObject.References() > 0; }

void DropDeadPins() {
    CPinLock lock;
    if (!PinsAlive()) DropPinDataLocked();
}

}  // namespace grfpersist
