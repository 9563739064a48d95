// Malformed and truncated streams: every one fails with an offset and a message, and
// nothing the parser accepts is lost when written back.
#include <gtest/gtest.h>

#include <algorithm>

#include "GrfFormat.h"
#include "GrfTestUtil.h"

using grftest::Join;
using grftest::U16;

namespace {

// Parses from a buffer of exactly the given bytes, so a read past the end would leave it.
bool TryParse(const std::vector<uint8_t>& stream, grf::ParseError& error) {
    std::vector<uint8_t> exact(stream);
    exact.shrink_to_fit();
    grf::Graph graph;
    return grf::Parse(exact.data(), exact.size(), graph, error);
}

void ExpectRejected(const std::vector<uint8_t>& stream, const std::string& messagePart, size_t offset) {
    grf::ParseError error;
    ASSERT_FALSE(TryParse(stream, error));
    EXPECT_NE(std::string::npos, error.message.find(messagePart)) << error.message;
    EXPECT_EQ(offset, error.offset) << error.message;
}

const std::string kGuid = "{F89EB97B-2A47-49B5-A1B1-5E530517CDF6}";
const std::string kHead = "0003\r\nFILTERS\r\n";

TEST(GrfMalformed, EveryTruncationOfAValidStreamFailsCleanly) {
    const std::vector<uint8_t> stream = grf::Write(grftest::RichGraph());
    grf::ParseError error;
    ASSERT_TRUE(TryParse(stream, error)) << error.message;
    for (size_t n = 0; n < stream.size(); ++n) {
        const std::vector<uint8_t> prefix(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(n));
        ASSERT_FALSE(TryParse(prefix, error)) << "prefix of " << n << " bytes parsed";
        EXPECT_LE(error.offset, n);
        EXPECT_FALSE(error.message.empty());
    }
}

TEST(GrfMalformed, MediaTypeLengthMustCountExactlyItsBytes) {
    const std::vector<uint8_t> good = grf::Write(grftest::RichGraph());
    const std::vector<uint8_t> lengthText = U16("0000000299 {");  // 143 units + 13 format bytes
    auto at = std::search(good.begin(), good.end(), lengthText.begin(), lengthText.end());
    ASSERT_NE(good.end(), at);
    const size_t digitOffset = static_cast<size_t>(at - good.begin()) + 18;  // the last digit, '9'
    for (uint8_t digit : {'8', '0', '7'}) {
        std::vector<uint8_t> bad = good;
        bad[digitOffset] = digit;
        grf::ParseError error;
        EXPECT_FALSE(TryParse(bad, error)) << "length ending in " << digit;
        EXPECT_FALSE(error.message.empty());
    }
}

TEST(GrfMalformed, DataLengthPastTheEndIsRejected) {
    ExpectRejected(U16(kHead + "0001 \"A\" " + kGuid + " 0000000100 ab\r\nCONNECTIONS\r\nEND"),
                   "filter data runs past the end", 2 * 74);
    ExpectRejected(U16(kHead + "0001 \"A\" " + kGuid + " 99999999999 "), "filter data length", 2 * 63);
}

TEST(GrfMalformed, NothingButBlanksMayFollowEnd) {
    const std::string valid = kHead + "CONNECTIONS\r\nCLOCK 1 0000\r\nEND";
    grf::ParseError error;
    EXPECT_TRUE(TryParse(U16(valid + "\r\n \t"), error)) << error.message;
    const size_t end = 2 * valid.size();
    ExpectRejected(U16(valid + "!"), "after END", end);
    ExpectRejected(U16(valid + std::string(1, '\0')), "after END", end);
    ExpectRejected(Join({U16(valid), {'\n'}}), "after END", end);  // half a code unit
    ExpectRejected(U16(valid + "\r\nEND"), "after END", end + 4);
    ExpectRejected(U16(valid + "X"), "expected END", end - 6);     // ENDX is not END
    ExpectRejected(U16(valid.substr(0, valid.size() - 3) + "EDN"), "expected END", end - 6);
}

TEST(GrfMalformed, EachBrokenTokenNamesWhatWasExpectedWhere) {
    ExpectRejected(U16("0004\r\nFILTERS\r\nCONNECTIONS\r\nEND"), "unsupported version", 8);
    ExpectRejected(U16("\xFF\xFE" "0003"), "expected the version", 0);
    ExpectRejected(U16("0003\r\nFILTER\r\nCONNECTIONS\r\nEND"), "expected FILTERS", 12);
    ExpectRejected(U16("0002\r\nFILTERS\r\nCONNECTIONS\r\nCLOCK 1 0000\r\nEND"), "no CLOCK", 2 * 28);
    ExpectRejected(U16(kHead + "0001 \"A " + kGuid + " 0000000000 \r\nCONNECTIONS\r\nEND"), "unterminated", 2 * 20);
    ExpectRejected(U16(kHead + "0001 A " + kGuid), "quoted filter name", 2 * 20);
    ExpectRejected(U16(kHead + "0001 \"A\" {F89EB97B-2A47-49B5-A1B1-5E530517CDF} 0000000000 \r\n"), "{CLSID}", 2 * 24);
    ExpectRejected(U16(kHead + "0001 \"A\" " + kGuid + " 0000000000\r\nCONNECTIONS\r\nEND"), "one space", 2 * 73);
    ExpectRejected(U16(kHead + "0001 \"A\" " + kGuid + " SOURCE C:\\a 0000000000 \r\n"), "quoted file name", 2 * 70);
    ExpectRejected(U16(kHead + "CLOCK 1 0000\r\nEND"), "expected a filter id", 2 * 15);
    ExpectRejected(U16(kHead + "CONNECTIONS\r\nCLOCK 2 0000\r\nEND"), "clock-required flag", 2 * 34);
    ExpectRejected(U16(kHead + "CONNECTIONS\r\nCLOCK 1 {0000}\r\nEND"), "{CLSID}", 2 * 36);
    ExpectRejected(U16(kHead + "CONNECTIONS\r\nCLOCK 1 0000\r\n"), "expected END", 2 * 42);
}

TEST(GrfMalformed, BrokenMediaTypeFieldsAreRejected) {
    const std::string head = kHead + "CONNECTIONS\r\n0001 \"o\" 0002 \"i\" 0000000286 ";
    const std::string major = "{E436EB83-524F-11CE-9F53-0020AF0BA770} {F4AEB342-0329-4FDD-A8FD-4AFF4926C978}";
    const std::string format = "{0F6417D6-C318-11D0-A43F-00A0C9223196} 0000000000 \r\nEND";
    const std::string nul(1, '\0');
    grf::ParseError error;
    EXPECT_TRUE(TryParse(U16(head + major + " 1 0 0000065536" + nul + format), error)) << error.message;
    const size_t flags = 2 * (head.size() + major.size());
    ExpectRejected(U16(head + major + " 2 0 0000065536" + nul + format), "fixed-size-samples", flags + 2);
    ExpectRejected(U16(head + major + " 1 x 0000065536" + nul + format), "temporal-compression", flags + 6);
    ExpectRejected(U16(head + major + " 1 0 9999999999" + nul + format), "sample size", flags + 10);
    ExpectRejected(U16(head + major + " 1 0 0000065536X" + format), "NUL or blank", flags + 2 * 15);
    ExpectRejected(U16(head + major + " 1 0 0000065536" + nul + "{0F6417D6-C318-11D0-A43F-00A0C9223196} 0000000001 "),
                   "format block runs past", flags + 2 * 66);
}

TEST(GrfMalformed, AFailedParseLeavesTheGraphAsItWas) {
    const grf::Graph before = grftest::RichGraph();
    grf::Graph graph = before;
    const std::vector<uint8_t> stream = U16(kHead + "0001 \"A\" " + kGuid + " 0000000000 \r\nCONNECTIONS\r\nEN");
    grf::ParseError error;
    ASSERT_FALSE(grf::Parse(stream.data(), stream.size(), graph, error));
    grftest::ExpectSameGraph(before, graph);
}

TEST(GrfMalformed, CorruptedBytesNeverCrashAndAcceptedStreamsSurviveRewriting) {
    const std::vector<uint8_t> good = grf::Write(grftest::RichGraph());
    size_t accepted = 0;
    for (size_t i = 0; i < good.size(); ++i) {
        for (uint8_t value : {0x00, 0x20, 0x22, 0x30, 0x7B, 0xFF}) {
            std::vector<uint8_t> bad = good;
            bad[i] = value;
            grf::Graph graph;
            grf::ParseError error;
            if (!grf::Parse(bad.data(), bad.size(), graph, error)) {
                ASSERT_LE(error.offset, bad.size());
                continue;
            }
            ++accepted;
            const std::vector<uint8_t> rewritten = grf::Write(graph);
            grf::Graph again;
            ASSERT_TRUE(grf::Parse(rewritten.data(), rewritten.size(), again, error)) << "byte " << i;
            ASSERT_EQ(rewritten, grf::Write(again)) << "byte " << i;
        }
    }
    EXPECT_GT(accepted, 0u);  // changes inside binary blocks and names stay valid
}

}  // namespace
