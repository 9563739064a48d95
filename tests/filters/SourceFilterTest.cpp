// The source stand-in as a COM object: interfaces, its output pin and media type, and the
// position queries of its pin.
#include <windows.h>

#include <gtest/gtest.h>

#include "FilterTestSupport.h"
#include "TestSupport.h"
#include "TestbedIds.h"
#include "WriterInterfaces.h"

using filtertest::LiveObjects;
using filtertest::LoadConfig;

namespace {

class SourceFilterTest : public testing::Test {
protected:
    void SetUp() override {
        m_cLiveAtStart = LiveObjects();
        ASSERT_HR(S_OK, m_spSource.CoCreateInstance(CLSID_TavrelSource));
        m_spOut = filtertest::FindPin(m_spSource, L"Out");
        ASSERT_TRUE(m_spOut);
        ASSERT_HR(S_OK, m_spOut->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&m_spSeeking)));
    }
    void TearDown() override {
        m_spSeeking.Release();
        m_spOut.Release();
        if (m_spSource) {
            EXPECT_EQ(0u, m_spSource.Detach()->Release());
        }
        EXPECT_EQ(m_cLiveAtStart, LiveObjects());
    }

    LONG m_cLiveAtStart = 0;
    fw::ComPtr<IBaseFilter> m_spSource;
    fw::ComPtr<IPin> m_spOut;
    fw::ComPtr<IMediaSeeking> m_spSeeking;
};

TEST_F(SourceFilterTest, OffersFilterAndPersistenceOnly) {
    CHECK_INTERFACE(m_spSource, IID_IBaseFilter, true);
    CHECK_INTERFACE(m_spSource, IID_IMediaFilter, true);
    CHECK_INTERFACE(m_spSource, IID_IPersist, true);
    CHECK_INTERFACE(m_spSource, IID_IPersistStream, true);
    CHECK_INTERFACE(m_spSource, IID_IFileSinkFilter, false);
    CHECK_INTERFACE(m_spSource, IID_IFileSourceFilter, false);
    CHECK_INTERFACE(m_spSource, IID_IWriterControl, false);
    CHECK_INTERFACE(m_spSource, IID_IWriterVersion, false);
    CHECK_INTERFACE(m_spSource, IID_IAMFilterMiscFlags, false);
    CLSID clsid = GUID_NULL;
    EXPECT_HR(S_OK, m_spSource->GetClassID(&clsid));
    EXPECT_EQ(CLSID_TavrelSource, clsid);
    EXPECT_EQ(3u, test::RefCount(m_spSource));  // the test's holders of filter, pin and seeking
}

TEST_F(SourceFilterTest, HasOneOutputPinOutWithSeeking) {
    PIN_INFO info{};
    ASSERT_HR(S_OK, m_spOut->QueryPinInfo(&info));
    EXPECT_EQ(PINDIR_OUTPUT, info.dir);
    EXPECT_STREQ(L"Out", info.achName);
    EXPECT_EQ(static_cast<IUnknown*>(m_spSource.Get()), static_cast<IUnknown*>(info.pFilter));
    info.pFilter->Release();
    CHECK_INTERFACE(m_spOut, IID_IMediaSeeking, true);
    CHECK_INTERFACE(m_spOut, IID_IMemInputPin, false);
    fw::ComPtr<IEnumPins> spEnum;
    ASSERT_HR(S_OK, m_spSource->EnumPins(&spEnum));
    fw::ComPtr<IPin> rgPins[2];
    ULONG cFetched = 0;
    EXPECT_HR(S_FALSE, spEnum->Next(2, &rgPins[0], &cFetched));
    EXPECT_EQ(1u, cFetched);
    EXPECT_EQ(m_spOut.Get(), rgPins[0].Get());
}

TEST_F(SourceFilterTest, ProposesOneByteStreamMediaType) {
    fw::ComPtr<IEnumMediaTypes> spEnum;
    ASSERT_HR(S_OK, m_spOut->EnumMediaTypes(&spEnum));
    AM_MEDIA_TYPE* pmt = nullptr;
    ASSERT_HR(S_OK, spEnum->Next(1, &pmt, nullptr));
    EXPECT_EQ(MEDIATYPE_Stream, pmt->majortype);
    EXPECT_EQ(MEDIASUBTYPE_NULL, pmt->subtype);
    EXPECT_EQ(FORMAT_None, pmt->formattype);
    EXPECT_EQ(0u, pmt->cbFormat);
    ::CoTaskMemFree(pmt);
    AM_MEDIA_TYPE* pmtMore = nullptr;
    EXPECT_HR(S_FALSE, spEnum->Next(1, &pmtMore, nullptr));
    EXPECT_HR(S_OK, spEnum->Reset());
    EXPECT_HR(S_OK, spEnum->Skip(1));
    EXPECT_HR(S_FALSE, spEnum->Skip(1));
}

TEST_F(SourceFilterTest, SeeksInMediaTimeOnly) {
    GUID format = GUID_NULL;
    EXPECT_HR(S_OK, m_spSeeking->GetTimeFormat(&format));
    EXPECT_EQ(TIME_FORMAT_MEDIA_TIME, format);
    EXPECT_HR(S_OK, m_spSeeking->IsFormatSupported(&TIME_FORMAT_MEDIA_TIME));
    EXPECT_HR(S_FALSE, m_spSeeking->IsFormatSupported(&TIME_FORMAT_FRAME));
    EXPECT_HR(E_INVALIDARG, m_spSeeking->SetTimeFormat(&TIME_FORMAT_BYTE));
    EXPECT_HR(S_OK, m_spSeeking->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME));
    DWORD dwCaps = 0;
    EXPECT_HR(S_OK, m_spSeeking->GetCapabilities(&dwCaps));
    EXPECT_EQ(static_cast<DWORD>(AM_SEEKING_CanGetCurrentPos | AM_SEEKING_CanGetStopPos | AM_SEEKING_CanGetDuration),
              dwCaps);
    dwCaps = AM_SEEKING_CanSeekAbsolute;
    EXPECT_HR(E_FAIL, m_spSeeking->CheckCapabilities(&dwCaps));
}

TEST_F(SourceFilterTest, ReportsTheConfiguredDurationAndPositionZeroBeforeStreaming) {
    LONGLONG llDuration = 0, llPosition = -1, llEarliest = -1, llLatest = -1;
    EXPECT_HR(S_OK, m_spSeeking->GetDuration(&llDuration));
    EXPECT_EQ(6000000000, llDuration);  // 10 minutes by default
    ASSERT_HR(S_OK, LoadConfig(m_spSource, "duration=123456789\n"));
    EXPECT_HR(S_OK, m_spSeeking->GetDuration(&llDuration));
    EXPECT_EQ(123456789, llDuration);
    EXPECT_HR(S_OK, m_spSeeking->GetStopPosition(&llDuration));
    EXPECT_EQ(123456789, llDuration);
    EXPECT_HR(S_OK, m_spSeeking->GetCurrentPosition(&llPosition));
    EXPECT_EQ(0, llPosition);
    EXPECT_HR(S_OK, m_spSeeking->GetAvailable(&llEarliest, &llLatest));
    EXPECT_EQ(0, llEarliest);
    EXPECT_EQ(0, llLatest);
    EXPECT_HR(E_POINTER, m_spSeeking->GetDuration(nullptr));
}

TEST_F(SourceFilterTest, UnconnectedSourceChangesStateWithoutStreaming) {
    EXPECT_HR(S_OK, m_spSource->Run(0));
    FILTER_STATE state = State_Stopped;
    EXPECT_HR(S_OK, m_spSource->GetState(0, &state));
    EXPECT_EQ(State_Running, state);
    EXPECT_HR(S_OK, m_spSource->Pause());
    EXPECT_HR(S_OK, m_spSource->Stop());
    EXPECT_HR(S_OK, m_spSource->GetState(0, &state));
    EXPECT_EQ(State_Stopped, state);
}

}  // namespace
