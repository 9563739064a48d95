#include "GrfTestUtil.h"

#include <gtest/gtest.h>

namespace grftest {

std::vector<uint8_t> U16(const std::string& text) {
    std::vector<uint8_t> out;
    for (char c : text) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(0);
    }
    return out;
}

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

grf::Guid G(const char* text) {
    grf::Guid guid;
    EXPECT_TRUE(grf::GuidFromString(std::string(text), guid)) << text;
    return guid;
}

grf::Graph RichGraph() {
    grf::Graph graph;
    grf::Filter source;
    source.id = 1;
    source.name = u"Source: (odd) / \\ data";
    source.clsid = G("{B4E5A1C2-7D3F-4E8A-9B1C-2D3E4F5A6B7C}");
    source.fileKind = grf::FileKind::Source;
    source.fileName = u"C:\\media\\in file.avi";
    source.data = {'"', '\r', '\n', 0, 0xFF, '"', 'E', 'N', 'D'};
    grf::Filter sink;
    sink.id = 12;
    sink.name = u"Writer \u00e9\u4e2d";
    sink.clsid = G("{0F6417D6-C318-11D0-A43F-00A0C9223196}");
    sink.fileKind = grf::FileKind::Sink;
    sink.fileName = u"C:\\out\\a.mp4";
    sink.data = {'r', 'a', 't', 'e', '=', '1', '\n'};
    grf::Connection connection;
    connection.outFilterId = 1;
    connection.outPinId = u"0";
    connection.inFilterId = 12;
    connection.inPinId = u"In 1";
    grf::MediaType& mt = connection.mediaType;
    mt.majorType = G("{73646976-0000-0010-8000-00AA00389B71}");
    mt.subtype = G("{e436eb7e-524f-11ce-9f53-0020af0ba770}");
    mt.fixedSizeSamples = true;
    mt.temporalCompression = true;
    mt.sampleSize = 4294967295u;
    mt.formatType = G("{05589F80-C356-11CE-BF01-00AA0055595A}");
    mt.format = {0, '"', '\r', '\n', 0, 0, 'C', 'L', 'O', 'C', 'K', 0};
    mt.format.push_back(0x7F);
    graph.filters = {source, sink};
    graph.connections = {connection};
    graph.clock.present = true;
    graph.clock.required = false;
    graph.clock.isClassId = true;
    graph.clock.classId = G("{E436EBB1-524F-11CE-9F53-0020AF0BA770}");
    return graph;
}

void ExpectSameGraph(const grf::Graph& expected, const grf::Graph& actual) {
    EXPECT_EQ(expected.version, actual.version);
    ASSERT_EQ(expected.filters.size(), actual.filters.size());
    for (size_t i = 0; i < expected.filters.size(); ++i) {
        const grf::Filter& e = expected.filters[i];
        const grf::Filter& a = actual.filters[i];
        SCOPED_TRACE("filter " + std::to_string(i));
        EXPECT_EQ(e.id, a.id);
        EXPECT_EQ(grf::ToUtf8(e.name), grf::ToUtf8(a.name));
        EXPECT_EQ(grf::GuidToString(e.clsid), grf::GuidToString(a.clsid));
        EXPECT_EQ(e.fileKind, a.fileKind);
        EXPECT_EQ(grf::ToUtf8(e.fileName), grf::ToUtf8(a.fileName));
        EXPECT_EQ(e.data, a.data);
    }
    ASSERT_EQ(expected.connections.size(), actual.connections.size());
    for (size_t i = 0; i < expected.connections.size(); ++i) {
        const grf::Connection& e = expected.connections[i];
        const grf::Connection& a = actual.connections[i];
        SCOPED_TRACE("connection " + std::to_string(i));
        EXPECT_EQ(e.outFilterId, a.outFilterId);
        EXPECT_EQ(grf::ToUtf8(e.outPinId), grf::ToUtf8(a.outPinId));
        EXPECT_EQ(e.inFilterId, a.inFilterId);
        EXPECT_EQ(grf::ToUtf8(e.inPinId), grf::ToUtf8(a.inPinId));
        EXPECT_EQ(grf::GuidToString(e.mediaType.majorType), grf::GuidToString(a.mediaType.majorType));
        EXPECT_EQ(grf::GuidToString(e.mediaType.subtype), grf::GuidToString(a.mediaType.subtype));
        EXPECT_EQ(e.mediaType.fixedSizeSamples, a.mediaType.fixedSizeSamples);
        EXPECT_EQ(e.mediaType.temporalCompression, a.mediaType.temporalCompression);
        EXPECT_EQ(e.mediaType.sampleSize, a.mediaType.sampleSize);
        EXPECT_EQ(grf::GuidToString(e.mediaType.formatType), grf::GuidToString(a.mediaType.formatType));
        EXPECT_EQ(e.mediaType.format, a.mediaType.format);
    }
    EXPECT_EQ(expected.clock.present, actual.clock.present);
    EXPECT_EQ(expected.clock.required, actual.clock.required);
    EXPECT_EQ(expected.clock.isClassId, actual.clock.isClassId);
    EXPECT_EQ(expected.clock.filterId, actual.clock.filterId);
    EXPECT_EQ(grf::GuidToString(expected.clock.classId), grf::GuidToString(actual.clock.classId));
}

}  // namespace grftest
