// The .grf text description: records, aliases, defaults and the errors it reports.
#include <dshow.h>

#include <gtest/gtest.h>

#include "GrfFormat.h"
#include "GrfTestUtil.h"
#include "GrfText.h"
#include "TestbedIds.h"
#include "WriterInterfaces.h"

namespace {

std::string S(const GUID& g) {
    wchar_t sz[40];
    ::StringFromGUID2(g, sz, 40);
    return std::string(sz, sz + 38);
}

grf::Graph Described(const std::string& text) {
    grf::Graph graph;
    std::string error;
    EXPECT_TRUE(grf::ParseDescription(text, graph, error)) << error;
    return graph;
}

void ExpectError(const std::string& text, const std::string& expected) {
    grf::Graph graph;
    graph.filters.resize(5);
    std::string error;
    EXPECT_FALSE(grf::ParseDescription(text, graph, error)) << text;
    EXPECT_EQ(expected, error.substr(0, expected.size())) << error;
    EXPECT_EQ(5u, graph.filters.size());  // untouched on failure
}

// The shared contract's own example, comments and all.
const char kExample[] =
    "version 3                          # optional, 2 or 3 (default 3)\n"
    "filter 0001 \"Tavrel\" tavrel        # id, quoted name, a {CLSID} or an alias: writer, tavrel\n"
    "data rate=2000000                  # appends the UTF-8 text and one LF to the previous filter's data\n"
    "datahex 00 22 0d 0a ff             # appends raw bytes to the previous filter's data\n"
    "filter 0002 \"Lathmere writer\" writer sink \"C:\\out\\a.mp4\"   # optional: source \"<file>\" or sink \"<file>\"\n"
    "connect 0001 \"Out\" 0002 \"In\" {73646976-0000-0010-8000-00AA00389B71} {e436eb7e-524f-11ce-9f53-0020af0ba770} "
    "1 0 65536 {05589F80-C356-11CE-BF01-00AA0055595A} 0a0b0c   # fixed, temporal, lSampleSize, format bytes\n"
    "clock 0000                         # CLOCK 1 0000; or: clock {clsid}; or: clock none (no clock line)\n";

TEST(GrfText, ReadsTheContractExample) {
    const grf::Graph graph = Described(kExample);
    EXPECT_EQ(3, graph.version);
    ASSERT_EQ(2u, graph.filters.size());
    const grf::Filter& tavrel = graph.filters[0];
    EXPECT_EQ(1u, tavrel.id);
    EXPECT_EQ(u"Tavrel", tavrel.name);
    EXPECT_EQ(S(CLSID_TavrelSource), grf::GuidToString(tavrel.clsid));
    EXPECT_EQ(grf::FileKind::None, tavrel.fileKind);
    EXPECT_EQ((std::vector<uint8_t>{'r', 'a', 't', 'e', '=', '2', '0', '0', '0', '0', '0', '0', '\n', 0x00, 0x22, 0x0D, 0x0A, 0xFF}),
              tavrel.data);
    const grf::Filter& writer = graph.filters[1];
    EXPECT_EQ(2u, writer.id);
    EXPECT_EQ(u"Lathmere writer", writer.name);
    EXPECT_EQ(S(CLSID_WriterFilter), grf::GuidToString(writer.clsid));
    EXPECT_EQ(grf::FileKind::Sink, writer.fileKind);
    EXPECT_EQ(u"C:\\out\\a.mp4", writer.fileName);
    EXPECT_TRUE(writer.data.empty());
    ASSERT_EQ(1u, graph.connections.size());
    const grf::Connection& c = graph.connections[0];
    EXPECT_EQ(1u, c.outFilterId);
    EXPECT_EQ(u"Out", c.outPinId);
    EXPECT_EQ(2u, c.inFilterId);
    EXPECT_EQ(u"In", c.inPinId);
    EXPECT_EQ(S(MEDIATYPE_Video), grf::GuidToString(c.mediaType.majorType));
    EXPECT_EQ(S(MEDIASUBTYPE_RGB32), grf::GuidToString(c.mediaType.subtype));
    EXPECT_TRUE(c.mediaType.fixedSizeSamples);
    EXPECT_FALSE(c.mediaType.temporalCompression);
    EXPECT_EQ(65536u, c.mediaType.sampleSize);
    EXPECT_EQ(S(FORMAT_VideoInfo), grf::GuidToString(c.mediaType.formatType));
    EXPECT_EQ((std::vector<uint8_t>{0x0A, 0x0B, 0x0C}), c.mediaType.format);
    EXPECT_TRUE(graph.clock.present && graph.clock.required && !graph.clock.isClassId);
    EXPECT_EQ(0u, graph.clock.filterId);
}

TEST(GrfText, AliasesAreThePlatformsIdentifiers) {
    const std::pair<const char*, GUID> aliases[] = {
        {"writer", CLSID_WriterFilter}, {"tavrel", CLSID_TavrelSource}, {"stream", MEDIATYPE_Stream},
        {"video", MEDIATYPE_Video},     {"audio", MEDIATYPE_Audio},     {"null", GUID_NULL},
        {"none", FORMAT_None},          {"systemclock", CLSID_SystemClock}};
    for (const auto& [word, guid] : aliases) {
        grf::Guid parsed;
        ASSERT_TRUE(grf::GuidFromWord(word, parsed)) << word;
        EXPECT_EQ(S(guid), grf::GuidToString(parsed)) << word;
    }
    grf::Guid parsed;
    EXPECT_FALSE(grf::GuidFromWord("Writer", parsed));
    EXPECT_FALSE(grf::GuidFromWord("video2", parsed));
}

TEST(GrfText, ClockRecordsAndDefaults) {
    EXPECT_TRUE(Described("filter 1 \"A\" writer\n").clock.present);  // version 3 default: CLOCK 1 0000
    EXPECT_FALSE(Described("filter 1 \"A\" writer\nclock none\n").clock.present);
    const grf::Graph v2 = Described("version 2\nfilter 1 \"A\" writer\n");
    EXPECT_EQ(2, v2.version);
    EXPECT_FALSE(v2.clock.present);
    const grf::Clock byId = Described("clock 0003\n").clock;
    EXPECT_TRUE(byId.present && !byId.isClassId);
    EXPECT_EQ(3u, byId.filterId);
    const grf::Clock byClass = Described("clock systemclock\n").clock;
    EXPECT_TRUE(byClass.present && byClass.required && byClass.isClassId);
    EXPECT_EQ(S(CLSID_SystemClock), grf::GuidToString(byClass.classId));
    const std::vector<uint8_t> stream = grf::Write(Described("clock {E436EBB1-524F-11CE-9F53-0020AF0BA770}"));
    const std::vector<uint8_t> tail = grftest::U16("CLOCK 1 {E436EBB1-524F-11CE-9F53-0020AF0BA770}\r\nEND");
    EXPECT_TRUE(std::equal(tail.rbegin(), tail.rend(), stream.rbegin()));
}

TEST(GrfText, DataKeepsQuotesAndInnerHashesAndTakesUtf8) {
    const std::string bom = "\xEF\xBB\xBF";
    const grf::Graph graph = Described(bom + "# a comment line\r\n\r\n  filter 0001 \"Caf\xC3\xA9 #1\" tavrel source \"C:\\in\\x.avi\"\r\n"
                                             "data name=\"a#1\" \xE4\xB8\xAD  # note\r\ndata\r\ndatahex 0D0a\r\n");
    ASSERT_EQ(1u, graph.filters.size());
    EXPECT_EQ(u"Caf\u00e9 #1", graph.filters[0].name);
    EXPECT_EQ(grf::FileKind::Source, graph.filters[0].fileKind);
    EXPECT_EQ(u"C:\\in\\x.avi", graph.filters[0].fileName);
    const std::string data(graph.filters[0].data.begin(), graph.filters[0].data.end());
    EXPECT_EQ("name=\"a#1\" \xE4\xB8\xAD\n\n\r\n", data);
}

TEST(GrfText, ConnectWithoutFormatBytesAndAliases) {
    const grf::Graph graph = Described("connect 0001 \"Out\" 0002 \"In\" stream null 0 1 4294967295 none\n");
    ASSERT_EQ(1u, graph.connections.size());
    const grf::MediaType& mt = graph.connections[0].mediaType;
    EXPECT_EQ(S(MEDIATYPE_Stream), grf::GuidToString(mt.majorType));
    EXPECT_EQ(S(GUID_NULL), grf::GuidToString(mt.subtype));
    EXPECT_FALSE(mt.fixedSizeSamples);
    EXPECT_TRUE(mt.temporalCompression);
    EXPECT_EQ(4294967295u, mt.sampleSize);
    EXPECT_EQ(S(FORMAT_None), grf::GuidToString(mt.formatType));
    EXPECT_TRUE(mt.format.empty());
}

TEST(GrfText, ErrorsNameTheLineAndTheProblem) {
    ExpectError("filter 0001 \"A\" writer\nbogus 1\n", "line 2: unknown record 'bogus'");
    ExpectError("filter 0001 A writer\n", "line 1: expected the filter name in quotes");
    ExpectError("filter 0001 \"A writer\n", "line 1: unterminated quoted string");
    ExpectError("filter 0001 \"A\"writer\n", "line 1: expected a blank after the closing quote");
    ExpectError("filter x1 \"A\" writer\n", "line 1: expected a filter id, got 'x1'");
    ExpectError("filter 0001 \"A\" witer\n", "line 1: expected the filter's CLSID ({GUID} or alias), got 'witer'");
    ExpectError("filter 0001 \"A\" writer file \"x\"\n", "line 1: expected source or sink, got 'file'");
    ExpectError("filter 0001 \"A\" writer sink x\n", "line 1: expected the file name in quotes");
    ExpectError("filter 0001 \"\xC3\" writer\n", "line 1: the filter name is not valid UTF-8");
    ExpectError("data x=1\n", "line 1: data before any filter");
    ExpectError("\n\ndatahex 00\n", "line 3: datahex before any filter");
    ExpectError("filter 1 \"A\" writer\ndatahex 0 1\n", "line 2: expected pairs of hex digits, got '0'");
    ExpectError("filter 1 \"A\" writer\ndatahex zz\n", "line 2: expected pairs of hex digits, got 'zz'");
    ExpectError("version 4\n", "line 1: unsupported version '4'");
    ExpectError("filter 1 \"A\" writer\nversion 2\n", "line 2: version must come before filters and clock");
    ExpectError("version 2\nclock 0000\n", "line 2: version 2 has no clock");
    ExpectError("clock 0000\nclock none\n", "line 2: a second clock record");
    ExpectError("clock\n", "line 1: expected a filter id, {CLSID}, alias or none");
    ExpectError("clock 0000 1\n", "line 1: unexpected '1' after the clock");
    const std::string connect = "connect 1 \"o\" 2 \"i\" video null ";
    ExpectError(connect + "2 0 1 none\n", "line 1: expected the fixed-size-samples flag (0 or 1), got '2'");
    ExpectError(connect + "1 0 4294967296 none\n", "line 1: expected the sample size, got '4294967296'");
    ExpectError(connect + "1 0 1\n", "line 1: expected the format type");
    ExpectError(connect + "1 0 1 none abc\n", "line 1: expected the format bytes in hex, got 'abc'");
    ExpectError("connect 1 \"o\" 2 i video null 1 0 1 none\n", "line 1: expected the input pin id in quotes");
}

}  // namespace
