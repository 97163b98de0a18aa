// Taking replies apart as their bytes arrive: both shapes, both modes, any split, and the
// faults that must never pass for a whole reply.
#include <gtest/gtest.h>

#include <string>

#include "wire/ReplyParser.h"

namespace kestrom::testing {
namespace {

using namespace std::string_literals;

constexpr WireMode kNarrow = WireMode::kSingleByte;
constexpr WireMode kWide = WireMode::kUnicode;

std::string Wide(const std::string& narrow) {
    std::string out;
    for (char c : narrow) {
        out += c;
        out += '\0';
    }
    return out;
}

CReplyOutcome FeedAll(ReplyShape shape, WireMode mode, const std::string& bytes, std::size_t piece,
                      std::size_t* consumed = nullptr) {
    CReplyParser parser;
    parser.Start(shape, mode, true);
    std::size_t used = 0;
    for (std::size_t at = 0; at < bytes.size() && !parser.Done(); at += piece) {
        const std::size_t n = std::min(piece, bytes.size() - at);
        used += parser.Feed(std::string_view(bytes).substr(at, n));
    }
    if (consumed) *consumed = used;
    EXPECT_TRUE(parser.Done());
    return parser.Outcome();
}

TEST(ReplyParserTest, RecordsInBothModesWhateverThePieces) {
    const std::string single =
        "\x01RRP,PSZ=8\x02"
        "12345\x03\x04"s;
    for (std::size_t piece : {1u, 2u, 3u, 7u, 4096u}) {
        auto r = FeedAll(ReplyShape::kRecord, kNarrow, single, piece);
        EXPECT_TRUE(r.complete) << r.error;
        EXPECT_EQ(u"RRP", r.code);
        EXPECT_FALSE(r.emptyPayload);
        EXPECT_EQ(single.size(), r.bytes);
    }
    // In Unicode mode the payload of 5 characters is 10 bytes: PSZ 13.
    std::string wideRecord = Wide("\x01RRP,PSZ=13\x02") + Wide("12345") + Wide("\x03\x04");
    for (std::size_t piece : {1u, 3u, 4096u}) {
        auto r = FeedAll(ReplyShape::kRecord, kWide, wideRecord, piece);
        EXPECT_TRUE(r.complete) << r.error;
        EXPECT_EQ(u"RRP", r.code);
        EXPECT_EQ(wideRecord.size(), r.bytes);
    }
    auto empty = FeedAll(ReplyShape::kRecord, kNarrow, "\x01NLR,PSZ=3\x02\x03\x04"s, 1);
    EXPECT_TRUE(empty.complete);
    EXPECT_EQ(u"NLR", empty.code);
    EXPECT_TRUE(empty.emptyPayload);
}

TEST(ReplyParserTest, ImagesAreSingleByteInEveryMode) {
    const std::string picture(1000, '\x04');  // EOT bytes inside the picture mean nothing
    const std::string reply =
        "\x01RFI,PSZ=1000\x02"
        "12000014112023,"s +
        picture;
    for (WireMode mode : {kNarrow, kWide}) {
        std::size_t consumed = 0;
        auto r = FeedAll(ReplyShape::kImage, mode, reply + "next", 333, &consumed);
        EXPECT_TRUE(r.complete) << r.error;
        EXPECT_EQ(u"RFI", r.code);
        EXPECT_FALSE(r.emptyPayload);
        EXPECT_EQ(reply.size(), consumed);  // not a byte of what follows
    }
    auto none = FeedAll(ReplyShape::kImage, kWide, "\x01RFI,PSZ=0\x02\x03"s, 1);
    EXPECT_TRUE(none.complete);
    EXPECT_TRUE(none.emptyPayload);
    EXPECT_EQ(12u, none.bytes);
}

TEST(ReplyParserTest, MalformedRepliesAreBrokenNotComplete) {
    EXPECT_FALSE(FeedAll(ReplyShape::kRecord, kNarrow, "XRRP,PSZ=3\x02\x03\x04"s, 5).complete);
    EXPECT_FALSE(FeedAll(ReplyShape::kRecord, kNarrow, "\x01RRP,SZ=3\x02\x03\x04"s, 5).complete);
    EXPECT_FALSE(FeedAll(ReplyShape::kRecord, kNarrow, "\x01RRP,PSZ=2\x02\x03\x04"s, 5).complete);
    // PSZ says one payload byte, but two arrive before ETX.
    EXPECT_FALSE(FeedAll(ReplyShape::kRecord, kNarrow,
                         "\x01RRP,PSZ=4\x02"
                         "ab\x03\x04"s,
                         5)
                     .complete);
    EXPECT_FALSE(FeedAll(ReplyShape::kImage, kNarrow,
                         "\x01RFI,PSZ=2\x02"
                         "12000014112023;ab"s,
                         5)
                     .complete);
    EXPECT_FALSE(FeedAll(ReplyShape::kRecord, kNarrow, "\x01" + std::string(100, 'A'), 7).complete);
}

TEST(ReplyParserTest, KeptPayloadsAreTheBytesBetweenStxAndEtx) {
    auto r = FeedAll(ReplyShape::kRecord, kWide,
                     Wide("\x01RRP,PSZ=7\x02") + "\xAC\x20Z\0"s + Wide("\x03\x04"), 3);
    ASSERT_TRUE(r.complete) << r.error;
    EXPECT_EQ(7u, r.size);
    EXPECT_EQ("\xAC\x20Z\0"s, r.payloadBytes);  // the euro sign and Z, low byte first

    // A picture keeps its bytes without the stamp in front of it.
    auto image = FeedAll(ReplyShape::kImage, kWide,
                         "\x01RFI,PSZ=3\x02"
                         "12000014112023,JPG"s,
                         4);
    ASSERT_TRUE(image.complete) << image.error;
    EXPECT_EQ("JPG", image.payloadBytes);
}

TEST(ReplyParserTest, TwoRepliesInOneReadAreTakenOneAtATime) {
    const std::string two = "\x01NOK,PSZ=3\x02\x03\x04\x01NSR,PSZ=3\x02\x03\x04"s;
    CReplyParser parser;
    parser.Start(ReplyShape::kRecord, kNarrow);
    const std::size_t first = parser.Feed(two);
    ASSERT_TRUE(parser.Done());
    EXPECT_EQ(u"NOK", parser.Outcome().code);
    EXPECT_EQ(two.size() / 2, first);
    parser.Start(ReplyShape::kRecord, kNarrow);
    EXPECT_EQ(two.size() / 2, parser.Feed(std::string_view(two).substr(first)));
    EXPECT_TRUE(parser.Outcome().complete);
    EXPECT_EQ(u"NSR", parser.Outcome().code);
}

TEST(ReplyParserTest, SizesThatAreNoNumberOrPassSixtyFourBitsAreBroken) {
    for (const char* size : {"", "1x", "-5", "+5", "99999999999999999999"}) {
        const std::string reply = "\x01RRP,PSZ="s + size + "\x02\x03\x04";
        const auto r = FeedAll(ReplyShape::kRecord, kNarrow, reply, 64);
        EXPECT_FALSE(r.complete) << size;
        EXPECT_EQ("bad PSZ", r.error) << size;
    }
    // An unfinished reply is not done and not complete.
    CReplyParser parser;
    parser.Start(ReplyShape::kRecord, kNarrow);
    EXPECT_EQ(4u, parser.Feed("\x01RRP"));
    EXPECT_FALSE(parser.Done());
    EXPECT_FALSE(parser.Outcome().complete);
}

}  // namespace
}  // namespace kestrom::testing
