// Real streaming under Wine's filter graph manager: the source stand-in pushes samples into the
// writer stand-in, which appends them to its sink file.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include "FilterTestSupport.h"
#include "TestSupport.h"
#include "TestbedIds.h"
#include "WriterInterfaces.h"

using filtertest::LiveObjects;
using filtertest::LoadConfig;

namespace {

// Threads of this process, counted through a snapshot.
int ThreadCount() {
    HANDLE hSnapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{sizeof entry};
    int cThreads = 0;
    for (BOOL bMore = ::Thread32First(hSnapshot, &entry); bMore; bMore = ::Thread32Next(hSnapshot, &entry))
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ++cThreads;
    ::CloseHandle(hSnapshot);
    return cThreads;
}

LONGLONG Written(IWriterControl* pControl) {
    LONGLONG llWritten = -1;
    EXPECT_HR(S_OK, pControl->GetWritten(&llWritten));
    return llWritten;
}

class StreamingTest : public testing::Test {
protected:
    void SetUp() override {
        m_cLiveAtStart = LiveObjects();
        m_sinkPath = test::MakeTempDir(L"stream") + L"\\sink.mp4";
        ASSERT_HR(S_OK, m_spGraph.CoCreateInstance(CLSID_FilterGraph));
        ASSERT_HR(S_OK, m_spSource.CoCreateInstance(CLSID_TavrelSource));
        ASSERT_HR(S_OK, m_spWriter.CoCreateInstance(CLSID_WriterFilter));
    }

    // Adds both filters, connects "Out" to "In" directly and names the sink.
    void BuildGraph(const std::string& sourceConfig) {
        ASSERT_HR(S_OK, LoadConfig(m_spSource, sourceConfig));
        ASSERT_HR(S_OK, m_spGraph->AddFilter(m_spSource, L"Tavrel"));
        ASSERT_HR(S_OK, m_spGraph->AddFilter(m_spWriter, L"Lathmere writer"));
        fw::ComPtr<IPin> spOut = filtertest::FindPin(m_spSource, L"Out");
        fw::ComPtr<IPin> spIn = filtertest::FindPin(m_spWriter, L"In");
        ASSERT_TRUE(spOut && spIn);
        ASSERT_HR(S_OK, m_spGraph->ConnectDirect(spOut, spIn, nullptr));
        fw::ComQIPtr<IFileSinkFilter> spSink(m_spWriter.Get());
        ASSERT_HR(S_OK, spSink->SetFileName(m_sinkPath.c_str(), nullptr));
    }

    void ReleaseAll() {
        m_spControl.Release();
        m_spWriter.Release();
        m_spSource.Release();
        if (m_spGraph) {
            EXPECT_EQ(0u, m_spGraph.Detach()->Release());
        }
        EXPECT_EQ(m_cLiveAtStart, LiveObjects());
    }

    LONG m_cLiveAtStart = 0;
    std::wstring m_sinkPath;
    fw::ComPtr<IGraphBuilder> m_spGraph;
    fw::ComPtr<IBaseFilter> m_spSource;
    fw::ComPtr<IBaseFilter> m_spWriter;
    fw::ComPtr<IWriterControl> m_spControl;
};

TEST_F(StreamingTest, RunGrowsWrittenPauseHoldsItStopLeavesItInTheFile) {
    BuildGraph("rate=1000000\nsample=16384\n");
    ASSERT_HR(S_OK, m_spWriter->QueryInterface(IID_IWriterControl, reinterpret_cast<void**>(&m_spControl)));
    fw::ComQIPtr<IMediaControl> spControl(m_spGraph.Get());
    int cThreadsBefore = ThreadCount();

    ASSERT_HR(S_OK, spControl->Run());
    LONGLONG llPrevious = 0;
    for (int i = 0; i < 5; ++i) {
        ::Sleep(200);
        LONGLONG llNow = Written(m_spControl);
        EXPECT_GT(llNow, llPrevious) << "after " << (i + 1) * 200 << " ms";
        llPrevious = llNow;
    }
    // About 1 MB after 1 s at 1 MB/s: the rate is kept, loosely (the machine may be busy).
    EXPECT_GT(llPrevious, 500000);
    EXPECT_LT(llPrevious, 1500000);

    ASSERT_HR(S_OK, spControl->Pause());
    LONGLONG llPaused = Written(m_spControl);
    ::Sleep(300);
    EXPECT_EQ(llPaused, Written(m_spControl));

    ASSERT_HR(S_OK, spControl->Run());
    ::Sleep(300);
    EXPECT_GT(Written(m_spControl), llPaused);

    ASSERT_HR(S_OK, spControl->Stop());
    LONGLONG llStopped = Written(m_spControl);
    EXPECT_EQ(llStopped, filtertest::FileSize(m_sinkPath));
    EXPECT_EQ(0, llStopped % 16384) << "whole samples only";
    EXPECT_EQ(cThreadsBefore, ThreadCount()) << "the streaming thread has ended";
    ::Sleep(200);
    EXPECT_EQ(llStopped, Written(m_spControl));
    spControl.Release();
    ReleaseAll();
}

}  // namespace
