// The source stand-in's output pin "Out": proposes one media type (a byte stream), and while
// its filter runs delivers samples from its own thread at the configured byte rate. Answers
// IMediaSeeking in media time: the duration configured, the position as stream time.
#pragma once

#include "FilterBase.h"

namespace tb {

// What the source produces; changed only while its filter is stopped.
struct StreamFormat {
    LONGLONG llBytesPerSecond = 2000000;
    LONG cbSample = 65536;
    REFERENCE_TIME rtDuration = 6000000000;  // 10 minutes
};

class CTavrelOutputPin : public CBasePin, public IMediaSeeking {
public:
    explicit CTavrelOutputPin(CBaseFilter* pFilter);
    ~CTavrelOutputPin() override;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return CBasePin::QueryInterface(riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return CBasePin::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return CBasePin::Release(); }

    HRESULT GetMediaType(int i, AM_MEDIA_TYPE* pmt) override;

    // IMediaSeeking (TavrelSeeking.cpp)
    STDMETHODIMP GetCapabilities(DWORD* pCapabilities) override;
    STDMETHODIMP CheckCapabilities(DWORD* pCapabilities) override;
    STDMETHODIMP IsFormatSupported(const GUID* pFormat) override;
    STDMETHODIMP QueryPreferredFormat(GUID* pFormat) override;
    STDMETHODIMP GetTimeFormat(GUID* pFormat) override;
    STDMETHODIMP IsUsingTimeFormat(const GUID* pFormat) override;
    STDMETHODIMP SetTimeFormat(const GUID* pFormat) override;
    STDMETHODIMP GetDuration(LONGLONG* pDuration) override;
    STDMETHODIMP GetStopPosition(LONGLONG* pStop) override;
    STDMETHODIMP GetCurrentPosition(LONGLONG* pCurrent) override;
    STDMETHODIMP ConvertTimeFormat(LONGLONG* pTarget, const GUID* pTargetFormat, LONGLONG Source,
                                   const GUID* pSourceFormat) override;
    STDMETHODIMP SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop,
                              DWORD dwStopFlags) override;
    STDMETHODIMP GetPositions(LONGLONG* pCurrent, LONGLONG* pStop) override;
    STDMETHODIMP GetAvailable(LONGLONG* pEarliest, LONGLONG* pLatest) override;
    STDMETHODIMP SetRate(double dRate) override;
    STDMETHODIMP GetRate(double* pdRate) override;
    STDMETHODIMP GetPreroll(LONGLONG* pllPreroll) override;

    // Called by the filter with its state lock held.
    void SetFormat(const StreamFormat& format);
    HRESULT Activate();     // stopped -> paused: commit the allocator, start the thread (held)
    void Deactivate();      // -> stopped: end the thread and wait for it
    void StartRunning();    // paused -> running
    void HoldStreaming();   // running -> paused: returns once no sample is being delivered

private:
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override;
    HRESULT QueryPinInterface(REFIID riid, void** ppv) override;
    HRESULT CompleteConnect(IPin* pPeer) override;
    void BreakConnect() override;

    static DWORD WINAPI ThreadProc(void* pParam);
    DWORD DeliverDueData();
    HRESULT DeliverSample();
    REFERENCE_TIME StreamTime() const;
    REFERENCE_TIME CurrentPosition();
    LONGLONG TotalBytes() const;
    REFERENCE_TIME TimeOfByte(LONGLONG llByte) const;

    // Set on connection, released on disconnection (state lock); the thread uses them while
    // active, when the connection cannot change.
    IMemInputPin* m_pInputPin = nullptr;
    IMemAllocator* m_pAllocator = nullptr;
    HANDLE m_hThread = nullptr;
    HANDLE m_hWake = nullptr;  // auto-reset: a change of state for the thread to look at

    // The streaming lock: the format, the stream clock and the delivery counters. The thread
    // holds it while it delivers one sample, so holding the stream waits for that sample.
    mutable CCritSec m_csStream;
    StreamFormat m_format;
    bool m_bQuit = false;
    bool m_bRunning = false;
    bool m_bHalted = false;   // downstream refused a sample: deliver nothing more until restarted
    bool m_bEndSent = false;
    LONGLONG m_llSent = 0;
    REFERENCE_TIME m_rtBeforeRun = 0;  // stream time accumulated before the current run
    LONGLONG m_qpcRunStart = 0;
};

}  // namespace tb
