#include <gtest/gtest.h>

#include "protocol/CommandProcessor.h"
#include "support/fakes.h"
#include "wire/CommandTable.h"

namespace kestrom {
namespace {

using testing::CRecordingChannel;
using testing::CRecordingOperator;

struct ProcessorFixture : ::testing::Test {
    CSharedSettings settings;
    CRecordingOperator op;
    std::mutex lock;
    CRequestContext context{settings, op, lock};

    void SetCharMode(int mode) {
        settings.Update([mode](CKestromSettings& s) { s.CharMode = mode; });
    }
};

TEST_F(ProcessorFixture, EmptyReplyIsOneSendOfTheExactFrame) {
    CRecordingChannel channel(WireMode::kSingleByte);
    CCommandProcessor processor(context, channel);
    processor.SendReply(u"NLR");
    EXPECT_EQ(channel.bytes, "\x01NLR,PSZ=3\x02\x03\x04");
    EXPECT_EQ(channel.sends, 1);
}

TEST_F(ProcessorFixture, SizeCountsPayloadBytesOnTheWirePlusThree) {
    const std::u16string payload = u"0123456789";
    {
        CRecordingChannel channel(WireMode::kSingleByte);
        CCommandProcessor(context, channel).SendReply(u"RRP", payload);
        EXPECT_EQ(channel.bytes,
                  "\x01RRP,PSZ=13\x02"
                  "0123456789\x03\x04");
    }
    SetCharMode(1);
    {
        CRecordingChannel channel(WireMode::kUnicode);
        CCommandProcessor(context, channel).SendReply(u"RRP", payload);
        const std::string expected =
            "\x01RRP,PSZ=23\x02"
            "0123456789\x03\x04";
        ASSERT_EQ(channel.bytes.size(), expected.size() * 2);
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(channel.bytes[2 * i], expected[i]);
            EXPECT_EQ(channel.bytes[2 * i + 1], '\0');
        }
    }
}

TEST_F(ProcessorFixture, SettingsAreTakenWhenTheProcessorIsMade) {
    CRecordingChannel channel(WireMode::kSingleByte);
    CCommandProcessor processor(context, channel);
    SetCharMode(1);
    EXPECT_EQ(processor.CharMode(), 0);
    processor.SendReply(u"NLS", u"ab");
    EXPECT_EQ(channel.bytes,
              "\x01NLS,PSZ=5\x02"
              "ab\x03\x04");
}

TEST_F(ProcessorFixture, FieldOrvoPingInSingleByteModeCarriesTheScrambledVersion) {
    CRecordingChannel channel(WireMode::kSingleByte);
    CCommandProcessor(context, channel)
        .Dispatch(RequestKind::kFieldOrvoPing, u"\x01HFL\x02\x03\x04", u"ip");
    std::string version;
    for (char c : std::string("Kestrom v3.23")) version += static_cast<char>(c + 71);
    EXPECT_EQ(channel.bytes, "\x01HMM,PSZ=16\x02" + version + "\x03\x04");
    ASSERT_EQ(op.lines.size(), 1u);
    EXPECT_EQ(op.lines[0].text, u"FieldOrvo Ping");
    EXPECT_EQ(op.lines[0].level, LogLevel::kInfo);
}

TEST_F(ProcessorFixture, PingsInUnicodeModeAndWenlowHyWirePingsAreEmpty) {
    SetCharMode(1);
    CRecordingChannel wide(WireMode::kUnicode);
    CCommandProcessor(context, wide).Dispatch(RequestKind::kClerkOrvoPing, u"", u"ip");
    EXPECT_EQ(wide.bytes, std::string("\x01\0H\0M\0M\0,\0P\0S\0Z\0=\0"
                                      "3\0\x02\0\x03\0\x04\0",
                                      26));

    SetCharMode(0);
    CRecordingChannel narrow(WireMode::kSingleByte);
    CCommandProcessor(context, narrow).Dispatch(RequestKind::kWenlowPing, u"", u"ip");
    CCommandProcessor(context, narrow).Dispatch(RequestKind::kHyWirePing, u"", u"ip");
    EXPECT_EQ(narrow.bytes, "\x01HMM,PSZ=3\x02\x03\x04\x01HMM,PSZ=3\x02\x03\x04");
    EXPECT_EQ(op.Texts(),
              (std::vector<std::u16string>{u"ClerkOrvo Ping", u"Wenlow Ping", u"Hy-Wire Ping"}));
}

TEST_F(ProcessorFixture, UnknownAndReplyCodesGetNeitherReplyNorLogLine) {
    CRecordingChannel channel(WireMode::kSingleByte);
    for (RequestKind kind : {RequestKind::kUnknown, RequestKind::kReplyOk, RequestKind::kReplyNotOk,
                             static_cast<RequestKind>(9), static_cast<RequestKind>(99)})
        CCommandProcessor(context, channel).Dispatch(kind, u"\x01ROK\x02\x03\x04", u"ip");
    EXPECT_TRUE(channel.bytes.empty());
    EXPECT_TRUE(op.lines.empty());
}

TEST_F(ProcessorFixture, BalloonUsesTheFixedTitleIconAndTime) {
    struct BalloonOperator : CRecordingOperator {
        void ShowBalloon(std::u16string_view shownText, std::u16string_view shownTitle,
                         BalloonIcon shownIcon, int shownSeconds) override {
            text = shownText;
            title = shownTitle;
            icon = shownIcon;
            seconds = shownSeconds;
        }
        std::u16string text, title;
        BalloonIcon icon = BalloonIcon::kNone;
        int seconds = 0;
    } balloonOp;
    CRequestContext ctx{settings, balloonOp, lock};
    CRecordingChannel channel(WireMode::kSingleByte);
    CCommandProcessor(ctx, channel).Balloon(u"Results received");
    EXPECT_EQ(balloonOp.text, u"Results received");
    EXPECT_EQ(balloonOp.title, u"Kestrom");
    EXPECT_EQ(balloonOp.icon, BalloonIcon::kInfo);
    EXPECT_EQ(balloonOp.seconds, 10);
}

}  // namespace
}  // namespace kestrom
