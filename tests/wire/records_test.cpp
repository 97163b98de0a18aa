// The shapes of whole messages, pinned byte for byte: requests, reply records (whose size
// counts the payload's wire bytes plus three), uploads with their checksum, date stamps.
#include "wire/Records.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "wire/DateStamp.h"
#include "wire/WireText.h"

namespace kestrom::testing {
namespace {

using namespace std::string_literals;

std::string Stored(std::u16string_view payload, bool unscramble, bool wide) {
    std::string out(payload.size() * 4, '?');
    out.resize(StoredUploadBytes(payload, unscramble, wide, out.data()));
    return out;
}

TEST(Records, RequestsAreSohCodeStxPayloadEtxTrailerEot) {
    EXPECT_EQ(BuildRequest(u"HFL"), u"\x01HFL\x02\x03\x04");
    EXPECT_EQ(BuildRequest(u"RFQ", u"7,1,3", u"x"),
              u"\x01RFQ\x02"
              u"7,1,3\x03x\x04");
}

TEST(Records, ReplySizeCountsPayloadBytesOnTheWirePlusThree) {
    EXPECT_EQ(BuildReplyRecord(u"NLR", {}, WireMode::kSingleByte), u"\x01NLR,PSZ=3\x02\x03\x04");
    EXPECT_EQ(BuildReplyRecord(u"RRP", u"0123456789", WireMode::kSingleByte),
              u"\x01RRP,PSZ=13\x02"
              u"0123456789\x03\x04");
    // Ten characters are twenty bytes in Unicode mode; the control characters count once.
    EXPECT_EQ(BuildReplyRecord(u"RRP", u"0123456789", WireMode::kUnicode),
              u"\x01RRP,PSZ=23\x02"
              u"0123456789\x03\x04");
    EXPECT_EQ(ReplyHeader(u"ERP", 1000),
              u"\x01"
              u"ERP,PSZ=1003\x02");
    EXPECT_EQ(Encode(std::u16string(ReplyHeader(u"ERP", 0)) + std::u16string(kReplyTrailerText),
                     WireMode::kSingleByte),
              "\x01"
              "ERP,PSZ=3\x02\x03\x04");
}

TEST(Records, UploadChecksumSumsFromSohThroughTheTagAndHighBytesOnlyWhenAsked) {
    const std::u16string message = BuildUploadMessage(u"RFF", u"\u0141", false);
    // SOH R F F STX 0x41 ETX C H K = : the low bytes alone.
    const unsigned sum = 1 + 'R' + 'F' + 'F' + 2 + 0x41 + 3 + 'C' + 'H' + 'K' + '=';
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", sum);
    EXPECT_EQ(message,
              u"\x01RFF\x02\u0141\x03"
              u"CHK=" +
                  Decode(hex, WireMode::kSingleByte) + u"\x04");
    const size_t etx = message.find(kETX);
    EXPECT_EQ(ReadUploadChecksum(message, etx), sum);
    EXPECT_EQ(ComputeUploadChecksum(message, etx, false), sum);
    EXPECT_EQ(ComputeUploadChecksum(message, etx, true), sum + 0x01);
    const std::u16string wide = BuildUploadMessage(u"RFF", u"\u0141", true);
    EXPECT_EQ(ReadUploadChecksum(wide, wide.find(kETX)), sum + 0x01);

    // Too short for the tag, or no eight digits after it: nothing.
    EXPECT_FALSE(
        ComputeUploadChecksum(u"\x01RFF\x02x\x03"
                              u"CH",
                              5, false));
    EXPECT_FALSE(
        ReadUploadChecksum(u"\x01RFF\x02x\x03"
                           u"CHK=0000\x04",
                           5));
    // Either case, and a stray character counts as 255 in its place.
    EXPECT_EQ(ReadUploadChecksum(u"\x03"
                                 u"CHK=0000abCD",
                                 0),
              0xABCDu);
    EXPECT_EQ(ReadUploadChecksum(u"\x03"
                                 u"CHK=0000000G",
                                 0),
              255u);
}

TEST(Records, UploadScanFindsTheBoundsAndTheChecksumInOnePass) {
    // Messages of every length up to a few blocks with STX, ETX and the tag at random places,
    // against the rules one at a time: the first STX and the first ETX, the STX first, and
    // the sum through the fourth character after that ETX.
    std::mt19937 random(3);
    for (int round = 0; round < 4000; ++round) {
        const size_t size = random() % 60;
        std::u16string message(size, u'a');
        for (char16_t& c : message) {
            const unsigned r = random() % 40;
            c = r == 0 ? kSTX : r == 1 ? kETX : static_cast<char16_t>(random() % 0x10000);
        }
        for (const bool high : {false, true}) {
            const CUploadScan scan = ScanUpload(message, high);
            const size_t stx = message.find(kSTX), etx = message.find(kETX);
            const bool bounded =
                stx != std::u16string::npos && etx != std::u16string::npos && stx < etx;
            ASSERT_EQ(scan.bounded, bounded) << round;
            if (!bounded) continue;
            EXPECT_EQ(scan.stx, stx);
            EXPECT_EQ(scan.etx, etx);
            EXPECT_EQ(scan.checksum, ComputeUploadChecksum(message, etx, high)) << round;
        }
    }
    const std::u16string upload = BuildUploadMessage(u"RFF", std::u16string(100, u'\u0141'), true);
    const CUploadScan scan = ScanUpload(upload, true);
    EXPECT_EQ(scan.checksum, ReadUploadChecksum(upload, scan.etx));
}

TEST(Records, StoredUploadBytesUnscrambleAndDoubleEveryLineEnd) {
    EXPECT_EQ(Stored(Scramble(u"7,1,3,\r1,Ann\r\n"), true, false), "7,1,3,\r\n1,Ann\r\n\r\n");
    EXPECT_EQ(Stored(u"A\u20AC\n", false, true), "A\0\xAC\x20\r\0\n\0"s);
    // Against the rule one character at a time, at every length and line-end place.
    std::mt19937 random(5);
    for (int round = 0; round < 3000; ++round) {
        std::u16string text(random() % 50, u'a');
        for (char16_t& c : text) {
            const unsigned r = random() % 12;
            c = r == 0 ? u'\r' : r == 1 ? u'\n' : static_cast<char16_t>(random() % 0x10000);
        }
        for (const bool wide : {false, true}) {
            std::string expected;
            for (const char16_t c : text) {
                const std::u16string one =
                    c == u'\r' || c == u'\n' ? u"\r\n" : std::u16string(1, c);
                expected += Encode(one, wide ? WireMode::kUnicode : WireMode::kSingleByte);
            }
            ASSERT_EQ(Stored(Scramble(text), true, wide), expected) << round;
            ASSERT_EQ(Stored(text, false, wide), expected) << round;
        }
    }
}

TEST(DateStamps, FourteenDigitsOfLocalTimeBothWays) {
    const auto t = FromLocalDateTime(LocalDateTime{2024, 6, 12, 10, 30, 0});
    ASSERT_TRUE(t);
    EXPECT_EQ(FormatDateStamp(*t), u"10300012062024");
    EXPECT_EQ(ReadDateStamp(u"10300012062024"), *t);
    EXPECT_EQ(ReadDateStamp(u"10300012062024,rest"), *t);  // what follows is ignored
    EXPECT_FALSE(ReadDateStamp(u"25000012062024"));        // no hour 25
}

}  // namespace
}  // namespace kestrom::testing
