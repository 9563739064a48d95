// The GraphEdit stream format: what Write lays out, what Parse accepts, what Dump shows.
#include <gtest/gtest.h>

#include "GrfFormat.h"
#include "GrfTestUtil.h"

using grftest::G;
using grftest::Join;
using grftest::U16;

namespace {

const char kVideo[] = "{73646976-0000-0010-8000-00AA00389B71}";
const char kRgb24[] = "{E436EB7D-524F-11CE-9F53-0020AF0BA770}";
const char kVideoInfo[] = "{05589F80-C356-11CE-BF01-00AA0055595A}";
const char kSystemClock[] = "{E436EBB1-524F-11CE-9F53-0020AF0BA770}";

grf::Graph Parsed(const std::vector<uint8_t>& stream) {
    grf::Graph graph;
    grf::ParseError error;
    EXPECT_TRUE(grf::Parse(stream.data(), stream.size(), graph, error))
        << error.message << " at byte " << error.offset;
    return graph;
}

grf::Graph TwoFilterGraph() {
    grf::Graph graph;
    graph.filters.resize(2);
    graph.filters[0].id = 1;
    graph.filters[0].name = u"Cam";
    graph.filters[0].clsid = G("{F89EB97B-2A47-49B5-A1B1-5E530517CDF6}");
    graph.filters[1].id = 2;
    graph.filters[1].name = u"Render";
    graph.filters[1].clsid = G("{B87BEB7B-8D29-423F-AE4D-6582C10175AC}");
    graph.filters[1].data = {1, 2, 3};
    grf::Connection c;
    c.outFilterId = 1;
    c.outPinId = u"1";
    c.inFilterId = 2;
    c.inPinId = u"In";
    c.mediaType.majorType = G(kVideo);
    c.mediaType.subtype = G(kRgb24);
    c.mediaType.fixedSizeSamples = true;
    c.mediaType.sampleSize = 2764800;
    c.mediaType.formatType = G(kVideoInfo);
    c.mediaType.format = {0xAA, 0xBB};
    graph.connections.push_back(c);
    graph.clock.present = true;
    graph.clock.required = true;
    return graph;
}

TEST(GrfWrite, LaysOutRecordsExactlyAsRealFilesDo) {
    const std::string mediaType = std::string(kVideo) + " " + kRgb24 + " 1 0 0002764800" + std::string(1, '\0') +
                                  kVideoInfo + " 0000000002 ";
    const std::vector<uint8_t> expected = Join({
        U16("0003\r\nFILTERS\r\n"
            "0001 \"Cam\" {F89EB97B-2A47-49B5-A1B1-5E530517CDF6} 0000000000 \r\n"
            "0002 \"Render\" {B87BEB7B-8D29-423F-AE4D-6582C10175AC} 0000000003 "),
        {1, 2, 3},
        U16("\r\nCONNECTIONS\r\n0001 \"1\" 0002 \"In\" 0000000288 " + mediaType),
        {0xAA, 0xBB},
        U16("\r\nCLOCK 1 0000\r\nEND"),
    });
    EXPECT_EQ(expected, grf::Write(TwoFilterGraph()));
}

TEST(GrfWrite, WritesFileNamesClassIdClocksAndAlwaysConnections) {
    grf::Graph graph;
    graph.filters.resize(1);
    graph.filters[0].id = 7;
    graph.filters[0].name = u"Src";
    graph.filters[0].clsid = G("{3755D805-2E56-4A74-BD0F-13C7493A35C8}");
    graph.filters[0].fileKind = grf::FileKind::Source;
    graph.filters[0].fileName = u"(null)";
    graph.clock = {true, true, true, 0, G(kSystemClock)};
    EXPECT_EQ(U16("0003\r\nFILTERS\r\n0007 \"Src\" {3755D805-2E56-4A74-BD0F-13C7493A35C8} SOURCE \"(null)\" "
                  "0000000000 \r\nCONNECTIONS\r\nCLOCK 1 " + std::string(kSystemClock) + "\r\nEND"),
              grf::Write(graph));
    graph.filters[0].fileKind = grf::FileKind::Sink;
    graph.clock.present = false;
    EXPECT_EQ(U16("0003\r\nFILTERS\r\n0007 \"Src\" {3755D805-2E56-4A74-BD0F-13C7493A35C8} SINK \"(null)\" "
                  "0000000000 \r\nCONNECTIONS\r\nEND"),
              grf::Write(graph));
}

TEST(GrfWrite, Version2HasNoClockLine) {
    grf::Graph graph = TwoFilterGraph();
    graph.version = 2;
    graph.connections.clear();
    const std::vector<uint8_t> stream = grf::Write(graph);
    EXPECT_EQ(Join({U16("0002\r\nFILTERS\r\n0001 \"Cam\" {F89EB97B-2A47-49B5-A1B1-5E530517CDF6} 0000000000 \r\n"
                        "0002 \"Render\" {B87BEB7B-8D29-423F-AE4D-6582C10175AC} 0000000003 "),
                    {1, 2, 3},
                    U16("\r\nCONNECTIONS\r\nEND")}),
              stream);
    grf::Graph back = Parsed(stream);
    EXPECT_EQ(2, back.version);
    EXPECT_FALSE(back.clock.present);
    EXPECT_EQ(2u, back.filters.size());
}

TEST(GrfParse, ReadsBackEveryFieldWithBinaryBlocksOfAnyContentAndOddLength) {
    const grf::Graph graph = grftest::RichGraph();
    const std::vector<uint8_t> stream = grf::Write(graph);
    ASSERT_EQ(1u, stream.size() % 2);  // both blocks are odd: the text between them sits at odd offsets
    grftest::ExpectSameGraph(graph, Parsed(stream));
    EXPECT_EQ(stream, grf::Write(Parsed(stream)));
}

TEST(GrfParse, AcceptsThePublishedGrammarsLooserWhitespace) {
    // Tabs, runs of spaces, bare LF, blank lines, and a space instead of the NUL before the
    // format type; the media type's length still counts from {major} to the last format byte.
    const std::string block = std::string("{E436EB83-524F-11CE-9F53-0020AF0BA770}\t{E436EB88-524F-11CE-9F53-0020AF0BA770}") +
                              "  1\t0 \n 0000000001 {00000000-0000-0000-0000-000000000000}  0000000000 ";
    const std::vector<uint8_t> stream = U16(
        "0003\n\nFILTERS\n"
        "0001\t\"Video Renderer\"  {70E102B0-5556-11CE-97C0-00AA0055595A}\t0000000000 \n"
        "2 \"C:\\example.avi\" {E436EBB5-524F-11CE-9F53-0020AF0BA770}\n\tSOURCE  \"C:\\example.avi\"   0 \n"
        "0003 \"AVI Splitter\" {1b544c20-fd0b-11ce-8c63-00aa0044b51e} 0000000000 \r\n"
        "CONNECTIONS\n"
        "0002 \"Output\"\t0003   \"input pin\" " + std::to_string(block.size() * 2) + "\t" + block + "\n"
        "CLOCK\t1 \t0001\n"
        "END\r\n");
    const grf::Graph graph = Parsed(stream);
    ASSERT_EQ(3u, graph.filters.size());
    EXPECT_EQ(2u, graph.filters[1].id);
    EXPECT_EQ(u"C:\\example.avi", graph.filters[1].fileName);
    EXPECT_EQ(grf::FileKind::Source, graph.filters[1].fileKind);
    EXPECT_EQ("{1B544C20-FD0B-11CE-8C63-00AA0044B51E}", grf::GuidToString(graph.filters[2].clsid));
    ASSERT_EQ(1u, graph.connections.size());
    EXPECT_EQ(u"input pin", graph.connections[0].inPinId);
    EXPECT_TRUE(graph.connections[0].mediaType.fixedSizeSamples);
    EXPECT_EQ(1u, graph.connections[0].mediaType.sampleSize);
    EXPECT_TRUE(graph.connections[0].mediaType.format.empty());
    EXPECT_TRUE(graph.clock.present && graph.clock.required && !graph.clock.isClassId);
    EXPECT_EQ(1u, graph.clock.filterId);
    // Written back, it takes the real files' layout.
    const std::vector<uint8_t> canonical = grf::Write(graph);
    EXPECT_NE(stream, canonical);
    EXPECT_EQ(canonical, grf::Write(Parsed(canonical)));
}

TEST(GrfParse, Version3MayOmitTheClock) {
    const grf::Graph graph = Parsed(U16("0003\r\nFILTERS\r\nCONNECTIONS\r\nEND"));
    EXPECT_EQ(3, graph.version);
    EXPECT_FALSE(graph.clock.present);
    EXPECT_TRUE(graph.filters.empty());
}

TEST(GrfDump, ShowsOneLinePerRecord) {
    grf::Graph graph = TwoFilterGraph();
    graph.filters[1].fileKind = grf::FileKind::Sink;
    graph.filters[1].fileName = u"C:\\o.mp4";
    EXPECT_EQ(std::string("VERSION 0003\n"
                          "F 0001 \"Cam\" {F89EB97B-2A47-49B5-A1B1-5E530517CDF6} data=0 B\n"
                          "F 0002 \"Render\" {B87BEB7B-8D29-423F-AE4D-6582C10175AC} SINK \"C:\\o.mp4\" data=3 B\n"
                          "C 0001 \"1\" -> 0002 \"In\": mt-block 288 B; ") +
                  kVideo + " / " + kRgb24 + "; fixed=1 temporal=0 lSampleSize=2764800; " + kVideoInfo +
                  " cbFormat=2\nCLOCK 1 0000\nEND at byte 1234\n",
              grf::Dump(graph, 1234));
    graph.clock.present = false;
    EXPECT_NE(std::string::npos, grf::Dump(graph, 0).find("\nCLOCK none\n"));
}

TEST(GrfGuid, FormatsUpperCaseAndParsesEitherCase) {
    grf::Guid guid;
    ASSERT_TRUE(grf::GuidFromString(std::u16string(u"{e436ebb1-524f-11ce-9f53-0020af0ba770}"), guid));
    EXPECT_EQ(0xE436EBB1u, guid.data1);
    EXPECT_EQ(0x524Fu, guid.data2);
    EXPECT_EQ(0x11CEu, guid.data3);
    EXPECT_EQ(0x9Fu, guid.data4[0]);
    EXPECT_EQ(0x70u, guid.data4[7]);
    EXPECT_EQ(kSystemClock, grf::GuidToString(guid));
    EXPECT_TRUE(guid == G(kSystemClock));
    EXPECT_TRUE(guid != G(kVideo));
}

TEST(GrfGuid, RejectsMalformedText) {
    grf::Guid guid = G(kVideo);
    for (const char* bad : {"", "E436EBB1-524F-11CE-9F53-0020AF0BA770", "{E436EBB1-524F-11CE-9F53-0020AF0BA77}",
                            "{E436EBB1-524F-11CE-9F53-0020AF0BA7700}", "{E436EBB1_524F-11CE-9F53-0020AF0BA770}",
                            "{E436EBB1-524F-11CE-9F53-0020AF0BA77G}", "(E436EBB1-524F-11CE-9F53-0020AF0BA770)",
                            "{E436EBB1-524F-11CE-9F530-020AF0BA770}"}) {
        EXPECT_FALSE(grf::GuidFromString(std::string(bad), guid)) << bad;
    }
    EXPECT_EQ(kVideo, grf::GuidToString(guid));  // untouched by the failures
}

TEST(GrfText, ConvertsBetweenUtf8AndUtf16) {
    const std::u16string wide = u"a\u00e9\u4e2d\U0001F600";
    EXPECT_EQ("a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", grf::ToUtf8(wide));
    std::u16string back;
    ASSERT_TRUE(grf::FromUtf8(grf::ToUtf8(wide), back));
    EXPECT_EQ(wide, back);
    EXPECT_EQ("\xEF\xBF\xBD", grf::ToUtf8(std::u16string(1, u'\xD800')));
    for (const char* bad : {"\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xFF", "\xE4\xB8"})
        EXPECT_FALSE(grf::FromUtf8(bad, back)) << bad;
}

}  // namespace
