#include <gtest/gtest.h>

#include "net/MessageFramer.h"
#include "protocol/CommandTable.h"

namespace kestrom {
namespace {

std::string Wide(std::string_view narrow) {
    std::string out;
    for (char c : narrow) {
        out += c;
        out += '\0';
    }
    return out;
}

TEST(MessageFramer, MessageSplitOverThreeReadsIsHandedOverOnceAtItsEot) {
    CMessageFramer framer;
    EXPECT_FALSE(framer.Feed("\x01RF", 0).message);
    EXPECT_FALSE(framer
                     .Feed("Q\x02"
                           "1,1,1",
                           0)
                     .message);
    const auto done = framer.Feed("\x03\x04", 0);
    ASSERT_TRUE(done.message);
    EXPECT_EQ(*done.message,
              u"\x01RFQ\x02"
              u"1,1,1\x03\x04");
    EXPECT_EQ(framer.BufferedChars(), 0u);
    EXPECT_EQ(LookupCommand(*done.message), kKindFieldOrvoResultsRequest);
}

TEST(MessageFramer, SecondMessageInTheSameReadIsDiscardedWithTheFirst) {
    CMessageFramer framer;
    const auto done = framer.Feed("\x01HFL\x02\x03\x04\x01HAL\x02\x03\x04", 0);
    ASSERT_TRUE(done.message);
    EXPECT_EQ(LookupCommand(*done.message), kKindFieldOrvoPing);
    EXPECT_EQ(done.message->size(), 14u);  // everything received is handed over
    EXPECT_EQ(framer.BufferedChars(), 0u);
    EXPECT_FALSE(framer.Feed("\x01HAL\x02\x03", 0).message);  // next one starts afresh
}

TEST(MessageFramer, CompletenessNeedsAnEotAfterTheFirstCharacter) {
    CMessageFramer framer;
    const auto x = framer.Feed("X\x04", 0);
    ASSERT_TRUE(x.message);
    EXPECT_EQ(*x.message, u"X\x04");
    EXPECT_EQ(LookupCommand(*x.message), kKindUnknown);  // no SOH

    // A lone EOT is dropped rather than wedging the connection for good.
    EXPECT_FALSE(framer.Feed("\x04", 0).message);
    EXPECT_EQ(framer.BufferedChars(), 0u);
    const auto after = framer.Feed("\x04\x04\x01HCL\x02\x03\x04", 0);
    ASSERT_TRUE(after.message);
    EXPECT_EQ(*after.message, u"\x01HCL\x02\x03\x04");
}

TEST(MessageFramer, SingleByteModeMapsBytesToCharactersOfTheSameCode) {
    CMessageFramer framer;
    const auto done = framer.Feed("\xE9\x41\x04", 0);
    ASSERT_TRUE(done.message);
    EXPECT_EQ(*done.message, u"\u00E9A\x04");
}

TEST(MessageFramer, UnicodeModeTakesLowByteFirstPairs) {
    CMessageFramer framer;
    const auto done = framer.Feed(std::string("\xAC\x20", 2) + Wide("A\x04"), 1);
    ASSERT_TRUE(done.message);
    EXPECT_EQ(*done.message, u"\u20ACA\x04");
}

TEST(MessageFramer, NulDropsTheRestOfThatReadOnly) {
    CMessageFramer framer;
    EXPECT_FALSE(framer.Feed(std::string("\x01HF\0L\x04zz", 8), 0).message);
    EXPECT_EQ(framer.BufferedChars(), 3u);
    const auto done = framer.Feed("L\x02\x03\x04", 0);
    ASSERT_TRUE(done.message);
    EXPECT_EQ(*done.message, u"\x01HFL\x02\x03\x04");

    CMessageFramer wide;
    EXPECT_FALSE(wide.Feed(Wide("\x01H") + std::string("\0\0", 2) + Wide("\x04"), 1).message);
    EXPECT_EQ(wide.BufferedChars(), 2u);
}

TEST(MessageFramer, OddTrailingByteInUnicodeModeWaitsForTheNextRead) {
    const std::string bytes = Wide("\x01HAL\x02\x03\x04");
    CMessageFramer framer;
    EXPECT_FALSE(framer.Feed(bytes.substr(0, 3), 1).message);
    EXPECT_TRUE(framer.HasOddByte());
    EXPECT_FALSE(framer.Feed(bytes.substr(3, 6), 1).message);
    const auto done = framer.Feed(bytes.substr(9), 1);
    ASSERT_TRUE(done.message);
    EXPECT_EQ(*done.message, u"\x01HAL\x02\x03\x04");
    EXPECT_FALSE(framer.HasOddByte());
}

TEST(MessageFramer, StreamWithoutEotIsDiscardedPastTheLimitAndFramingGoesOn) {
    CMessageFramer framer;
    const std::string chunk(kReceiveChunkBytes, 'A');
    size_t fed = 0;
    bool discarded = false;
    while (!discarded) {
        const auto r = framer.Feed(chunk, 0);
        ASSERT_FALSE(r.message);
        fed += chunk.size();
        discarded = r.discarded;
        ASSERT_LE(fed, kReceiveBufferLimitBytes + chunk.size());
    }
    EXPECT_GT(fed, kReceiveBufferLimitBytes);
    EXPECT_EQ(framer.BufferedChars(), 0u);
    EXPECT_TRUE(framer.Feed("\x01HFL\x02\x03\x04", 0).message);
}

TEST(MessageFramer, EncodeForWireFollowsTheCharacterModeAndTheSingleByteFlag) {
    EXPECT_EQ(EncodeForWire(u"\u20AC", false, 0), "\xAC");
    EXPECT_EQ(EncodeForWire(u"A", false, 1), std::string("A\0", 2));
    EXPECT_EQ(EncodeForWire(u"A", false, 7), std::string("A\0", 2));  // any non-zero is wide
    EXPECT_EQ(EncodeForWire(u"\u00FFA", true, 1),
              "\xFF"
              "A");
}

}  // namespace
}  // namespace kestrom
