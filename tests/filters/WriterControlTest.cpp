// IWriterControl and IWriterVersion of the writer stand-in: options stored exactly as set,
// configured results passed back, failing getters, refusal while active, and the journal.
#include <windows.h>

#include <cstdint>

#include <gtest/gtest.h>

#include "ComBstr.h"
#include "FilterTestSupport.h"
#include "TestSupport.h"
#include "WriterInterfaces.h"

using filtertest::LiveObjects;
using filtertest::LoadConfig;

namespace {

class WriterControlTest : public testing::Test {
protected:
    void SetUp() override {
        m_cLiveAtStart = LiveObjects();
        ASSERT_HR(S_OK, m_spWriter.CoCreateInstance(CLSID_WriterFilter));
        Reload("");
    }
    void TearDown() override {
        m_spControl.Release();
        m_spVersion.Release();
        if (m_spWriter) {
            EXPECT_EQ(0u, m_spWriter.Detach()->Release());
        }
        EXPECT_EQ(m_cLiveAtStart, LiveObjects());
    }
    // Loads a configuration and asks again for the two interfaces.
    void Reload(const std::string& config) {
        m_spControl.Release();
        m_spVersion.Release();
        ASSERT_HR(S_OK, LoadConfig(m_spWriter, config));
        m_spWriter->QueryInterface(IID_IWriterControl, reinterpret_cast<void**>(&m_spControl));
        m_spWriter->QueryInterface(IID_IWriterVersion, reinterpret_cast<void**>(&m_spVersion));
        ASSERT_TRUE(m_spControl && m_spVersion);
    }
    std::wstring JournalPath() { return test::MakeTempDir(L"journal") + L"\\journal.txt"; }

    LONG m_cLiveAtStart = 0;
    fw::ComPtr<IBaseFilter> m_spWriter;
    fw::ComPtr<IWriterControl> m_spControl;
    fw::ComPtr<IWriterVersion> m_spVersion;
};

TEST_F(WriterControlTest, OptionsStartAtTheirDefaults) {
    DWORD dw = 0;
    BOOL b = 7;
    EXPECT_HR(S_OK, m_spControl->GetInterleaving(&dw));
    EXPECT_EQ(500u, dw);
    for (auto pfnGet : {&IWriterControl::GetSaveBreaksOnly, &IWriterControl::GetSharedAccess,
                        &IWriterControl::GetNonDrop, &IWriterControl::GetMdatMode, &IWriterControl::GetLongDur}) {
        b = 7;
        EXPECT_HR(S_OK, (m_spControl.Get()->*pfnGet)(&b));
        EXPECT_EQ(0, b);
    }
}

TEST_F(WriterControlTest, InterleavingIsStoredUnclamped) {
    for (DWORD dwValue : {5000u, 0u, 2001u, 0xFFFFFFFFu}) {
        EXPECT_HR(S_OK, m_spControl->SetInterleaving(dwValue));
        DWORD dw = 12345;
        EXPECT_HR(S_OK, m_spControl->GetInterleaving(&dw));
        EXPECT_EQ(dwValue, dw);
    }
}

TEST_F(WriterControlTest, EachBooleanIsStoredAsGivenAndIndependently) {
    struct Option {
        HRESULT (STDMETHODCALLTYPE IWriterControl::*pfnSet)(BOOL);
        HRESULT (STDMETHODCALLTYPE IWriterControl::*pfnGet)(BOOL*);
    };
    const Option rgOptions[] = {
        {&IWriterControl::SetSaveBreaksOnly, &IWriterControl::GetSaveBreaksOnly},
        {&IWriterControl::SetSharedAccess, &IWriterControl::GetSharedAccess},
        {&IWriterControl::SetNonDrop, &IWriterControl::GetNonDrop},
        {&IWriterControl::SetMdatMode, &IWriterControl::GetMdatMode},
        {&IWriterControl::SetLongDur, &IWriterControl::GetLongDur},
    };
    IWriterControl* p = m_spControl.Get();
    for (size_t i = 0; i < std::size(rgOptions); ++i)
        EXPECT_HR(S_OK, (p->*rgOptions[i].pfnSet)(static_cast<BOOL>(i + 2)));  // 2, 3, ... not just 1
    EXPECT_HR(S_OK, p->SetNonDrop(-1));
    const BOOL rgExpected[] = {2, 3, -1, 5, 6};
    for (size_t i = 0; i < std::size(rgOptions); ++i) {
        BOOL b = 0;
        EXPECT_HR(S_OK, (p->*rgOptions[i].pfnGet)(&b));
        EXPECT_EQ(rgExpected[i], b) << "option " << i;
    }
}

TEST_F(WriterControlTest, ConfiguredResultsArePassedBackAndSuccessCodesStillStore) {
    Reload("hr.SetInterleaving=S_FALSE\nhr.SetMdatMode=E_FAIL\nhr.GetLongDur=0x00040242\nhr.GetWritten=0x8FFF1234\n");
    EXPECT_HR(S_FALSE, m_spControl->SetInterleaving(1500));
    EXPECT_HR(E_FAIL, m_spControl->SetMdatMode(TRUE));
    DWORD dw = 0;
    EXPECT_HR(S_OK, m_spControl->GetInterleaving(&dw));
    EXPECT_EQ(1500u, dw);  // S_FALSE is a success: the value was stored
    BOOL b = 7;
    EXPECT_HR(S_OK, m_spControl->GetMdatMode(&b));
    EXPECT_EQ(FALSE, b);  // E_FAIL: nothing stored
    b = 7;
    EXPECT_HR(static_cast<HRESULT>(0x00040242), m_spControl->GetLongDur(&b));
    EXPECT_EQ(FALSE, b);  // a success code writes the value
    LONGLONG ll = 99;
    EXPECT_HR(static_cast<HRESULT>(0x8FFF1234), m_spControl->GetWritten(&ll));
    EXPECT_EQ(0, ll);  // failout=write by default: a failing getter still writes
}

TEST_F(WriterControlTest, FailingGettersLeaveTheirArgumentUntouchedWithFailoutKeep) {
    Reload("failout=keep\ninterleaving=900\nhr.GetInterleaving=E_FAIL\nhr.GetNonDrop=E_NOTIMPL\n"
           "hr.GetWritten=E_FAIL\nhr.GetType=E_FAIL\nhr.GetName=E_FAIL\n");
    DWORD dw = 200;
    EXPECT_HR(E_FAIL, m_spControl->GetInterleaving(&dw));
    EXPECT_EQ(200u, dw);
    BOOL b = 5;
    EXPECT_HR(E_NOTIMPL, m_spControl->GetNonDrop(&b));
    EXPECT_EQ(5, b);
    LONGLONG ll = -7;
    EXPECT_HR(E_FAIL, m_spControl->GetWritten(&ll));
    EXPECT_EQ(-7, ll);
    int e = 42;
    EXPECT_HR(E_FAIL, m_spVersion->GetType(&e));
    EXPECT_EQ(42, e);
    BSTR bstr = reinterpret_cast<BSTR>(0x10);
    EXPECT_HR(E_FAIL, m_spVersion->GetName(&bstr));
    EXPECT_EQ(reinterpret_cast<BSTR>(0x10), bstr);
    // The other getters are not affected.
    EXPECT_HR(S_OK, m_spVersion->GetOS(&e));
    EXPECT_EQ(1, e);
}

TEST_F(WriterControlTest, FailingGettersWriteTheValueWithFailoutWrite) {
    Reload("failout=write\ninterleaving=900\nhr.GetInterleaving=E_FAIL\nhr.GetNumber=E_FAIL\n");
    DWORD dw = 200;
    EXPECT_HR(E_FAIL, m_spControl->GetInterleaving(&dw));
    EXPECT_EQ(900u, dw);
    fw::ComBstr cbsNumber;
    EXPECT_HR(E_FAIL, m_spVersion->GetNumber(&cbsNumber));
    EXPECT_STREQ(L"2.1.0.7", cbsNumber.Get());
}

TEST_F(WriterControlTest, NullOutPointersAreRefused) {
    EXPECT_HR(E_POINTER, m_spControl->GetWritten(nullptr));
    EXPECT_HR(E_POINTER, m_spControl->GetInterleaving(nullptr));
    EXPECT_HR(E_POINTER, m_spControl->GetLongDur(nullptr));
    EXPECT_HR(E_POINTER, m_spVersion->GetOS(nullptr));
    EXPECT_HR(E_POINTER, m_spVersion->GetDateTime(nullptr));
}

TEST_F(WriterControlTest, IdentityHasDefaults) {
    int eType = -1, eOS = -1;
    fw::ComBstr cbsName, cbsNumber, cbsDate;
    EXPECT_HR(S_OK, m_spVersion->GetType(&eType));
    EXPECT_HR(S_OK, m_spVersion->GetOS(&eOS));
    EXPECT_HR(S_OK, m_spVersion->GetName(&cbsName));
    EXPECT_HR(S_OK, m_spVersion->GetNumber(&cbsNumber));
    EXPECT_HR(S_OK, m_spVersion->GetDateTime(&cbsDate));
    EXPECT_EQ(1, eType);
    EXPECT_EQ(1, eOS);
    EXPECT_STREQ(L"Lathmere MPEG-4 Writer", cbsName.Get());
    EXPECT_STREQ(L"2.1.0.7", cbsNumber.Get());
    EXPECT_STREQ(L"2024-05-17 10:30:00", cbsDate.Get());
}

TEST_F(WriterControlTest, IdentityIsConfigurableIncludingNullAndEmptyStrings) {
    Reload("name=Writer \xC3\xA4\nnumber=(null)\ndate=\ntype=0\nos=7\n");
    int eType = -1, eOS = -1;
    EXPECT_HR(S_OK, m_spVersion->GetType(&eType));
    EXPECT_HR(S_OK, m_spVersion->GetOS(&eOS));
    EXPECT_EQ(0, eType);
    EXPECT_EQ(7, eOS);
    fw::ComBstr cbsName, cbsDate;
    EXPECT_HR(S_OK, m_spVersion->GetName(&cbsName));
    EXPECT_STREQ(L"Writer \u00e4", cbsName.Get());
    BSTR bstrNumber = reinterpret_cast<BSTR>(0x10);
    EXPECT_HR(S_OK, m_spVersion->GetNumber(&bstrNumber));
    EXPECT_EQ(nullptr, bstrNumber);
    EXPECT_HR(S_OK, m_spVersion->GetDateTime(&cbsDate));
    ASSERT_NE(nullptr, cbsDate.Get());  // empty, not null
    EXPECT_EQ(0u, ::SysStringLen(cbsDate.Get()));
}

TEST_F(WriterControlTest, SettersAreRefusedWhileActiveWhenConfigured) {
    Reload("busy=VFW_E_WRONG_STATE\n");
    EXPECT_HR(S_OK, m_spControl->SetInterleaving(300));
    ASSERT_HR(S_OK, m_spWriter->Pause());
    EXPECT_HR(VFW_E_WRONG_STATE, m_spControl->SetInterleaving(400));
    ASSERT_HR(S_OK, m_spWriter->Run(0));
    EXPECT_HR(VFW_E_WRONG_STATE, m_spControl->SetSharedAccess(TRUE));
    DWORD dw = 0;
    BOOL b = 7;
    EXPECT_HR(S_OK, m_spControl->GetInterleaving(&dw));  // getters still answer
    EXPECT_HR(S_OK, m_spControl->GetSharedAccess(&b));
    EXPECT_EQ(300u, dw);
    EXPECT_EQ(FALSE, b);
    ASSERT_HR(S_OK, m_spWriter->Stop());
    EXPECT_HR(S_OK, m_spControl->SetInterleaving(400));
}

TEST_F(WriterControlTest, SettersWorkWhileRunningByDefault) {
    ASSERT_HR(S_OK, m_spWriter->Run(0));
    EXPECT_HR(S_OK, m_spControl->SetLongDur(TRUE));
    BOOL b = 0;
    EXPECT_HR(S_OK, m_spControl->GetLongDur(&b));
    EXPECT_EQ(TRUE, b);
    ASSERT_HR(S_OK, m_spWriter->Stop());
}

TEST_F(WriterControlTest, JournalRecordsEveryCallInOrderWithArgumentsAndResults) {
    std::wstring journal = JournalPath();
    Reload("journal=" + filtertest::Utf8(journal) + "\nhr.SetSharedAccess=S_FALSE\nhr.GetNonDrop=E_FAIL\n"
           "failout=keep\nname=W\nnumber=(null)\n");
    DWORD dw = 0;
    BOOL b = 0;
    LONGLONG ll = 0;
    int e = 0;
    m_spControl->SetInterleaving(5000);
    m_spControl->GetInterleaving(&dw);
    m_spControl->SetSharedAccess(1);
    m_spControl->GetSharedAccess(&b);
    m_spControl->GetNonDrop(&b);
    m_spControl->GetWritten(&ll);
    m_spControl->GetMdatMode(nullptr);
    m_spVersion->GetOS(&e);
    fw::ComBstr cbsName, cbsNumber;
    m_spVersion->GetName(&cbsName);
    m_spVersion->GetNumber(&cbsNumber);
    EXPECT_EQ("SetInterleaving 5000 -> 0x00000000\n"
              "GetInterleaving 5000 -> 0x00000000\n"
              "SetSharedAccess 1 -> 0x00000001\n"
              "GetSharedAccess 1 -> 0x00000000\n"
              "GetNonDrop (untouched) -> 0x80004005\n"
              "GetWritten 0 -> 0x00000000\n"
              "GetMdatMode (null pointer) -> 0x80004003\n"
              "GetOS 1 -> 0x00000000\n"
              "GetName \"W\" -> 0x00000000\n"
              "GetNumber (null) -> 0x00000000\n",
              filtertest::ReadFileText(journal));
}

TEST_F(WriterControlTest, JournalAppendsToAnExistingFileAndRecordsRefusals) {
    std::wstring journal = JournalPath();
    HANDLE hFile = ::CreateFileW(journal.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    DWORD cb = 0;
    ::WriteFile(hFile, "earlier\n", 8, &cb, nullptr);
    ::CloseHandle(hFile);
    Reload("journal=" + filtertest::Utf8(journal) + "\nbusy=0x80040227\n");
    ASSERT_HR(S_OK, m_spWriter->Pause());
    m_spControl->SetLongDur(0);
    ASSERT_HR(S_OK, m_spWriter->Stop());
    EXPECT_EQ("earlier\nSetLongDur 0 -> 0x80040227\n", filtertest::ReadFileText(journal));
}

TEST_F(WriterControlTest, ConfiguredWrittenCountsAreReportedInTurnTheLastRepeating) {
    Reload("written=5,-3,0x10\n");
    for (LONGLONG llExpected : {5LL, -3LL, 16LL, 16LL}) {
        LONGLONG ll = 0;
        EXPECT_HR(S_OK, m_spControl->GetWritten(&ll));
        EXPECT_EQ(llExpected, ll);
    }
    // A failing call still writes its count (failout=write) and uses one up.
    Reload("written=9223372036854775807,-9223372036854775808\nhr.GetWritten=E_FAIL\n");
    LONGLONG ll = 0;
    EXPECT_HR(E_FAIL, m_spControl->GetWritten(&ll));
    EXPECT_EQ(INT64_MAX, ll);
    EXPECT_HR(E_FAIL, m_spControl->GetWritten(&ll));
    EXPECT_EQ(INT64_MIN, ll);
    for (const char* pszBad : {"written=1,\n", "written=,1\n", "written=x\n", "written=9223372036854775808\n"})
        EXPECT_HR(E_INVALIDARG, LoadConfig(m_spWriter, pszBad)) << pszBad;
}

// The state journal records each state change with the state it started from; a configured
// Pause failure refuses the change before the sink is opened, a success code changes the state.
TEST_F(WriterControlTest, ConfiguredPauseResultRefusesOrChangesTheState) {
    std::wstring dir = test::MakeTempDir(L"pause");
    std::wstring stateJournal = dir + L"\\states.txt", sink = dir + L"\\out.mp4";
    fw::ComQIPtr<IFileSinkFilter> spSink(m_spWriter.Get());
    ASSERT_HR(S_OK, spSink->SetFileName(sink.c_str(), nullptr));
    Reload("statejournal=" + filtertest::Utf8(stateJournal) + "\npause=0x80040227\n");
    FILTER_STATE eState = State_Running;
    EXPECT_HR(static_cast<HRESULT>(0x80040227), m_spWriter->Pause());
    EXPECT_HR(static_cast<HRESULT>(0x80040227), m_spWriter->Run(0));
    EXPECT_HR(S_OK, m_spWriter->GetState(0, &eState));
    EXPECT_EQ(State_Stopped, eState);
    EXPECT_EQ(-1, filtertest::FileSize(sink));  // nothing opened

    Reload("statejournal=" + filtertest::Utf8(stateJournal) + "\npause=S_FALSE\n");
    EXPECT_HR(S_FALSE, m_spWriter->Pause());
    EXPECT_HR(S_OK, m_spWriter->GetState(0, &eState));
    EXPECT_EQ(State_Paused, eState);
    EXPECT_EQ(0, filtertest::FileSize(sink));  // the sink is open
    EXPECT_HR(S_OK, m_spWriter->Run(0));
    EXPECT_HR(S_OK, m_spWriter->Stop());
    EXPECT_EQ("Pause stopped -> 0x80040227\n"
              "Pause stopped -> 0x80040227\n"
              "Run stopped -> 0x80040227\n"
              "Pause stopped -> 0x00000001\n"
              "Run paused -> 0x00000000\n"
              "Stop running -> 0x00000000\n",
              filtertest::ReadFileText(stateJournal));
}

}  // namespace
