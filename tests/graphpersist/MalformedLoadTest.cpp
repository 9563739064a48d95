// Load of streams that are not well-formed GRF streams, and of real GraphEdit files.
#include <dshow.h>

#include <gtest/gtest.h>

#include "GrfFile.h"
#include "PersistTestSupport.h"
#include "TestSupport.h"

using namespace persisttest;

namespace {

// Every part of the format: filters with and without data (quotes and line breaks inside),
// a sink name, connections with and without a format block, a clock class id.
const char kFullGraph[] =
    "filter 0001 \"Tee\" " PT_SMART_TEE "\n"
    "filter 0002 \"Null\" " PT_NULL_RENDERER "\n"
    "filter 0003 \"Writer\" writer sink \"C:\\out dir\\a (1).mp4\"\n"
    "data name=\"quoted\" name\n"
    "datahex 23 22 00 ff 0d 0a\n"
    "connect 0001 \"Capture\" 0002 \"In\" video " PT_RGB24 " 1 1 230400 " PT_VIDEOINFO " " PT_VIDEOINFO_320x240 "\n"
    "connect 0001 \"Preview\" 0003 \"In\" stream null 0 0 777 none\n"
    "clock systemclock\n";

std::vector<uint8_t> Utf16(const std::u16string& text) {
    std::vector<uint8_t> bytes;
    for (char16_t ch : text) {
        bytes.push_back(static_cast<uint8_t>(ch & 0xFF));
        bytes.push_back(static_cast<uint8_t>(ch >> 8));
    }
    return bytes;
}

}  // namespace

// A parse failure adds nothing, so one graph manager serves every truncation point.
TEST(GraphLoadMalformed, FailsAtEveryTruncationPointAddingNothing) {
    std::vector<uint8_t> full = StreamBytes(kFullGraph);
    ASSERT_GT(full.size(), 1000u);
    fw::ComPtr<IFilterGraph> spGraph = CreateGraph();
    for (size_t cb = 0; cb < full.size(); ++cb) {
        std::vector<uint8_t> truncated(full.begin(), full.begin() + cb);
        HRESULT hr = LoadBytes(spGraph, truncated);
        ASSERT_HR(VFW_E_INVALID_FILE_FORMAT, hr) << "stream cut after " << cb << " of " << full.size() << " bytes";
        ASSERT_EQ(std::vector<std::wstring>{}, FilterNames(spGraph)) << "cut after " << cb;
    }
    // The whole stream is valid: it is the cutting that fails the loads above.
    EXPECT_HR(S_OK, LoadBytes(spGraph, full));
    EXPECT_EQ((std::vector<std::wstring>{L"Null", L"Tee", L"Writer"}), FilterNames(spGraph));
}

TEST(GraphLoadMalformed, RefusesStreamsThatAreNotGraphs) {
    std::vector<uint8_t> trailing = StreamBytes("filter 0001 \"Null\" " PT_NULL_RENDERER "\n");
    std::vector<uint8_t> trailingText = Utf16(u"x");
    trailing.insert(trailing.end(), trailingText.begin(), trailingText.end());
    std::vector<uint8_t> oddLength = StreamBytes("filter 0001 \"Null\" " PT_NULL_RENDERER "\n");
    oddLength.push_back(0);
    const std::vector<uint8_t> rgStreams[] = {
        trailing,
        oddLength,
        Utf16(u"0004\r\nFILTERS\r\nCONNECTIONS\r\nCLOCK 1 0000\r\nEND"),
        Utf16(u"0003\r\nFILTERS\r\n0001 \"Null\" {C1F400A4-3F08-11D3-9F0B-006008039E37}\r\n0000000009 ab\r\n"
              u"CONNECTIONS\r\nCLOCK 1 0000\r\nEND"),
        {'0', '0', '0', '3', '\r', '\n'},  // 8-bit text
    };
    for (const std::vector<uint8_t>& stream : rgStreams) {
        fw::ComPtr<IFilterGraph> spGraph = CreateGraph();
        EXPECT_HR(VFW_E_INVALID_FILE_FORMAT, LoadBytes(spGraph, stream));
        EXPECT_EQ(std::vector<std::wstring>{}, FilterNames(spGraph));
    }
}

TEST(GraphLoadMalformed, RefusesANullStream) {
    fw::ComQIPtr<IPersistStream> spPersist(CreateGraph().Get());
    ASSERT_TRUE(spPersist);
    EXPECT_HR(E_POINTER, spPersist->Load(nullptr));
}

// Files saved by real GraphEdit parse; their first filter's class is not on this machine,
// so the load stops there, not at the format.
TEST(GraphLoadMalformed, ReadsRealGraphEditFilesUpToTheirFilters) {
    const wchar_t* const rgszSamples[] = {
        L"Lenart12__FlipCam__test2.grf",
        L"rdp-org__avisynth-as-directshow-capture__screen-capture-recorder@23f2414.grf",
        L"rdp__sensible-cinema__uscreen_me.grf",
        L"rdp__virtual-audio-capture-grabber-device__yo.grf",
        L"warrenseymour__RoxioGameCap__preview.grf",
    };
    for (const wchar_t* pszSample : rgszSamples) {
        SCOPED_TRACE(test::Narrow(pszSample));
        std::vector<uint8_t> bytes;
        ASSERT_HR(S_OK, grf::ReadGrfFile((std::wstring(GRF_SAMPLES_DIR) + L"\\" + pszSample).c_str(), bytes));
        fw::ComPtr<IFilterGraph> spGraph = CreateGraph();
        EXPECT_HR(REGDB_E_CLASSNOTREG, LoadBytes(spGraph, bytes));
        EXPECT_EQ(std::vector<std::wstring>{}, FilterNames(spGraph));
    }
}
