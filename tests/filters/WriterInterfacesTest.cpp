// The writer stand-in as a COM object: registration, interfaces offered and withheld, its pin,
// its configuration through IPersistStream, and reference counts.
#include <gtest/gtest.h>

#include <iterator>

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

// hr.GetClassID: a success code comes with the class id, a failure with nothing written; both
// persist interfaces answer alike, and a null pointer is refused before the configured result.
TEST_F(WriterInterfacesTest, ClassIdQueryAnswersTheConfiguredResult) {
    const struct {
        const char* pszValue;
        HRESULT hrExpected;
        CLSID clsidWritten;
    } rgCases[] = {
        {"0x00040242", static_cast<HRESULT>(0x00040242), CLSID_WriterFilter},
        {"S_FALSE", S_FALSE, CLSID_WriterFilter},
        {"E_FAIL", E_FAIL, GUID_NULL},
    };
    fw::ComQIPtr<IPersistStream> spPersist(m_spWriter.Get());
    ASSERT_TRUE(spPersist);
    for (const auto& c : rgCases) {
        SCOPED_TRACE(c.pszValue);
        ASSERT_HR(S_OK, LoadConfig(m_spWriter, std::string("hr.GetClassID=") + c.pszValue + "\n"));
        CLSID clsid = GUID_NULL;
        EXPECT_HR(c.hrExpected, m_spWriter->GetClassID(&clsid));
        EXPECT_EQ(c.clsidWritten, clsid);
        clsid = GUID_NULL;
        EXPECT_HR(c.hrExpected, spPersist->GetClassID(&clsid));
        EXPECT_EQ(c.clsidWritten, clsid);
        EXPECT_HR(E_POINTER, m_spWriter->GetClassID(nullptr));
    }
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

// The writer's binary contract, typed from its interface tables rather than read from the
// shared header: identifiers as text, methods by vtable slot. Each call is identified by the
// journal line the writer writes for it, so a header whose order or identifiers drifted fails
// (a setter's value landing in a moved getter's out-pointer fails as an access violation).
const wchar_t kWriterClsid[] = L"{8E9C3E01-2306-4A81-911F-8825C7C82516}";
const wchar_t kControlIid[] = L"{489F6F19-9F5A-4826-9A04-333629E26E67}";
const wchar_t kVersionIid[] = L"{44B8DE04-B24C-4523-899D-295F013E5958}";

GUID GuidOf(const wchar_t* pszText) {
    GUID guid = GUID_NULL;
    EXPECT_HR(S_OK, ::CLSIDFromString(pszText, &guid));
    return guid;
}

// Calls slot iSlot of pInterface with one argument, as the writer's callers do on the wire.
template <class Arg>
HRESULT CallSlot(void* pInterface, int iSlot, Arg arg) {
    void** rgpfnVtable = *static_cast<void***>(pInterface);
    using Method = HRESULT(STDMETHODCALLTYPE*)(void*, Arg);
    return reinterpret_cast<Method>(rgpfnVtable[iSlot])(pInterface, arg);
}

struct SlotCall {
    int iSlot;
    bool bSetter;  // passes 100 + slot; a getter passes the address of a zeroed 64-bit variable
    const char* pszJournal;
};

// Setters first, so each getter reads back its own setter's value.
const SlotCall kControlSlots[] = {
    {4, true, "SetInterleaving 104"},    {6, true, "SetSaveBreaksOnly 106"}, {8, true, "SetSharedAccess 108"},
    {10, true, "SetNonDrop 110"},        {12, true, "SetMdatMode 112"},      {14, true, "SetLongDur 114"},
    {3, false, "GetWritten 77"},         {5, false, "GetInterleaving 104"},  {7, false, "GetSaveBreaksOnly 106"},
    {9, false, "GetSharedAccess 108"},   {11, false, "GetNonDrop 110"},      {13, false, "GetMdatMode 112"},
    {15, false, "GetLongDur 114"},
};
const SlotCall kVersionSlots[] = {
    {3, false, "GetType 1"}, {4, false, "GetOS 0"}, {5, false, "GetName \"N\""},
    {6, false, "GetNumber \"No\""}, {7, false, "GetDateTime \"D\""},
};

std::string CallSlots(void* pInterface, const SlotCall* rgCalls, size_t cCalls) {
    std::string expected;
    for (size_t i = 0; i < cCalls; ++i) {
        const SlotCall& call = rgCalls[i];
        LONGLONG llOut = 0;
        HRESULT hr = call.bSetter ? CallSlot(pInterface, call.iSlot, static_cast<DWORD>(100 + call.iSlot))
                                  : CallSlot(pInterface, call.iSlot, &llOut);
        EXPECT_HR(S_OK, hr) << "slot " << call.iSlot;
        if (std::string(call.pszJournal).find('"') != std::string::npos)
            ::SysFreeString(reinterpret_cast<BSTR>(llOut));
        expected += std::string(call.pszJournal) + " -> 0x00000000\n";
    }
    return expected;
}

TEST(WriterContract, IdentifiersAndSlotOrderAreTheWritersOwn) {
    EXPECT_EQ(GuidOf(kWriterClsid), CLSID_WriterFilter);
    EXPECT_EQ(GuidOf(kControlIid), IID_IWriterControl);
    EXPECT_EQ(GuidOf(kVersionIid), IID_IWriterVersion);

    std::wstring journal = test::MakeTempDir(L"slots") + L"\\journal.txt";
    fw::ComPtr<IUnknown> spWriter;
    ASSERT_HR(S_OK, ::CoCreateInstance(GuidOf(kWriterClsid), nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                       reinterpret_cast<void**>(&spWriter)));
    ASSERT_HR(S_OK, LoadConfig(spWriter, "journal=" + filtertest::Utf8(journal) +
                                             "\nwritten=77\ntype=1\nos=0\nname=N\nnumber=No\ndate=D\n"));
    void* pControl = nullptr;
    void* pVersion = nullptr;
    ASSERT_HR(S_OK, spWriter->QueryInterface(GuidOf(kControlIid), &pControl));
    ASSERT_HR(S_OK, spWriter->QueryInterface(GuidOf(kVersionIid), &pVersion));

    std::string expected = CallSlots(pControl, kControlSlots, std::size(kControlSlots));
    expected += CallSlots(pVersion, kVersionSlots, std::size(kVersionSlots));
    EXPECT_EQ(expected, filtertest::ReadFileText(journal));

    // Slots 0 to 2 are IUnknown's: QueryInterface gives the filter's identity, AddRef and Release
    // count on it (the test's holder, the two interfaces and the identity: 4).
    using QueryMethod = HRESULT(STDMETHODCALLTYPE*)(void*, REFIID, void**);
    using CountMethod = ULONG(STDMETHODCALLTYPE*)(void*);
    void** rgpfnVersion = *static_cast<void***>(pVersion);
    void* pIdentity = nullptr;
    EXPECT_HR(S_OK, reinterpret_cast<QueryMethod>(rgpfnVersion[0])(pVersion, IID_IUnknown, &pIdentity));
    EXPECT_EQ(static_cast<void*>(spWriter.Get()), pIdentity);
    EXPECT_EQ(5u, reinterpret_cast<CountMethod>(rgpfnVersion[1])(pVersion));
    EXPECT_EQ(4u, reinterpret_cast<CountMethod>(rgpfnVersion[2])(pVersion));
    for (void* p : {pIdentity, pVersion, pControl}) static_cast<IUnknown*>(p)->Release();
    EXPECT_EQ(0u, spWriter.Detach()->Release());
}

}  // namespace
