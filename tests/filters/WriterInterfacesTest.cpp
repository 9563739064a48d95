// The writer stand-in as a COM object: registration, interfaces offered and withheld, its pin,
// its configuration through IPersistStream, and reference counts.
#include <gtest/gtest.h>

#include "FilterTestSupport.h"
#include "TestSupport.h"
#include "WriterInterfaces.h"

using filtertest::LiveObjects;
using filtertest::LoadConfig;
using filtertest::SaveConfig;

namespace {

class WriterInterfacesTest : public testing::Test {
protected:
    void SetUp() override {
        m_cLiveAtStart = LiveObjects();
        ASSERT_HR(S_OK, m_spWriter.CoCreateInstance(CLSID_WriterFilter));
    }
    void TearDown() override {
        if (m_spWriter) {
            EXPECT_EQ(0u, m_spWriter.Detach()->Release());
        }
        EXPECT_EQ(m_cLiveAtStart, LiveObjects());
    }

    LONG m_cLiveAtStart = 0;
    fw::ComPtr<IBaseFilter> m_spWriter;
};

TEST_F(WriterInterfacesTest, RegisteredInProcessWithFullPathAndBothThreading) {
    wchar_t szClsid[40];
    ::StringFromGUID2(CLSID_WriterFilter, szClsid, 40);
    std::wstring key = std::wstring(L"CLSID\\") + szClsid + L"\\InprocServer32";
    wchar_t szPath[MAX_PATH] = {};
    DWORD cb = sizeof szPath;
    ASSERT_EQ(ERROR_SUCCESS, ::RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, szPath, &cb));
    EXPECT_NE(nullptr, ::GetModuleHandleW(szPath)) << "COM loaded another file than the registered "
                                                   << test::Narrow(szPath);
    wchar_t szModel[32] = {};
    cb = sizeof szModel;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), L"ThreadingModel", RRF_RT_REG_SZ, nullptr, szModel, &cb));
    EXPECT_STREQ(L"Both", szModel);
}

TEST_F(WriterInterfacesTest, OffersFilterSinkPersistenceAndWriterInterfaces) {
    CHECK_INTERFACE(m_spWriter, IID_IUnknown, true);
    CHECK_INTERFACE(m_spWriter, IID_IPersist, true);
    CHECK_INTERFACE(m_spWriter, IID_IMediaFilter, true);
    CHECK_INTERFACE(m_spWriter, IID_IBaseFilter, true);
    CHECK_INTERFACE(m_spWriter, IID_IPersistStream, true);
    CHECK_INTERFACE(m_spWriter, IID_IFileSinkFilter, true);
    CHECK_INTERFACE(m_spWriter, IID_IMediaSeeking, true);
    CHECK_INTERFACE(m_spWriter, IID_IAMFilterMiscFlags, true);
    CHECK_INTERFACE(m_spWriter, IID_IWriterControl, true);
    CHECK_INTERFACE(m_spWriter, IID_IWriterVersion, true);
    CHECK_INTERFACE(m_spWriter, IID_IPin, false);
    CHECK_INTERFACE(m_spWriter, IID_IPersistPropertyBag, false);
    CHECK_INTERFACE(m_spWriter, IID_IFileSinkFilter2, false);
    CHECK_INTERFACE(m_spWriter, IID_IReferenceClock, false);
    EXPECT_EQ(1u, test::RefCount(m_spWriter));
}

TEST_F(WriterInterfacesTest, AllInterfacesShareOneIdentity) {
    fw::ComQIPtr<IWriterControl> spControl(m_spWriter.Get());
    ASSERT_TRUE(spControl);
    EXPECT_EQ(2u, test::RefCount(m_spWriter));
    fw::ComQIPtr<IUnknown> spFromFilter(m_spWriter.Get());
    fw::ComQIPtr<IUnknown> spFromControl(spControl.Get());
    EXPECT_EQ(spFromFilter.Get(), spFromControl.Get());
    spFromFilter.Release();
    spFromControl.Release();
    spControl.Release();
    EXPECT_EQ(1u, test::RefCount(m_spWriter));
}

TEST_F(WriterInterfacesTest, ClassIdIsTheWritersThroughBothPersistInterfaces) {
    CLSID clsid = GUID_NULL;
    EXPECT_HR(S_OK, m_spWriter->GetClassID(&clsid));
    EXPECT_EQ(CLSID_WriterFilter, clsid);
    fw::ComQIPtr<IPersistStream> spPersist(m_spWriter.Get());
    clsid = GUID_NULL;
    EXPECT_HR(S_OK, spPersist->GetClassID(&clsid));
    EXPECT_EQ(CLSID_WriterFilter, clsid);
}

TEST_F(WriterInterfacesTest, WithholdsControlInterfaceWhenConfigured) {
    ASSERT_HR(S_OK, LoadConfig(m_spWriter, "hidecontrol=1\n"));
    CHECK_INTERFACE(m_spWriter, IID_IWriterControl, false);
    CHECK_INTERFACE(m_spWriter, IID_IWriterVersion, true);
}

TEST_F(WriterInterfacesTest, WithholdsVersionInterfaceWhenConfigured) {
    ASSERT_HR(S_OK, LoadConfig(m_spWriter, "hideversion=1\n"));
    CHECK_INTERFACE(m_spWriter, IID_IWriterControl, true);
    CHECK_INTERFACE(m_spWriter, IID_IWriterVersion, false);
}

TEST_F(WriterInterfacesTest, WithholdsBothAndOffersThemAgainAfterReload) {
    ASSERT_HR(S_OK, LoadConfig(m_spWriter, "hidecontrol=1\nhideversion=1\n"));
    CHECK_INTERFACE(m_spWriter, IID_IWriterControl, false);
    CHECK_INTERFACE(m_spWriter, IID_IWriterVersion, false);
    CHECK_INTERFACE(m_spWriter, IID_IBaseFilter, true);
    ASSERT_HR(S_OK, LoadConfig(m_spWriter, ""));
    CHECK_INTERFACE(m_spWriter, IID_IWriterControl, true);
    CHECK_INTERFACE(m_spWriter, IID_IWriterVersion, true);
}

TEST_F(WriterInterfacesTest, HasOneInputPinNamedInThatSharesTheFiltersCount) {
    fw::ComPtr<IEnumPins> spEnum;
    ASSERT_HR(S_OK, m_spWriter->EnumPins(&spEnum));
    EXPECT_EQ(2u, test::RefCount(m_spWriter));  // the enumerator holds the filter
    fw::ComPtr<IPin> spPin;
    ASSERT_HR(S_OK, spEnum->Next(1, &spPin, nullptr));
    fw::ComPtr<IPin> spNoMore;
    EXPECT_HR(S_FALSE, spEnum->Next(1, &spNoMore, nullptr));
    EXPECT_EQ(nullptr, spNoMore.Get());

    LPWSTR pszId = nullptr;
    ASSERT_HR(S_OK, spPin->QueryId(&pszId));
    EXPECT_STREQ(L"In", pszId);
    ::CoTaskMemFree(pszId);
    PIN_DIRECTION dir = PINDIR_OUTPUT;
    EXPECT_HR(S_OK, spPin->QueryDirection(&dir));
    EXPECT_EQ(PINDIR_INPUT, dir);
    CHECK_INTERFACE(spPin, IID_IMemInputPin, true);
    CHECK_INTERFACE(spPin, IID_IBaseFilter, false);
    EXPECT_EQ(3u, test::RefCount(m_spWriter));  // enumerator and pin
    spEnum.Release();
    spPin.Release();
    EXPECT_EQ(1u, test::RefCount(m_spWriter));
}

TEST_F(WriterInterfacesTest, InputPinAcceptsAnyMediaType) {
    fw::ComPtr<IPin> spPin = filtertest::FindPin(m_spWriter, L"In");
    ASSERT_TRUE(spPin);
    AM_MEDIA_TYPE mt{};
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = MEDIASUBTYPE_RGB24;
    EXPECT_HR(S_OK, spPin->QueryAccept(&mt));
    mt.majortype = MEDIATYPE_Stream;
    mt.subtype = GUID_NULL;
    EXPECT_HR(S_OK, spPin->QueryAccept(&mt));
    mt.majortype = GUID_NULL;
    EXPECT_HR(S_OK, spPin->QueryAccept(&mt));
}

TEST_F(WriterInterfacesTest, ConfiguredInputCountNamesPinsInAndInN) {
    ASSERT_HR(S_OK, LoadConfig(m_spWriter, "inputs=3\n"));
    for (const wchar_t* pszId : {L"In", L"In 2", L"In 3"}) EXPECT_TRUE(filtertest::FindPin(m_spWriter, pszId)) << test::Narrow(pszId);
    EXPECT_FALSE(filtertest::FindPin(m_spWriter, L"In 4"));
    ASSERT_HR(S_OK, LoadConfig(m_spWriter, "inputs=1\n"));
    EXPECT_FALSE(filtertest::FindPin(m_spWriter, L"In 2"));
    EXPECT_TRUE(filtertest::FindPin(m_spWriter, L"In"));
}

TEST_F(WriterInterfacesTest, FileSinkKeepsTheNameItWasGiven) {
    fw::ComQIPtr<IFileSinkFilter> spSink(m_spWriter.Get());
    LPOLESTR pszFile = reinterpret_cast<LPOLESTR>(1);
    EXPECT_HR(S_OK, spSink->GetCurFile(&pszFile, nullptr));
    EXPECT_EQ(nullptr, pszFile);
    EXPECT_HR(E_POINTER, spSink->SetFileName(nullptr, nullptr));
    ASSERT_HR(S_OK, spSink->SetFileName(L"C:\\out dir\\a.mp4", nullptr));
    AM_MEDIA_TYPE mt{};
    ASSERT_HR(S_OK, spSink->GetCurFile(&pszFile, &mt));
    EXPECT_STREQ(L"C:\\out dir\\a.mp4", pszFile);
    ::CoTaskMemFree(pszFile);
}

}  // namespace
