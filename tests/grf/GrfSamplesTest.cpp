// The eight real .grf files in tests/data/grf-samples, read through the platform's
// structured storage, checked against the independent decoding in SOURCES.md beside them.
#include <dshow.h>

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "GrfFile.h"
#include "GrfFormat.h"
#include "TestSupport.h"

namespace {

const std::wstring kSamplesDir = GRF_SAMPLES_DIR;

grf::Guid FromPlatform(const GUID& g) {
    grf::Guid guid;
    guid.data1 = g.Data1;
    guid.data2 = g.Data2;
    guid.data3 = g.Data3;
    for (int i = 0; i < 8; ++i) guid.data4[i] = g.Data4[i];
    return guid;
}

// A FOURCC or wave-format subtype: {xxxxxxxx-0000-0010-8000-00AA00389B71}.
GUID FourccSubtype(DWORD code) { return {code, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}}; }

// The names SOURCES.md uses, taken from the platform's own identifiers where it has them
// (mingw-w64's strmiids lacks the H.264 and raw-AAC subtypes).
std::string GuidOfName(const std::string& name) {
    static const std::map<std::string, GUID> kNames = {
        {"MEDIATYPE_Video", MEDIATYPE_Video},           {"MEDIATYPE_Audio", MEDIATYPE_Audio},
        {"MEDIATYPE_AnalogVideo", MEDIATYPE_AnalogVideo}, {"MEDIATYPE_Stream", MEDIATYPE_Stream},
        {"MEDIASUBTYPE_RGB24", MEDIASUBTYPE_RGB24},     {"MEDIASUBTYPE_RGB32", MEDIASUBTYPE_RGB32},
        {"MEDIASUBTYPE_PCM", MEDIASUBTYPE_PCM},         {"MEDIASUBTYPE_YUY2", MEDIASUBTYPE_YUY2},
        {"MEDIASUBTYPE_H264", FourccSubtype(0x34363248)}, {"MEDIASUBTYPE_RAW_AAC1", FourccSubtype(0x00FF)},
        {"FORMAT_VideoInfo", FORMAT_VideoInfo},         {"FORMAT_VideoInfo2", FORMAT_VideoInfo2},
        {"FORMAT_WaveFormatEx", FORMAT_WaveFormatEx},   {"FORMAT_AnalogVideo", FORMAT_AnalogVideo},
        {"FORMAT_MPEG2Video", FORMAT_MPEG2Video},       {"FORMAT_None", FORMAT_None},
        {"CLSID_SystemClock", CLSID_SystemClock},
    };
    auto it = kNames.find(name);
    EXPECT_NE(kNames.end(), it) << "unknown name " << name;
    return it == kNames.end() ? name : grf::GuidToString(FromPlatform(it->second));
}

// Replaces every MEDIATYPE_/MEDIASUBTYPE_/FORMAT_ name in a line by its {GUID}.
std::string WithGuids(std::string line) {
    for (const char* prefix : {"MEDIATYPE_", "MEDIASUBTYPE_", "FORMAT_"}) {
        for (size_t at = line.find(prefix); at != std::string::npos; at = line.find(prefix, at)) {
            size_t end = at;
            while (end < line.size() && (isalnum(static_cast<unsigned char>(line[end])) || line[end] == '_')) ++end;
            const std::string guid = GuidOfName(line.substr(at, end - at));
            line.replace(at, end - at, guid);
            at += guid.size();
        }
    }
    return line;
}

// One file's facts, in the dump's words: "F ..." and "C ..." lines, the clock, the END.
struct Expected {
    std::vector<std::string> lines;
    size_t endAt = 0;
};

// "CLOCK 1 {...} (CLSID_SystemClock); END at byte 1914 = stream length; trailing bytes: none"
void AddClockLine(const std::string& line, Expected& expected) {
    const size_t endPart = line.find("; END at byte ");
    ASSERT_NE(std::string::npos, endPart) << line;
    std::string clock = line.substr(0, endPart);
    const size_t named = clock.find(" (");
    if (named != std::string::npos) {
        const std::string name = clock.substr(named + 2, clock.size() - named - 3);
        clock.resize(named);
        EXPECT_EQ(GuidOfName(name), clock.substr(clock.rfind(' ') + 1));  // the annotation names that GUID
    }
    expected.lines.push_back(clock);
    expected.endAt = std::stoul(line.substr(endPart + 14));
    EXPECT_NE(std::string::npos, line.find("= stream length; trailing bytes: none")) << line;
}

std::map<std::string, Expected> ReadSources() {
    std::ifstream in(test::Narrow(kSamplesDir + L"\\SOURCES.md"));
    EXPECT_TRUE(in.good());
    std::map<std::string, Expected> files;
    Expected* current = nullptr;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("## ", 0) == 0) current = &files[line.substr(3)];
        if (!current || line.rfind("- ", 0) != 0 || line.rfind("- (CONNECTIONS", 0) == 0) continue;
        line = line.substr(2);
        const size_t arrow = line.find(" \xE2\x86\x92 ");  // " → "
        if (arrow != std::string::npos) line.replace(arrow, 5, " -> ");
        if (line.rfind("CLOCK ", 0) == 0) AddClockLine(line, *current);
        else current->lines.push_back(WithGuids(line));
    }
    return files;
}

std::vector<std::string> DumpLines(const std::string& dump) {
    std::vector<std::string> lines;
    std::istringstream in(dump);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("VERSION ", 0) != 0 && line.rfind("END at byte ", 0) != 0) lines.push_back(line);
    }
    return lines;
}

}  // namespace

TEST(GrfSamples, EveryRealFileAgreesWithItsIndependentDecodingAndRoundTripsByteForByte) {
    const std::map<std::string, Expected> files = ReadSources();
    ASSERT_EQ(8u, files.size());
    for (const auto& [name, expected] : files) {
        SCOPED_TRACE(name);
        const std::wstring path = kSamplesDir + L"\\" + std::wstring(name.begin(), name.end());
        std::vector<uint8_t> stream;
        ASSERT_HR(S_OK, grf::ReadGrfFile(path.c_str(), stream));
        EXPECT_EQ(expected.endAt, stream.size());
        grf::Graph graph;
        grf::ParseError error;
        ASSERT_TRUE(grf::Parse(stream.data(), stream.size(), graph, error)) << error.message << " at " << error.offset;
        EXPECT_EQ(3, graph.version);
        const std::string dump = grf::Dump(graph, stream.size());
        EXPECT_EQ(expected.lines, DumpLines(dump)) << dump;
        EXPECT_NE(std::string::npos, dump.find("END at byte " + std::to_string(expected.endAt) + "\n"));
        EXPECT_TRUE(stream == grf::Write(graph)) << "written back differs";
    }
}

TEST(GrfSamples, EveryTruncationOfEveryRealStreamFailsCleanly) {
    for (const auto& entry : ReadSources()) {
        SCOPED_TRACE(entry.first);
        const std::wstring path = kSamplesDir + L"\\" + std::wstring(entry.first.begin(), entry.first.end());
        std::vector<uint8_t> stream;
        ASSERT_HR(S_OK, grf::ReadGrfFile(path.c_str(), stream));
        for (size_t n = 0; n < stream.size(); ++n) {
            std::vector<uint8_t> prefix(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(n));
            prefix.shrink_to_fit();
            grf::Graph graph;
            grf::ParseError error;
            ASSERT_FALSE(grf::Parse(prefix.data(), prefix.size(), graph, error)) << n << " bytes parsed";
            ASSERT_LE(error.offset, n);
        }
    }
}
