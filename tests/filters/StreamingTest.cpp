// Real streaming under Wine's filter graph manager: the source stand-in pushes samples into the
// writer stand-in, which appends them to its sink file.
#include <windows.h>
#include <tlhelp32.h>

#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "FilterTestSupport.h"
#include "TestSupport.h"
#include "TestbedIds.h"
#include "WriterInterfaces.h"

using filtertest::LiveObjects;
using filtertest::LoadConfig;

namespace {

// Threads of this process, through a snapshot.
std::set<DWORD> ThreadIds() {
    HANDLE hSnapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{sizeof entry};
    std::set<DWORD> ids;
    for (BOOL bMore = ::Thread32First(hSnapshot, &entry); bMore; bMore = ::Thread32Next(hSnapshot, &entry))
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ids.insert(entry.th32ThreadID);
    ::CloseHandle(hSnapshot);
    return ids;
}

// Threads started since `before` that still exist.
std::vector<DWORD> ThreadsStartedSince(const std::set<DWORD>& before) {
    std::vector<DWORD> started;
    for (DWORD id : ThreadIds())
        if (!before.count(id)) started.push_back(id);
    return started;
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
    std::set<DWORD> threadsBefore = ThreadIds();

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
    EXPECT_TRUE(ThreadsStartedSince(threadsBefore).empty()) << "the streaming thread has ended";
    ::Sleep(200);
    EXPECT_EQ(llStopped, Written(m_spControl));
    spControl.Release();
    ReleaseAll();
}

TEST_F(StreamingTest, ConnectionUsesTheSourcesByteStreamType) {
    BuildGraph("");
    fw::ComPtr<IPin> spIn = filtertest::FindPin(m_spWriter, L"In");
    AM_MEDIA_TYPE mt{};
    ASSERT_HR(S_OK, spIn->ConnectionMediaType(&mt));
    EXPECT_EQ(MEDIATYPE_Stream, mt.majortype);
    EXPECT_EQ(MEDIASUBTYPE_NULL, mt.subtype);
    EXPECT_EQ(FORMAT_None, mt.formattype);
    fw::ComPtr<IPin> spPeer;
    ASSERT_HR(S_OK, spIn->ConnectedTo(&spPeer));
    EXPECT_EQ(filtertest::FindPin(m_spSource, L"Out").Get(), spPeer.Get());
    spPeer.Release();
    spIn.Release();
    ReleaseAll();
}

TEST_F(StreamingTest, GivenMediaTypeIsTakenAsItIs) {
    ASSERT_HR(S_OK, m_spGraph->AddFilter(m_spSource, L"Tavrel"));
    ASSERT_HR(S_OK, m_spGraph->AddFilter(m_spWriter, L"Lathmere writer"));
    BYTE rgbFormat[] = {0x0a, 0x0b, 0x0c};
    AM_MEDIA_TYPE mt{};
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = MEDIASUBTYPE_RGB24;
    mt.lSampleSize = 65536;
    mt.formattype = FORMAT_VideoInfo;
    mt.cbFormat = sizeof rgbFormat;
    mt.pbFormat = rgbFormat;
    ASSERT_HR(S_OK, m_spGraph->ConnectDirect(filtertest::FindPin(m_spSource, L"Out"),
                                             filtertest::FindPin(m_spWriter, L"In"), &mt));
    AM_MEDIA_TYPE mtOut{};
    ASSERT_HR(S_OK, filtertest::FindPin(m_spSource, L"Out")->ConnectionMediaType(&mtOut));
    EXPECT_EQ(MEDIATYPE_Video, mtOut.majortype);
    EXPECT_EQ(MEDIASUBTYPE_RGB24, mtOut.subtype);
    EXPECT_EQ(65536u, mtOut.lSampleSize);
    ASSERT_EQ(3u, mtOut.cbFormat);
    EXPECT_EQ(0, memcmp(rgbFormat, mtOut.pbFormat, 3));
    ::CoTaskMemFree(mtOut.pbFormat);
    ReleaseAll();
}

TEST_F(StreamingTest, GraphAsksTheWriterWhichAsksTheSourceForDurationAndPosition) {
    BuildGraph("duration=300000000\n");  // 30 s
    fw::ComQIPtr<IMediaSeeking> spSeeking(m_spGraph.Get());
    LONGLONG llDuration = 0;
    EXPECT_HR(S_OK, spSeeking->GetDuration(&llDuration));
    EXPECT_EQ(300000000, llDuration);
    fw::ComQIPtr<IMediaControl> spControl(m_spGraph.Get());
    ASSERT_HR(S_OK, spControl->Run());
    ::Sleep(500);
    ASSERT_HR(S_OK, spControl->Pause());
    LONGLONG llPosition = -1;
    fw::ComQIPtr<IMediaSeeking> spSourceSeeking(filtertest::FindPin(m_spSource, L"Out").Get());
    EXPECT_HR(S_OK, spSourceSeeking->GetCurrentPosition(&llPosition));
    EXPECT_GT(llPosition, 4000000);   // about 0.5 s of stream time
    EXPECT_LT(llPosition, 15000000);
    LONGLONG llHeld = -1;
    ::Sleep(200);
    EXPECT_HR(S_OK, spSourceSeeking->GetCurrentPosition(&llHeld));
    EXPECT_EQ(llPosition, llHeld);  // the stream clock stops while paused
    ASSERT_HR(S_OK, spControl->Stop());
    spSourceSeeking.Release();
    spControl.Release();
    spSeeking.Release();
    ReleaseAll();
}

TEST_F(StreamingTest, StreamEndsAtItsDurationAndTheGraphCompletes) {
    BuildGraph("rate=1000000\nsample=30000\nduration=2000000\n");  // 0.2 s: 200000 bytes
    fw::ComQIPtr<IMediaControl> spControl(m_spGraph.Get());
    fw::ComPtr<IMediaEventEx> spEvents;  // mingw-w64 declares no __uuidof for IMediaEventEx: ask by IID
    ASSERT_HR(S_OK, m_spGraph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(&spEvents)));
    ASSERT_HR(S_OK, spControl->Run());
    long lEvent = 0;
    EXPECT_HR(S_OK, spEvents->WaitForCompletion(5000, &lEvent));
    EXPECT_EQ(EC_COMPLETE, lEvent);
    ASSERT_HR(S_OK, spControl->Stop());
    ASSERT_HR(S_OK, m_spWriter->QueryInterface(IID_IWriterControl, reinterpret_cast<void**>(&m_spControl)));
    EXPECT_EQ(200000, Written(m_spControl));  // six full samples and a last one of 20000 bytes
    std::string data = filtertest::ReadFileText(m_sinkPath);
    ASSERT_EQ(200000u, data.size());
    EXPECT_EQ(static_cast<char>(199999 & 0xFF), data.back());  // each byte is its offset's low byte
    spEvents.Release();
    spControl.Release();
    ReleaseAll();
}

// Stop while samples fly, many times: the writer's and the source's locks never cross.
TEST_F(StreamingTest, RepeatedRunAndStopNeitherDeadlocksNorLeaks) {
    BuildGraph("rate=50000000\nsample=512\n");
    fw::ComQIPtr<IMediaControl> spControl(m_spGraph.Get());
    ASSERT_HR(S_OK, m_spWriter->QueryInterface(IID_IWriterControl, reinterpret_cast<void**>(&m_spControl)));
    std::set<DWORD> threadsBefore = ThreadIds();
    for (int i = 0; i < 20; ++i) {
        ASSERT_HR(S_OK, spControl->Run());
        ::Sleep(i % 3 * 5);
        if (i % 2) {
            ASSERT_HR(S_OK, spControl->Pause());
        }
        ASSERT_HR(S_OK, spControl->Stop());
        EXPECT_EQ(Written(m_spControl), filtertest::FileSize(m_sinkPath)) << "round " << i;
    }
    EXPECT_TRUE(ThreadsStartedSince(threadsBefore).empty());
    spControl.Release();
    ReleaseAll();
}

// A running graph released without Stop (a viewer's last reference, say): the graph manager
// stops it on its last release, the streaming thread ends and the sink file is closed with all
// its bytes.
TEST_F(StreamingTest, ReleasingARunningGraphEndsStreamingAndLeaksNothing) {
    BuildGraph("");
    fw::ComQIPtr<IMediaControl> spControl(m_spGraph.Get());
    std::set<DWORD> threadsBefore = ThreadIds();
    ASSERT_HR(S_OK, spControl->Run());
    ::Sleep(300);
    EXPECT_FALSE(ThreadsStartedSince(threadsBefore).empty()) << "the source streams from its own thread";
    spControl.Release();
    ReleaseAll();
    EXPECT_TRUE(ThreadsStartedSince(threadsBefore).empty());
    LONGLONG llSize = filtertest::FileSize(m_sinkPath);
    EXPECT_GT(llSize, 0);
    EXPECT_EQ(0, llSize % 65536);
    // Closed: it can be opened for exclusive writing now.
    HANDLE hFile = ::CreateFileW(m_sinkPath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, hFile);
    ::CloseHandle(hFile);
}

TEST_F(StreamingTest, TwoSourcesFeedTwoInputsOfOneWriter) {
    ASSERT_HR(S_OK, LoadConfig(m_spWriter, "inputs=2\n"));
    fw::ComPtr<IBaseFilter> spSecond;
    ASSERT_HR(S_OK, spSecond.CoCreateInstance(CLSID_TavrelSource));
    BuildGraph("rate=1000000\nsample=10000\nduration=1000000\n");  // 100000 bytes
    ASSERT_HR(S_OK, LoadConfig(spSecond, "rate=1000000\nsample=5000\nduration=500000\n"));  // 50000 bytes
    ASSERT_HR(S_OK, m_spGraph->AddFilter(spSecond, L"Tavrel 2"));
    ASSERT_HR(S_OK, m_spGraph->ConnectDirect(filtertest::FindPin(spSecond, L"Out"),
                                             filtertest::FindPin(m_spWriter, L"In 2"), nullptr));
    fw::ComQIPtr<IMediaControl> spControl(m_spGraph.Get());
    fw::ComPtr<IMediaEventEx> spEvents;  // mingw-w64 declares no __uuidof for IMediaEventEx: ask by IID
    ASSERT_HR(S_OK, m_spGraph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(&spEvents)));
    ASSERT_HR(S_OK, spControl->Run());
    long lEvent = 0;
    EXPECT_HR(S_OK, spEvents->WaitForCompletion(5000, &lEvent));
    ASSERT_HR(S_OK, spControl->Stop());
    EXPECT_EQ(150000, filtertest::FileSize(m_sinkPath));
    spSecond.Release();
    spEvents.Release();
    spControl.Release();
    ReleaseAll();
}

}  // namespace
