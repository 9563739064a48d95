// The writer's input pin driven directly, as an upstream filter's streaming thread would:
// samples from DirectShow's memory allocator through IMemInputPin, stream calls, the sink file.
#include <windows.h>

#include <gtest/gtest.h>

#include "FilterTestSupport.h"
#include "TestSupport.h"
#include "WriterInterfaces.h"

using filtertest::LiveObjects;

namespace {

class WriterPinTest : public testing::Test {
protected:
    void SetUp() override {
        m_cLiveAtStart = LiveObjects();
        m_sinkPath = test::MakeTempDir(L"pin") + L"\\sink.bin";
        ASSERT_HR(S_OK, m_spWriter.CoCreateInstance(CLSID_WriterFilter));
        fw::ComPtr<IPin> spPin = filtertest::FindPin(m_spWriter, L"In");
        ASSERT_HR(S_OK, spPin->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&m_spInput)));
        ASSERT_HR(S_OK, m_spWriter->QueryInterface(IID_IWriterControl, reinterpret_cast<void**>(&m_spControl)));
        fw::ComQIPtr<IFileSinkFilter> spSink(m_spWriter.Get());
        ASSERT_HR(S_OK, spSink->SetFileName(m_sinkPath.c_str(), nullptr));
        ASSERT_HR(S_OK, m_spInput->GetAllocator(&m_spAllocator));
        ALLOCATOR_PROPERTIES request{4, 1000, 1, 0}, actual{};
        ASSERT_HR(S_OK, m_spAllocator->SetProperties(&request, &actual));
        ASSERT_HR(S_OK, m_spAllocator->Commit());
    }
    void TearDown() override {
        m_spAllocator->Decommit();
        m_spAllocator.Release();
        m_spInput.Release();
        m_spControl.Release();
        if (m_spWriter) {
            EXPECT_EQ(0u, m_spWriter.Detach()->Release());
        }
        EXPECT_EQ(m_cLiveAtStart, LiveObjects());
    }
    // A sample of cb bytes, each byte the value b.
    fw::ComPtr<IMediaSample> MakeSample(char b, long cb) {
        fw::ComPtr<IMediaSample> spSample;
        EXPECT_HR(S_OK, m_spAllocator->GetBuffer(&spSample, nullptr, nullptr, 0));
        BYTE* pb = nullptr;
        spSample->GetPointer(&pb);
        ::FillMemory(pb, cb, static_cast<BYTE>(b));
        spSample->SetActualDataLength(cb);
        return spSample;
    }
    LONGLONG Written() {
        LONGLONG ll = -1;
        EXPECT_HR(S_OK, m_spControl->GetWritten(&ll));
        return ll;
    }

    LONG m_cLiveAtStart = 0;
    std::wstring m_sinkPath;
    fw::ComPtr<IBaseFilter> m_spWriter;
    fw::ComPtr<IMemInputPin> m_spInput;
    fw::ComPtr<IWriterControl> m_spControl;
    fw::ComPtr<IMemAllocator> m_spAllocator;
};

TEST_F(WriterPinTest, ReceiveWhileStoppedIsTheWrongState) {
    EXPECT_HR(VFW_E_WRONG_STATE, m_spInput->Receive(MakeSample('a', 10)));
    EXPECT_EQ(0, Written());
    EXPECT_EQ(-1, filtertest::FileSize(m_sinkPath));  // no file before the first pause
}

TEST_F(WriterPinTest, SamplesAreAppendedInOrderAndCounted) {
    ASSERT_HR(S_OK, m_spWriter->Pause());
    EXPECT_EQ(0, filtertest::FileSize(m_sinkPath));  // created on the way out of stopped
    EXPECT_HR(S_OK, m_spInput->Receive(MakeSample('a', 3)));
    ASSERT_HR(S_OK, m_spWriter->Run(0));
    EXPECT_HR(S_OK, m_spInput->Receive(MakeSample('b', 2)));
    EXPECT_EQ(5, Written());
    fw::ComPtr<IMediaSample> spC = MakeSample('c', 1), spD = MakeSample('d', 4);
    IMediaSample* rgSamples[] = {spC.Get(), spD.Get()};
    long cProcessed = 0;
    EXPECT_HR(S_OK, m_spInput->ReceiveMultiple(rgSamples, 2, &cProcessed));
    EXPECT_EQ(2, cProcessed);
    EXPECT_EQ(10, Written());
    EXPECT_HR(S_FALSE, m_spInput->ReceiveCanBlock());
    ASSERT_HR(S_OK, m_spWriter->Stop());
    EXPECT_EQ("aaabbcdddd", filtertest::ReadFileText(m_sinkPath));
    EXPECT_EQ(10, Written());  // kept after stop
}

TEST_F(WriterPinTest, AStartAfterStopCreatesTheFileAfreshAndCountsFromZero) {
    ASSERT_HR(S_OK, m_spWriter->Run(0));
    EXPECT_HR(S_OK, m_spInput->Receive(MakeSample('a', 7)));
    ASSERT_HR(S_OK, m_spWriter->Stop());
    ASSERT_HR(S_OK, m_spWriter->Run(0));
    EXPECT_EQ(0, Written());
    EXPECT_HR(S_OK, m_spInput->Receive(MakeSample('z', 2)));
    ASSERT_HR(S_OK, m_spWriter->Stop());
    EXPECT_EQ("zz", filtertest::ReadFileText(m_sinkPath));
}

TEST_F(WriterPinTest, FlushingRefusesSamplesUntilEndFlush) {
    fw::ComQIPtr<IPin> spPin(m_spInput.Get());
    ASSERT_HR(S_OK, m_spWriter->Run(0));
    EXPECT_HR(S_OK, spPin->BeginFlush());
    EXPECT_HR(S_FALSE, m_spInput->Receive(MakeSample('x', 5)));
    EXPECT_HR(S_OK, spPin->EndFlush());
    EXPECT_HR(S_OK, spPin->NewSegment(0, 10000000, 1.0));
    EXPECT_HR(S_OK, m_spInput->Receive(MakeSample('y', 5)));
    ASSERT_HR(S_OK, m_spWriter->Stop());
    EXPECT_EQ("yyyyy", filtertest::ReadFileText(m_sinkPath));
}

TEST_F(WriterPinTest, EndOfStreamRefusesLaterSamplesUntilFlushed) {
    fw::ComQIPtr<IPin> spPin(m_spInput.Get());
    EXPECT_HR(VFW_E_WRONG_STATE, spPin->EndOfStream());
    ASSERT_HR(S_OK, m_spWriter->Run(0));
    EXPECT_HR(S_OK, spPin->EndOfStream());
    EXPECT_HR(VFW_E_SAMPLE_REJECTED_EOS, m_spInput->Receive(MakeSample('x', 5)));
    spPin->BeginFlush();
    spPin->EndFlush();
    EXPECT_HR(S_OK, m_spInput->Receive(MakeSample('y', 1)));
    ASSERT_HR(S_OK, m_spWriter->Stop());
    EXPECT_EQ(1, Written());
}

TEST_F(WriterPinTest, WithoutAFileNameSamplesAreTakenButNothingIsCounted) {
    fw::ComPtr<IBaseFilter> spOther;  // a writer never given a file name
    ASSERT_HR(S_OK, spOther.CoCreateInstance(CLSID_WriterFilter));
    fw::ComPtr<IPin> spPin = filtertest::FindPin(spOther, L"In");
    fw::ComQIPtr<IMemInputPin> spInput(spPin.Get());
    ASSERT_HR(S_OK, spOther->Run(0));
    EXPECT_HR(S_OK, spInput->Receive(MakeSample('q', 8)));
    fw::ComQIPtr<IWriterControl> spControl(spOther.Get());
    LONGLONG ll = -1;
    EXPECT_HR(S_OK, spControl->GetWritten(&ll));
    EXPECT_EQ(0, ll);
    EXPECT_HR(S_OK, spOther->Stop());
}

TEST_F(WriterPinTest, SinkThatCannotBeCreatedFailsThePause) {
    fw::ComQIPtr<IFileSinkFilter> spSink(m_spWriter.Get());
    std::wstring missing = test::MakeTempDir(L"pin") + L"\\no such folder\\a.mp4";
    ASSERT_HR(S_OK, spSink->SetFileName(missing.c_str(), nullptr));
    EXPECT_HR(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), m_spWriter->Pause());
    FILTER_STATE state = State_Running;
    EXPECT_HR(S_OK, m_spWriter->GetState(0, &state));
    EXPECT_EQ(State_Stopped, state);
    EXPECT_HR(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), m_spWriter->Run(0));
}

TEST_F(WriterPinTest, FileNameCannotChangeWhileActive) {
    fw::ComQIPtr<IFileSinkFilter> spSink(m_spWriter.Get());
    ASSERT_HR(S_OK, m_spWriter->Pause());
    EXPECT_HR(VFW_E_NOT_STOPPED, spSink->SetFileName(L"C:\\other.mp4", nullptr));
    ASSERT_HR(S_OK, m_spWriter->Stop());
}

}  // namespace
