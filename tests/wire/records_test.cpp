// The shapes of whole messages, pinned byte for byte: requests, reply records (whose size
// counts the payload's wire bytes plus three), uploads with their checksum, date stamps.
#include "wire/Records.h"

#include <gtest/gtest.h>

#include <string>

#include "wire/DateStamp.h"
#include "wire/WireText.h"

namespace kestrom::testing {
namespace {

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
