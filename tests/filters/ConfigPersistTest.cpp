// The stand-ins' configuration through IPersistStream on real streams: load, save, round trip,
// and refusal of what a test description may get wrong.
#include <windows.h>

#include <gtest/gtest.h>

#include "FilterTestSupport.h"
#include "TestSupport.h"
#include "TestbedIds.h"
#include "WriterInterfaces.h"

using filtertest::LiveObjects;
using filtertest::LoadConfig;
using filtertest::SaveConfig;

namespace {

class ConfigPersistTest : public testing::Test {
protected:
    void SetUp() override {
        m_cLiveAtStart = LiveObjects();
        ASSERT_HR(S_OK, m_spWriter.CoCreateInstance(CLSID_WriterFilter));
        ASSERT_HR(S_OK, m_spSource.CoCreateInstance(CLSID_TavrelSource));
    }
    void TearDown() override {
        if (m_spWriter) {
            EXPECT_EQ(0u, m_spWriter.Detach()->Release());
        }
        if (m_spSource) {
            EXPECT_EQ(0u, m_spSource.Detach()->Release());
        }
        EXPECT_EQ(m_cLiveAtStart, LiveObjects());
    }
    DWORD Interleaving() {
        fw::ComQIPtr<IWriterControl> spControl(m_spWriter.Get());
        DWORD dw = 0;
        spControl->GetInterleaving(&dw);
        return dw;
    }

    LONG m_cLiveAtStart = 0;
    fw::ComPtr<IBaseFilter> m_spWriter;
    fw::ComPtr<IBaseFilter> m_spSource;
};

TEST_F(ConfigPersistTest, DefaultConfigurationsSaveAsEmptyText) {
    EXPECT_EQ("", SaveConfig(m_spWriter));
    EXPECT_EQ("", SaveConfig(m_spSource));
}

TEST_F(ConfigPersistTest, WriterSavesWhatItLoadedInCanonicalForm) {
    const std::string text =
        "interleaving=5000\n"
        "sharedaccess=2\n"
        "name=N\xC3\xBC\n"
        "number=(null)\n"
        "date=\n"
        "type=0\n"
        "failout=keep\n"
        "busy=0x80040227\n"
        "hideversion=1\n"
        "inputs=2\n"
        "journal=C:\\logs\\j.txt\n"
        "hr.SetInterleaving=0x00000001\n"
        "hr.GetDateTime=0x80004005\n"
        "hr.GetClassID=0x00040242\n";
    ASSERT_HR(S_OK, LoadConfig(m_spWriter, text));
    EXPECT_EQ(text, SaveConfig(m_spWriter));
}

TEST_F(ConfigPersistTest, WriterSaveIsLoadedBackToTheSameConfiguration) {
    // Names of HRESULTs, CR LF line ends, comments and a different order all load...
    ASSERT_HR(S_OK, LoadConfig(m_spWriter, "# a comment\r\nhr.GetOS=E_NOTIMPL\r\n\r\nlongdur=1\r\nos=0\r\n"));
    std::string saved = SaveConfig(m_spWriter);
    EXPECT_EQ("longdur=1\nos=0\nhr.GetOS=0x80004001\n", saved);
    // ...and what was saved loads back to itself.
    ASSERT_HR(S_OK, LoadConfig(m_spWriter, saved));
    EXPECT_EQ(saved, SaveConfig(m_spWriter));
}

TEST_F(ConfigPersistTest, WriterSavesTheOptionsAsLastSet) {
    fw::ComQIPtr<IWriterControl> spControl(m_spWriter.Get());
    ASSERT_HR(S_OK, spControl->SetInterleaving(4321));
    ASSERT_HR(S_OK, spControl->SetMdatMode(1));
    fw::ComQIPtr<IPersistStream> spPersist(m_spWriter.Get());
    EXPECT_HR(S_OK, spPersist->IsDirty());
    EXPECT_EQ("interleaving=4321\nmdatmode=1\n", SaveConfig(m_spWriter));
    EXPECT_HR(S_FALSE, spPersist->IsDirty());  // saved with fClearDirty
    ULARGE_INTEGER cb{};
    EXPECT_HR(S_OK, spPersist->GetSizeMax(&cb));
    EXPECT_EQ(29u, cb.QuadPart);
}

TEST_F(ConfigPersistTest, LoadStartsFromTheDefaults) {
    ASSERT_HR(S_OK, LoadConfig(m_spWriter, "interleaving=70\n"));
    ASSERT_HR(S_OK, LoadConfig(m_spWriter, "nondrop=1\n"));
    EXPECT_EQ(500u, Interleaving());
    EXPECT_EQ("nondrop=1\n", SaveConfig(m_spWriter));
}

TEST_F(ConfigPersistTest, WriterRefusesUnknownKeysAndBadValuesAndKeepsItsConfiguration) {
    ASSERT_HR(S_OK, LoadConfig(m_spWriter, "interleaving=70\n"));
    for (const char* pszBad : {"interleavng=5\n", "interleaving=-1\n", "interleaving=4294967296\n",
                               "interleaving=12ms\n", "interleaving= 5\n", "interleaving\n", "=5\n",
                               "hr.GetWriten=0\n", "hr.GetWritten=E_BOGUS\n", "failout=maybe\n",
                               "hidecontrol=2\n", "inputs=0\n", "inputs=17\n", "Name=x\n", "type=0x1G\n"}) {
        EXPECT_HR(E_INVALIDARG, LoadConfig(m_spWriter, pszBad)) << pszBad;
    }
    EXPECT_EQ(70u, Interleaving());
    EXPECT_EQ("interleaving=70\n", SaveConfig(m_spWriter));
}

TEST_F(ConfigPersistTest, WriterRefusesToLoadWhileActive) {
    ASSERT_HR(S_OK, m_spWriter->Pause());
    EXPECT_HR(VFW_E_NOT_STOPPED, LoadConfig(m_spWriter, "interleaving=1\n"));
    ASSERT_HR(S_OK, m_spWriter->Stop());
    EXPECT_HR(S_OK, LoadConfig(m_spWriter, "interleaving=1\n"));
}

TEST_F(ConfigPersistTest, SourceRoundTripsItsThreeKeys) {
    const std::string text = "rate=500000\nsample=4096\nduration=20000000\n";
    ASSERT_HR(S_OK, LoadConfig(m_spSource, text));
    EXPECT_EQ(text, SaveConfig(m_spSource));
    ASSERT_HR(S_OK, LoadConfig(m_spSource, "duration=0x10\r\n"));
    EXPECT_EQ("duration=16\n", SaveConfig(m_spSource));
}

TEST_F(ConfigPersistTest, SourceRefusesUnknownKeysAndBadValues) {
    ASSERT_HR(S_OK, LoadConfig(m_spSource, "rate=1000\n"));
    for (const char* pszBad : {"speed=1\n", "rate=0\n", "rate=-5\n", "sample=0\n", "duration=-1\n", "rate=fast\n",
                               "rate\n"}) {
        EXPECT_HR(E_INVALIDARG, LoadConfig(m_spSource, pszBad)) << pszBad;
    }
    EXPECT_EQ("rate=1000\n", SaveConfig(m_spSource));
}

}  // namespace
