#include "TavrelOutputPin.h"

#include <algorithm>

#include "Debug.h"
#include "MediaTypes.h"

FW_ASSERT_SOURCE(L"TavrelOutputPin");

namespace tb {
namespace {

constexpr LONGLONG kUnitsPerSecond = 10000000;  // REFERENCE_TIME: 100 ns
constexpr long kBuffers = 4;

// a * b / c, truncated, exact while the quotient fits in 64 bits: times in 100 ns units times
// counter rates overflow 64 bits, so the product is kept in 128 (two halves; x86 compilers have
// no 128-bit integer) and divided one bit at a time.
ULONGLONG ScaleDownMagnitudes(ULONGLONG a, ULONGLONG b, ULONGLONG c) {
    const ULONGLONG aLo = a & 0xFFFFFFFF, aHi = a >> 32, bLo = b & 0xFFFFFFFF, bHi = b >> 32;
    const ULONGLONG ll = aLo * bLo, lh = aLo * bHi, hl = aHi * bLo;
    const ULONGLONG mid = (ll >> 32) + (lh & 0xFFFFFFFF) + (hl & 0xFFFFFFFF);
    const ULONGLONG hi = aHi * bHi + (lh >> 32) + (hl >> 32) + (mid >> 32);
    const ULONGLONG lo = (mid << 32) | (ll & 0xFFFFFFFF);
    ULONGLONG remainder = hi % c, quotient = 0;  // c < 2^63, so the remainder's shift cannot overflow
    for (int bit = 63; bit >= 0; --bit) {
        remainder = (remainder << 1) | ((lo >> bit) & 1);
        quotient <<= 1;
        if (remainder >= c) {
            remainder -= c;
            quotient |= 1;
        }
    }
    return quotient;
}

ULONGLONG Magnitude(LONGLONG v) { return v < 0 ? 0 - static_cast<ULONGLONG>(v) : static_cast<ULONGLONG>(v); }

LONGLONG ScaleDown(LONGLONG a, LONGLONG b, LONGLONG c) {
    const ULONGLONG q = ScaleDownMagnitudes(Magnitude(a), Magnitude(b), Magnitude(c));
    return ((a < 0) != (b < 0)) != (c < 0) ? -static_cast<LONGLONG>(q) : static_cast<LONGLONG>(q);
}

LONGLONG PerformanceCounter() {
    LARGE_INTEGER li;
    ::QueryPerformanceCounter(&li);
    return li.QuadPart;
}

LONGLONG PerformanceFrequency() {
    LARGE_INTEGER li;
    ::QueryPerformanceFrequency(&li);
    return li.QuadPart;
}

}  // namespace

CTavrelOutputPin::CTavrelOutputPin(CBaseFilter* pFilter) : CBasePin(pFilter, PINDIR_OUTPUT, L"Out") {}

CTavrelOutputPin::~CTavrelOutputPin() { BreakConnect(); }

HRESULT CTavrelOutputPin::QueryPinInterface(REFIID riid, void** ppv) {
    if (riid != IID_IMediaSeeking) return E_NOINTERFACE;
    *ppv = static_cast<IMediaSeeking*>(this);
    AddRef();
    return S_OK;
}

// One proposal: an untyped byte stream. Any type the other side names is taken as it is.
HRESULT CTavrelOutputPin::GetMediaType(int i, AM_MEDIA_TYPE* pmt) {
    if (i != 0) return VFW_S_NO_MORE_ITEMS;
    *pmt = AM_MEDIA_TYPE{};
    pmt->majortype = MEDIATYPE_Stream;
    pmt->subtype = MEDIASUBTYPE_NULL;
    pmt->bFixedSizeSamples = TRUE;
    pmt->lSampleSize = 1;
    pmt->formattype = FORMAT_None;
    return S_OK;
}

HRESULT CTavrelOutputPin::CheckMediaType(const AM_MEDIA_TYPE*) { return S_OK; }

// Takes the input pin's allocator, or DirectShow's memory allocator when it has none. Its
// properties are set on each activation, since the sample size may change in between.
HRESULT CTavrelOutputPin::CompleteConnect(IPin* pPeer) {
    HRESULT hr = pPeer->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&m_pInputPin));
    if (FAILED(hr)) return VFW_E_NO_TRANSPORT;
    if (FAILED(m_pInputPin->GetAllocator(&m_pAllocator))) {
        hr = ::CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                reinterpret_cast<void**>(&m_pAllocator));
        if (FAILED(hr)) return hr;
    }
    return m_pInputPin->NotifyAllocator(m_pAllocator, FALSE);
}

void CTavrelOutputPin::BreakConnect() {
    if (m_pAllocator) m_pAllocator->Release();
    m_pAllocator = nullptr;
    if (m_pInputPin) m_pInputPin->Release();
    m_pInputPin = nullptr;
}

void CTavrelOutputPin::SetFormat(const StreamFormat& format) {
    CAutoLock lock(m_csStream);
    m_format = format;
}

// ---- State changes (the filter's state lock is held)

HRESULT CTavrelOutputPin::Activate() {
    FW_ASSERT(m_pFilter->FilterLock().IsHeldByMe());
    {
        CAutoLock lock(m_csStream);
        m_bQuit = m_bRunning = m_bHalted = m_bEndSent = false;
        m_llSent = 0;
        m_rtBeforeRun = 0;
    }
    if (!m_pConnected) return S_OK;  // nothing to deliver to
    ALLOCATOR_PROPERTIES request{kBuffers, m_format.cbSample, 1, 0}, actual{};
    HRESULT hr = m_pAllocator->SetProperties(&request, &actual);
    if (SUCCEEDED(hr)) hr = m_pAllocator->Commit();
    if (FAILED(hr)) return hr;
    m_hWake = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    m_hThread = m_hWake ? ::CreateThread(nullptr, 0, &ThreadProc, this, 0, nullptr) : nullptr;
    if (!m_hThread) {
        hr = HRESULT_FROM_WIN32(::GetLastError());
        Deactivate();
    }
    return hr;
}

// Decommitting first releases a thread that waits for a free buffer; the thread never takes
// the state lock, so waiting for it here while holding that lock cannot deadlock.
void CTavrelOutputPin::Deactivate() {
    FW_ASSERT(m_pFilter->FilterLock().IsHeldByMe());
    if (m_pAllocator) m_pAllocator->Decommit();
    {
        CAutoLock lock(m_csStream);
        if (m_bRunning) m_rtBeforeRun = StreamTime();
        m_bQuit = true;
        m_bRunning = false;
    }
    if (m_hThread) {
        ::SetEvent(m_hWake);
        ::WaitForSingleObject(m_hThread, INFINITE);
        ::CloseHandle(m_hThread);
        m_hThread = nullptr;
    }
    if (m_hWake) ::CloseHandle(m_hWake);
    m_hWake = nullptr;
}

void CTavrelOutputPin::StartRunning() {
    CAutoLock lock(m_csStream);
    m_qpcRunStart = PerformanceCounter();
    m_bRunning = true;
    if (m_hWake) ::SetEvent(m_hWake);
}

void CTavrelOutputPin::HoldStreaming() {
    CAutoLock lock(m_csStream);
    m_rtBeforeRun = StreamTime();
    m_bRunning = false;
}

// ---- The streaming thread

DWORD WINAPI CTavrelOutputPin::ThreadProc(void* pParam) {
    auto* pThis = static_cast<CTavrelOutputPin*>(pParam);
    for (;;) {
        DWORD dwWaitMs;
        {
            CAutoLock lock(pThis->m_csStream);
            if (pThis->m_bQuit) return 0;
            dwWaitMs = pThis->DeliverDueData();
        }
        if (dwWaitMs != 0) ::WaitForSingleObject(pThis->m_hWake, dwWaitMs);
    }
}

// Streaming lock held. Delivers the next sample if it is due and answers how long to wait for
// the one after (0: at once, INFINITE: until the state changes).
DWORD CTavrelOutputPin::DeliverDueData() {
    FW_ASSERT(m_csStream.IsHeldByMe() && !m_pFilter->FilterLock().IsHeldByMe());
    if (!m_bRunning || m_bHalted || m_bEndSent) return INFINITE;
    if (m_llSent >= TotalBytes()) {
        m_pConnected->EndOfStream();
        m_bEndSent = true;
        return INFINITE;
    }
    REFERENCE_TIME rtDue = TimeOfByte(m_llSent);
    REFERENCE_TIME rtNow = StreamTime();
    if (rtDue > rtNow) return static_cast<DWORD>((rtDue - rtNow + 9999) / 10000);
    if (m_llSent == 0) m_pConnected->NewSegment(0, m_format.rtDuration, 1.0);
    if (DeliverSample() != S_OK) m_bHalted = true;
    return 0;
}

HRESULT CTavrelOutputPin::DeliverSample() {
    IMediaSample* pSample = nullptr;
    HRESULT hr = m_pAllocator->GetBuffer(&pSample, nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    BYTE* pbData = nullptr;
    pSample->GetPointer(&pbData);
    LONG cbData = static_cast<LONG>(std::min<LONGLONG>({m_format.cbSample, pSample->GetSize(), TotalBytes() - m_llSent}));
    for (LONG i = 0; i < cbData; ++i) pbData[i] = static_cast<BYTE>(m_llSent + i);
    REFERENCE_TIME rtStart = TimeOfByte(m_llSent), rtStop = TimeOfByte(m_llSent + cbData);
    pSample->SetActualDataLength(cbData);
    pSample->SetTime(&rtStart, &rtStop);
    pSample->SetSyncPoint(TRUE);
    pSample->SetDiscontinuity(m_llSent == 0);
    hr = m_pInputPin->Receive(pSample);
    pSample->Release();
    if (hr == S_OK) m_llSent += cbData;
    return hr;
}

// ---- The stream clock (streaming lock held): running time since activation, pauses excluded.

REFERENCE_TIME CTavrelOutputPin::StreamTime() const {
    if (!m_bRunning) return m_rtBeforeRun;
    return m_rtBeforeRun + ScaleDown(PerformanceCounter() - m_qpcRunStart, kUnitsPerSecond, PerformanceFrequency());
}

REFERENCE_TIME CTavrelOutputPin::CurrentPosition() {
    CAutoLock lock(m_csStream);
    return std::min(StreamTime(), m_format.rtDuration);
}

LONGLONG CTavrelOutputPin::TotalBytes() const {
    return ScaleDown(m_format.rtDuration, m_format.llBytesPerSecond, kUnitsPerSecond);
}

REFERENCE_TIME CTavrelOutputPin::TimeOfByte(LONGLONG llByte) const {
    return ScaleDown(llByte, kUnitsPerSecond, m_format.llBytesPerSecond);
}

}  // namespace tb
