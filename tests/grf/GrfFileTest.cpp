// .grf compound files written by WriteGrfFile, read by ReadGrfFile and by the platform's
// structured storage opened the way the harness opens a graph file.
#include <objbase.h>

#include <gtest/gtest.h>

#include <fstream>

#include "ComPtr.h"
#include "GrfFile.h"
#include "GrfFormat.h"
#include "GrfTestUtil.h"
#include "TestSupport.h"

namespace {

constexpr DWORD kHarnessMode = STGM_READ | STGM_SHARE_EXCLUSIVE;

class GrfFile : public testing::Test {
protected:
    std::wstring Path(const wchar_t* name) const { return m_dir + L"\\" + name; }
    const std::wstring m_dir = test::MakeTempDir(L"grffile");
};

// Status of opening `stream` the way the harness does, and its bytes when that works.
HRESULT PlatformRead(const std::wstring& path, const wchar_t* stream, std::vector<uint8_t>& bytes) {
    fw::ComPtr<IStorage> spStorage;
    HRESULT hr = ::StgOpenStorage(path.c_str(), nullptr, kHarnessMode, nullptr, 0, &spStorage);
    if (FAILED(hr)) return hr;
    fw::ComPtr<IStream> spStream;
    hr = spStorage->OpenStream(stream, nullptr, kHarnessMode, 0, &spStream);
    if (FAILED(hr)) return hr;
    STATSTG stat = {};
    EXPECT_HR(S_OK, spStream->Stat(&stat, STATFLAG_NONAME));
    bytes.assign(static_cast<size_t>(stat.cbSize.QuadPart), 0);
    ULONG cbRead = 0;
    EXPECT_HR(S_OK, spStream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &cbRead));
    EXPECT_EQ(bytes.size(), cbRead);
    return S_OK;
}

TEST_F(GrfFile, WrittenStreamReadsBackThroughReadGrfFileAndThePlatform) {
    const std::vector<uint8_t> stream = grf::Write(grftest::RichGraph());
    const std::wstring path = Path(L"rich.grf");
    ASSERT_HR(S_OK, grf::WriteGrfFile(path.c_str(), stream));
    std::vector<uint8_t> back;
    ASSERT_HR(S_OK, grf::ReadGrfFile(path.c_str(), back));
    EXPECT_EQ(stream, back);
    std::vector<uint8_t> platform;
    ASSERT_HR(S_OK, PlatformRead(path, L"ActiveMovieGraph", platform));
    EXPECT_EQ(stream, platform);
    EXPECT_HR(S_OK, ::StgIsStorageFile(path.c_str()));
}

TEST_F(GrfFile, WritingAgainReplacesTheFileAndEmptyStreamsWork) {
    const std::wstring path = Path(L"again.grf");
    ASSERT_HR(S_OK, grf::WriteGrfFile(path.c_str(), grf::Write(grftest::RichGraph())));
    ASSERT_HR(S_OK, grf::WriteGrfFile(path.c_str(), {}));
    std::vector<uint8_t> back = {1};
    ASSERT_HR(S_OK, grf::ReadGrfFile(path.c_str(), back));
    EXPECT_TRUE(back.empty());
}

TEST_F(GrfFile, FileWithoutTheGraphStreamFailsAsThePlatformDoes) {
    const std::wstring none = Path(L"nostream.grf");
    const std::wstring other = Path(L"other.grf");
    ASSERT_HR(S_OK, grf::WriteGrfFile(none.c_str(), {1, 2, 3}, nullptr));
    ASSERT_HR(S_OK, grf::WriteGrfFile(other.c_str(), {1, 2, 3}, L"SomethingElse"));
    std::vector<uint8_t> bytes;
    const HRESULT hrPlatform = PlatformRead(none, L"ActiveMovieGraph", bytes);
    EXPECT_TRUE(FAILED(hrPlatform));
    EXPECT_HR(hrPlatform, grf::ReadGrfFile(none.c_str(), bytes));
    EXPECT_TRUE(bytes.empty());
    EXPECT_HR(PlatformRead(other, L"ActiveMovieGraph", bytes), grf::ReadGrfFile(other.c_str(), bytes));
    ASSERT_HR(S_OK, PlatformRead(other, L"SomethingElse", bytes));
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3}), bytes);
}

TEST_F(GrfFile, MissingOrNonCompoundFilesFailWithThePlatformsStatus) {
    const std::wstring missing = Path(L"missing.grf");
    const std::wstring text = Path(L"text.grf");
    std::ofstream(test::Narrow(text)) << "0003\r\nFILTERS\r\nCONNECTIONS\r\nEND";
    std::vector<uint8_t> bytes;
    for (const std::wstring& path : {missing, text}) {
        SCOPED_TRACE(test::Narrow(path));
        fw::ComPtr<IStorage> spStorage;
        const HRESULT hrPlatform = ::StgOpenStorage(path.c_str(), nullptr, kHarnessMode, nullptr, 0, &spStorage);
        EXPECT_TRUE(FAILED(hrPlatform));
        EXPECT_HR(hrPlatform, grf::ReadGrfFile(path.c_str(), bytes));
    }
    EXPECT_HR(E_POINTER, grf::ReadGrfFile(nullptr, bytes));
    EXPECT_HR(E_POINTER, grf::WriteGrfFile(nullptr, bytes));
}

TEST_F(GrfFile, AFileHeldOpenByAnotherOpenerCannotBeRead) {
    const std::wstring path = Path(L"held.grf");
    ASSERT_HR(S_OK, grf::WriteGrfFile(path.c_str(), {1, 2}));
    fw::ComPtr<IStorage> spHolder;
    ASSERT_HR(S_OK, ::StgOpenStorage(path.c_str(), nullptr, kHarnessMode, nullptr, 0, &spHolder));
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(FAILED(grf::ReadGrfFile(path.c_str(), bytes)));
    spHolder.Release();
    EXPECT_HR(S_OK, grf::ReadGrfFile(path.c_str(), bytes));
}

}  // namespace
