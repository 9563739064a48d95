// grf_make_seeds <folder>: writes the generated part of the fuzzer's seed corpus.
//
// Valid streams come from grf::Write (so they have the exact layout real files have) and
// from hand-written text in the looser published grammar; edge cases are written by hand
// around the places where a reader of this format goes wrong: lengths (huge, past the
// end, past 32 and 64 bits, off by one), quotes, odd byte counts, truncation, what follows
// END. Names start with "ok-" or "bad-": grf_corpus_check holds each file to its name.
// The output is committed under fuzz/corpus/seeds; run this again only to change it.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "GrfFormat.h"

namespace {

using Bytes = std::vector<uint8_t>;

const std::string kGuid = "{F89EB97B-2A47-49B5-A1B1-5E530517CDF6}";
const std::string kStream = "{E436EB83-524F-11CE-9F53-0020AF0BA770} {F4AEB342-0329-4FDD-A8FD-4AFF4926C978}";
const std::string kFormatNone = "{0F6417D6-C318-11D0-A43F-00A0C9223196}";
const std::string kHead = "0003\r\nFILTERS\r\n";
const std::string kTail = "CONNECTIONS\r\nCLOCK 1 0000\r\nEND";
const std::string kNul(1, '\0');

// UTF-16LE of 8-bit text: each char becomes one code unit, so "\0" and "\r\n" come through.
Bytes U16(const std::string& text) {
    Bytes out;
    for (char c : text) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(0);
    }
    return out;
}

Bytes Units(std::initializer_list<char16_t> units) {
    Bytes out;
    for (char16_t unit : units) {
        out.push_back(static_cast<uint8_t>(unit & 0xFF));
        out.push_back(static_cast<uint8_t>(unit >> 8));
    }
    return out;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

grf::Guid G(const char* text) {
    grf::Guid guid;
    grf::GuidFromString(std::string(text), guid);
    return guid;
}

std::string FilterLine(const std::string& id, const std::string& name, const std::string& length, const std::string& data) {
    return id + " \"" + name + "\" " + kGuid + " " + length + " " + data + "\r\n";
}

// A filter record whose length counts its text data exactly (two bytes a character).
std::string FilterLine(const std::string& name, const std::string& data) {
    char length[16];
    std::snprintf(length, sizeof length, "%010zu", 2 * data.size());
    return FilterLine("0001", name, length, data);
}

grf::Filter MakeFilter(uint32_t id, const std::u16string& name, Bytes data) {
    grf::Filter filter;
    filter.id = id;
    filter.name = name;
    filter.clsid = G("{B4E5A1C2-7D3F-4E8A-9B1C-2D3E4F5A6B7C}");
    filter.data = std::move(data);
    return filter;
}

grf::Connection MakeConnection(uint32_t from, uint32_t to, Bytes format) {
    grf::Connection connection;
    connection.outFilterId = from;
    connection.outPinId = u"Out";
    connection.inFilterId = to;
    connection.inPinId = u"0";
    connection.mediaType.majorType = G("{73646976-0000-0010-8000-00AA00389B71}");
    connection.mediaType.subtype = G("{E436EB7E-524F-11CE-9F53-0020AF0BA770}");
    connection.mediaType.fixedSizeSamples = true;
    connection.mediaType.sampleSize = 2764800;
    connection.mediaType.formatType = G("{05589F80-C356-11CE-BF01-00AA0055595A}");
    connection.mediaType.format = std::move(format);
    return connection;
}

// Two filters with odd-length blocks full of quotes, CR LF, zeros and keywords, a sink,
// a source, a connection with an odd-length format block and a class-id clock.
grf::Graph RichGraph() {
    grf::Graph graph;
    graph.filters.push_back(MakeFilter(1, u"Source: (odd) / \\ data", {'"', '\r', '\n', 0, 0xFF, '"', 'E', 'N', 'D'}));
    graph.filters[0].fileKind = grf::FileKind::Source;
    graph.filters[0].fileName = u"C:\\media\\in file.avi";
    graph.filters.push_back(MakeFilter(12, u"Writer \u00e9\u4e2d \U0001F3A5", {'r', 'a', 't', 'e', '=', '1', '\n'}));
    graph.filters[1].fileKind = grf::FileKind::Sink;
    graph.filters[1].fileName = u"C:\\out\\a.mp4";
    graph.connections.push_back(MakeConnection(1, 12, {0, '"', '\r', '\n', 0, 0, 'C', 'L', 'O', 'C', 'K', 0, 0x7F}));
    graph.clock.present = true;
    graph.clock.isClassId = true;
    graph.clock.classId = G("{E436EBB1-524F-11CE-9F53-0020AF0BA770}");
    return graph;
}

void WriteValidGraphs(std::vector<std::pair<std::string, Bytes>>& seeds) {
    grf::Graph rich = RichGraph();
    seeds.emplace_back("ok-write-rich", grf::Write(rich));

    grf::Graph v2 = rich;
    v2.version = 2;
    v2.clock = grf::Clock();
    seeds.emplace_back("ok-write-version2", grf::Write(v2));

    grf::Graph empty;
    seeds.emplace_back("ok-write-empty-no-clock", grf::Write(empty));

    grf::Graph chain;
    chain.filters.push_back(MakeFilter(1, u"(null)", {}));
    chain.filters[0].fileKind = grf::FileKind::Source;
    chain.filters[0].fileName = u"(null)";
    chain.filters.push_back(MakeFilter(2, u"odd", Bytes(1, '"')));
    chain.filters.push_back(MakeFilter(12345, u"id past 4 digits", Bytes(3, 0)));
    chain.filters.push_back(MakeFilter(4294967295u, u"", Bytes(255, 0x0A)));
    chain.connections.push_back(MakeConnection(1, 2, {}));
    chain.connections.push_back(MakeConnection(2, 12345, Bytes(1, 0)));
    chain.connections.back().mediaType.sampleSize = 4294967295u;
    chain.clock.present = true;
    chain.clock.required = false;
    chain.clock.filterId = 2;
    seeds.emplace_back("ok-write-odd-blocks-and-ids", grf::Write(chain));

    grf::Graph surrogates;
    surrogates.filters.push_back(MakeFilter(1, std::u16string(1, u'\xD800') + u"x" + std::u16string(1, u'\xDC00'), {}));
    surrogates.connections.push_back(MakeConnection(1, 1, {0xD8, 0x00}));
    surrogates.connections.back().outPinId = std::u16string(1, u'\xDBFF');
    seeds.emplace_back("ok-write-lone-surrogates", grf::Write(surrogates));
}

void WriteLooseGrammar(std::vector<std::pair<std::string, Bytes>>& seeds) {
    const std::string mt = "0000000286 " + kStream + " 1 0 0000065536" + kNul + kFormatNone + " 0000000000 ";
    seeds.emplace_back("ok-loose-whitespace",
                       U16("3\n\tFILTERS  \r\n 1\t\"A\"   " + kGuid + "\tSINK\t\"C:\\o.mp4\" 2 a\n\n\nCONNECTIONS\r\n"
                           "1 \"o\" 1 \"i\" " + mt + "\r\nCLOCK 0 {f89eb97b-2a47-49b5-a1b1-5e530517cdf6}\r\nEND \r\n\t "));
    seeds.emplace_back("ok-blanks-before-format-type",
                       U16(kHead + "CONNECTIONS\r\n0001 \"o\" 0002 \"i\" 0000000286 " + kStream + " 1 0 0000065536 " +
                           kFormatNone + " 0000000000 \r\nEND"));
    seeds.emplace_back("ok-quotes-and-records-inside-data",
                       U16(kHead + FilterLine("A", "\"0002 \"x\" " + kGuid + " 0000000000 \r\n") + kTail));
    seeds.emplace_back("ok-hand-lone-surrogates",
                       Join({U16(kHead + "0001 \""), Units({0xDC00, 0xD800, 0xD800}),
                             U16("\" " + kGuid + " 0000000000 \r\n" + kTail)}));
}

void WriteBrokenLengths(std::vector<std::pair<std::string, Bytes>>& seeds) {
    const auto withLength = [](const std::string& length) {
        return U16(kHead + FilterLine("0001", "A", length, "ab") + kTail);
    };
    seeds.emplace_back("bad-length-9999999999", withLength("9999999999"));
    seeds.emplace_back("bad-length-uint32-max", withLength("4294967295"));
    seeds.emplace_back("bad-length-uint32-max-plus-1", withLength("4294967296"));
    seeds.emplace_back("bad-length-size-max", withLength("18446744073709551615"));
    seeds.emplace_back("bad-length-size-max-plus-1", withLength("18446744073709551616"));
    seeds.emplace_back("bad-length-40-digits", withLength(std::string(40, '9')));
    seeds.emplace_back("bad-length-one-short", withLength("0000000001"));
    seeds.emplace_back("bad-length-one-long", withLength("0000000003"));
    seeds.emplace_back("bad-length-missing", U16(kHead + "0001 \"A\" " + kGuid + " \r\n" + kTail));
    seeds.emplace_back("bad-id-past-32-bits", U16(kHead + FilterLine("4294967296", "A", "0000000000", "") + kTail));

    const std::string head = kHead + "CONNECTIONS\r\n0001 \"o\" 0002 \"i\" ";
    const std::string body = kStream + " 1 0 0000065536" + kNul + kFormatNone + " 0000000002 x\r\nEND";
    seeds.emplace_back("ok-media-type-length-exact", U16(head + "0000000288 " + body));
    seeds.emplace_back("bad-media-type-length-short", U16(head + "0000000287 " + body));
    seeds.emplace_back("bad-media-type-length-long", U16(head + "0000000290 " + body));
    seeds.emplace_back("bad-media-type-length-huge", U16(head + "18446744073709551615 " + body));
    seeds.emplace_back("bad-format-length-huge",
                       U16(head + "0000000288 " + kStream + " 1 0 0000065536" + kNul + kFormatNone + " 9999999999 x\r\nEND"));
}

void WriteBrokenStructure(std::vector<std::pair<std::string, Bytes>>& seeds) {
    const Bytes valid = grf::Write(RichGraph());
    seeds.emplace_back("bad-empty", Bytes());
    seeds.emplace_back("bad-one-byte", Bytes(1, '0'));
    seeds.emplace_back("bad-half-code-unit-after-end", Join({valid, Bytes(1, 0x0A)}));
    seeds.emplace_back("bad-garbage-after-end", Join({valid, U16("\r\nEND\r\nFILTERS")}));
    seeds.emplace_back("bad-nul-after-end", Join({valid, Bytes(2, 0)}));
    seeds.emplace_back("bad-missing-end", Bytes(valid.begin(), valid.end() - 6));
    seeds.emplace_back("bad-truncated-in-data", Bytes(valid.begin(), valid.begin() + 200));
    seeds.emplace_back("bad-truncated-odd", Bytes(valid.begin(), valid.begin() + 331));
    seeds.emplace_back("bad-truncated-in-format", Bytes(valid.begin(), valid.end() - 60));
    seeds.emplace_back("bad-byte-order-mark", Join({Bytes{0xFF, 0xFE}, valid}));
    seeds.emplace_back("bad-version-4", U16("0004\r\nFILTERS\r\n" + kTail));
    seeds.emplace_back("bad-version2-with-clock", U16("0002\r\nFILTERS\r\n" + kTail));
    seeds.emplace_back("bad-unterminated-name", U16(kHead + "0001 \"A " + kGuid + " 0000000000 \r\n" + kTail));
    seeds.emplace_back("bad-nested-quotes", U16(kHead + FilterLine("0001", "say \"hi\"", "0000000000", "") + kTail));
    seeds.emplace_back("bad-short-guid", U16(kHead + "0001 \"A\" {F89EB97B-2A47} 0000000000 \r\n" + kTail));
    seeds.emplace_back("bad-guid-not-hex", U16(kHead + "0001 \"A\" {F89EB97B-2A47-49B5-A1B1-5E530517CDFG} 0000000000 \r\n" + kTail));
    seeds.emplace_back("bad-clock-flag-2", U16(kHead + "CONNECTIONS\r\nCLOCK 2 0000\r\nEND"));
    seeds.emplace_back("bad-end-as-prefix-of-a-word", U16(kHead + "CONNECTIONS\r\nENDX"));
    seeds.emplace_back("bad-8-bit-text", Bytes{'0', '0', '0', '3', '\r', '\n', 'F', 'I', 'L', 'T', 'E', 'R', 'S'});
}

// UTF-8 for the target's FromUtf8 check (none of it is a stream): valid text up to four
// bytes a character, an overlong form, an encoded surrogate, a truncated sequence.
void WriteUtf8(std::vector<std::pair<std::string, Bytes>>& seeds) {
    seeds.emplace_back("utf8-valid", Bytes{'C', ':', 0xC3, 0xA9, 0xE4, 0xB8, 0xAD, 0xF0, 0x9F, 0x8E, 0xA5});
    seeds.emplace_back("utf8-overlong", Bytes{'a', 0xC0, 0xAF, 0xE0, 0x80, 0xAF});
    seeds.emplace_back("utf8-surrogate", Bytes{0xED, 0xA0, 0x80, 0xED, 0xB0, 0x80});
    seeds.emplace_back("utf8-truncated", Bytes{'a', 0xF0, 0x9F, 0x8E});
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: grf_make_seeds <folder>\n", stderr);
        return 2;
    }
    std::vector<std::pair<std::string, Bytes>> seeds;
    WriteValidGraphs(seeds);
    WriteLooseGrammar(seeds);
    WriteBrokenLengths(seeds);
    WriteBrokenStructure(seeds);
    WriteUtf8(seeds);
    for (const auto& [name, bytes] : seeds) {
        std::ofstream out(std::string(argv[1]) + "/" + name + ".stream", std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", name.c_str());
            return 1;
        }
    }
    std::printf("%zu seeds written to %s\n", seeds.size(), argv[1]);
    return 0;
}
