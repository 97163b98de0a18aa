// Characters to bytes and back by the character mode, and the +71 scrambling.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "wire/WireText.h"

namespace kestrom::testing {
namespace {

using namespace std::string_literals;

TEST(WireText, EncodeFollowsTheModeAndAnyNonZeroSettingIsWide) {
    EXPECT_EQ(Encode(u"\u20AC", WireMode::kSingleByte), "\xAC");  // the low 8 bits alone
    EXPECT_EQ(Encode(u"A\u20AC", WireMode::kUnicode), "A\0\xAC\x20"s);
    EXPECT_EQ(WireModeOf(0), WireMode::kSingleByte);
    EXPECT_EQ(WireModeOf(1), WireMode::kUnicode);
    EXPECT_EQ(WireModeOf(7), WireMode::kUnicode);
    EXPECT_EQ(WireModeOf(-1), WireMode::kUnicode);
    std::string out = "x";
    AppendEncoded(out, u"\u00FFA", WireMode::kUnicode);
    EXPECT_EQ(out, "x\xFF\0A\0"s);
}

TEST(WireText, DecodeIsTheReverseAndIgnoresAnOddTrailingByte) {
    EXPECT_EQ(Decode("\xE9"
                     "A",
                     WireMode::kSingleByte),
              u"\u00E9A");
    EXPECT_EQ(Decode("\xAC\x20Z\0\x41"s, WireMode::kUnicode), u"\u20ACZ");
    const std::u16string text = u"\x01HMM\u20AC\x04";
    EXPECT_EQ(Decode(Encode(text, WireMode::kUnicode), WireMode::kUnicode), text);
}

TEST(CharDecoder, AnOddByteWaitsForTheNextReadInUnicodeMode) {
    CCharDecoder decoder;
    char16_t out[8];
    EXPECT_EQ(decoder.Decode("A\0B"s, WireMode::kUnicode, out), 1u);
    EXPECT_EQ(out[0], u'A');
    EXPECT_TRUE(decoder.HasOddByte());
    EXPECT_EQ(decoder.Decode("\x20"s, WireMode::kUnicode, out), 1u);
    EXPECT_EQ(out[0], u'\u2042');
    EXPECT_FALSE(decoder.HasOddByte());

    // Left over when the mode turns to single byte, the byte is a character of its own.
    EXPECT_EQ(decoder.Decode("C"s, WireMode::kUnicode, out), 0u);
    EXPECT_EQ(decoder.Decode("D"s, WireMode::kSingleByte, out), 2u);
    EXPECT_EQ(std::u16string(out, 2), u"CD");
}

TEST(CharDecoder, ANulCharacterEndsTheRead) {
    CCharDecoder decoder;
    char16_t out[16];
    EXPECT_EQ(decoder.Decode("AB\0CD"s, WireMode::kSingleByte, out), 2u);
    EXPECT_EQ(std::u16string(out, 2), u"AB");
    // In Unicode mode only a whole zero character is a NUL: a zero high byte is not.
    EXPECT_EQ(decoder.Decode("A\0\0\0B\0"s, WireMode::kUnicode, out), 1u);
    EXPECT_FALSE(decoder.HasOddByte());
    EXPECT_EQ(decoder.Decode("\0\x01"s, WireMode::kUnicode, out), 1u);
    EXPECT_EQ(out[0], u'\u0100');
    // A NUL byte left over from Unicode mode ends a single-byte read at once.
    EXPECT_EQ(decoder.Decode("\0"s, WireMode::kUnicode, out), 0u);
    EXPECT_EQ(decoder.Decode("XY"s, WireMode::kSingleByte, out), 0u);
    EXPECT_FALSE(decoder.HasOddByte());
}

// The rule one character at a time, as the connection's reads are framed.
std::u16string DecodeOneByOne(std::string_view bytes, WireMode mode) {
    std::u16string out;
    if (mode == WireMode::kSingleByte) {
        for (char b : bytes) {
            if (b == 0) break;
            out += static_cast<char16_t>(static_cast<unsigned char>(b));
        }
        return out;
    }
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto c = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (c == 0) break;
        out += c;
    }
    return out;
}

TEST(CharDecoder, LongReadsGiveWhatOneCharacterAtATimeGives) {
    // Reads long enough for the sixteen-byte steps, with a NUL (or a zero pair) at every
    // position around their ends, and Unicode reads that start behind an odd byte.
    std::mt19937 random(7);
    for (const WireMode mode : {WireMode::kSingleByte, WireMode::kUnicode}) {
        for (size_t size = 30; size < 80; ++size) {
            for (int nulAt = -1; nulAt < static_cast<int>(size); nulAt += 3) {
                std::string bytes(size, 'x');
                for (char& b : bytes) b = static_cast<char>(1 + random() % 255);
                if (nulAt >= 0) {
                    bytes[static_cast<size_t>(nulAt)] = 0;
                    if (mode == WireMode::kUnicode && static_cast<size_t>(nulAt) + 1 < size)
                        bytes[static_cast<size_t>(nulAt) + 1] = 0;
                }
                CCharDecoder decoder;
                std::u16string out(size + 2, u'\0');
                const size_t n = decoder.Decode(bytes, mode, out.data());
                ASSERT_EQ(out.substr(0, n), DecodeOneByOne(bytes, mode)) << size << " " << nulAt;
                if (mode != WireMode::kUnicode || nulAt >= 0) continue;
                // The same bytes behind a byte held from the previous read.
                CCharDecoder held;
                ASSERT_EQ(held.Decode("A", mode, out.data()), 0u);
                const size_t m = held.Decode(bytes, mode, out.data());
                ASSERT_EQ(out.substr(0, m), DecodeOneByOne("A" + bytes, mode)) << size;
                ASSERT_EQ(held.HasOddByte(), size % 2 == 0);
            }
        }
    }
}

TEST(WireText, FindCharFindsTheFirstAtOrAfterTheStart) {
    std::mt19937 random(11);
    for (size_t size = 0; size < 70; ++size) {
        std::u16string text(size, u'a');
        for (char16_t& c : text) c = random() % 6 == 0 ? kEOT : static_cast<char16_t>(0x0404);
        for (size_t from = 0; from <= size; ++from)
            ASSERT_EQ(FindChar(text, kEOT, from), text.find(kEOT, from)) << size << " " << from;
    }
}

TEST(Scrambling, SeventyOneIsAddedAndTakenAwayModulo65536) {
    EXPECT_EQ(Scramble(u"3"), u"z");
    EXPECT_EQ(Scramble(u"\xFFFF"), u"\x0046");  // wraps
    EXPECT_EQ(Unscramble(u"\x0046z"),
              u"\xFFFF"
              u"3");
    std::u16string text = Scramble(u"Kestrom v3.23");
    UnscrambleInPlace(text);
    EXPECT_EQ(text, u"Kestrom v3.23");
}

}  // namespace
}  // namespace kestrom::testing
