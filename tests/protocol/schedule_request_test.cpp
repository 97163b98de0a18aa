// The schedule request "SRQ" served end to end through the dispatcher, in both character modes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "base/TextConvert.h"
#include "protocol/CommandProcessor.h"
#include "support/fakes.h"
#include "support/sandbox.h"
#include "support/wire_bytes.h"
#include "wire/CommandTable.h"

namespace kestrom {
namespace {

namespace fs = std::filesystem;
using testing::CRecordingChannel;
using testing::CRecordingOperator;
using testing::ReplyBytes;
using testing::WireBytes;

constexpr const char* kMeet =
    "1,1,1,100m,TR\r\n"
    " 1,Runner\r\n"
    "3,1,1,Long Jump,LJ\r\n"
    " 11,A\r\n"
    "3,1,2,Long Jump,LJ\r\n"
    " 21,C\r\n"
    "9,1,1,Shot,SP\r\n";

std::string ScrambledBytes(std::string_view text) {
    std::string out;
    for (unsigned char c : text) out += static_cast<char>(c + 71);
    return out;
}

class ScheduleRequestTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = sandbox_.Dir();
        settings_.Update(
            [&](CKestromSettings& s) { s.EventDirectory = FromUtf8(folder_.string()); });
    }

    void WriteMeet(const std::string& bytes) {
        std::ofstream(folder_ / "orvo.evt", std::ios::binary) << bytes;
    }

    // Sends the payload as a client of the mode would (scrambled in mode 0) and returns the
    // reply bytes.
    std::string Ask(std::string_view payload, int charMode) {
        settings_.Update([&](CKestromSettings& s) { s.CharMode = charMode; });
        std::u16string wire = u"\x01SRQ\x02";
        for (unsigned char c : payload)
            wire += charMode == 0 ? static_cast<char16_t>(c + 71) : static_cast<char16_t>(c);
        wire += u"\x03\x04";
        CRecordingChannel channel(WireModeOf(charMode));
        CRequestContext context{settings_, op_, lock_};
        CCommandProcessor processor(context, channel);
        processor.Dispatch(RequestKind::kScheduleRequest, wire, u"client");
        return channel.bytes;
    }

    static std::string Srp(const std::string& payloadOnWire, int charMode = 0) {
        const WireMode mode = WireModeOf(charMode);
        return Encode(BuildReplyRecord(u"SRP", Decode(payloadOnWire, mode), mode), mode);
    }

    std::vector<std::u16string> Shown() const {
        std::vector<std::u16string> out;
        for (const auto& l : op_.lines)
            if (l.level != LogLevel::kNever) out.push_back(l.text);
        return out;
    }

    // Every log line as "<level> <text>".
    std::vector<std::u16string> Logged() const {
        std::vector<std::u16string> out;
        for (const auto& l : op_.lines)
            out.push_back(U16(std::to_string(static_cast<int>(l.level))) + u" " + l.text);
        return out;
    }

    testing::CSandbox sandbox_;
    fs::path folder_;
    CSharedSettings settings_;
    CRecordingOperator op_;
    std::mutex lock_;
};

TEST_F(ScheduleRequestTest, WorkedWalkInSingleByteModeIsScrambledBothWays) {
    WriteMeet(kMeet);
    EXPECT_EQ(Ask("0,0,0,+", 0), Srp(ScrambledBytes("3,1,1,Long Jump,LJ\r\n")));
    EXPECT_EQ(Ask("3,1,1,+", 0), Srp(ScrambledBytes("3,1,2,Long Jump,LJ\r\n")));
    EXPECT_EQ(Ask("3,1,2,+", 0), Srp(ScrambledBytes("9,1,1,Shot,SP\r\n")));
    EXPECT_EQ(Ask("9,1,1,+", 0), Srp(""));
    EXPECT_EQ(Ask("3,1,2", 0), Srp(ScrambledBytes("3,1,2,Long Jump,LJ\r\n 21,C\r\n")));
    EXPECT_EQ(Ask("1,1,1", 0), Srp(""));
    // '3' + 71 is 'z': the scrambled bytes are plain ASCII here.
    EXPECT_EQ(ScrambledBytes("3"), "z");
    EXPECT_EQ(Shown(), (std::vector<std::u16string>{
                           u"(0,0,0) Start List Request", u"(3,1,1) Start List Request",
                           u"(3,1,2) Start List Request", u"(9,1,1) Start List Request",
                           u"(3,1,2) Start List Request", u"(1,1,1) Start List Request"}));
}

TEST_F(ScheduleRequestTest, ScramblingWrapsPastTheByteOnTheWire) {
    // 0xE9 + 71 = 0x130: in single-byte mode only its low byte 0x30 goes out.
    WriteMeet("3,1,1,Saut\xE9,LJ\n");
    EXPECT_EQ(Ask("3,1,1", 0), Srp(ScrambledBytes("3,1,1,Saut\xE9,LJ\r\n")));
    EXPECT_EQ(ScrambledBytes("\xE9"), "\x30");
}

TEST_F(ScheduleRequestTest, UnicodeModeIsPlainAndTwoBytesPerCharacter) {
    WriteMeet(kMeet);
    std::string wide;
    for (char c : std::string("3,1,1,Long Jump,LJ\r\n 11,A\r\n")) wide += std::string{c, '\0'};
    EXPECT_EQ(Ask("3,1,1,-", 1), Srp(wide, 1));
    EXPECT_EQ(Ask("3,1,1", 1), Srp(wide, 1));
}

TEST_F(ScheduleRequestTest, ShortOrUnreadableRequestsGetAnEmptyReply) {
    WriteMeet(kMeet);
    EXPECT_EQ(Ask("3,1", 0), Srp(""));
    EXPECT_EQ(Ask("3,,,1", 0), Srp(""));
    // Only the dispatcher's hidden line: the handler logs nothing.
    EXPECT_EQ(Logged(),
              (std::vector<std::u16string>{u"4 Schedule Request:", u"4 Schedule Request:"}));

    op_.lines.clear();
    EXPECT_EQ(Ask("3,,1,1", 0), Srp(""));
    EXPECT_EQ(Logged(),
              (std::vector<std::u16string>{u"4 Schedule Request:", u"4 ...Request String: 3,,1,1",
                                           u"2 INCOMPLETE COMMAND RECEIVING SCHEDULE REQUEST"}));
}

TEST_F(ScheduleRequestTest, MissingEventFileAndBadHeadersAreLogged) {
    EXPECT_EQ(Ask("0,0,0,+", 0), Srp(""));
    const std::u16string path = FromUtf8((folder_ / "orvo.evt").string());
    EXPECT_EQ(Shown(), (std::vector<std::u16string>{u"(0,0,0) Start List Request",
                                                    u"ERROR OPENING EVENT FILE: " + path}));
    EXPECT_EQ(op_.lines.back().level, LogLevel::kError);

    op_.lines.clear();
    WriteMeet("x,1,1,LJ,LJ\n3,1,1,LJ,LJ\n");
    EXPECT_EQ(Ask("0,0,0,+", 0), Srp(ScrambledBytes("3,1,1,LJ,LJ\r\n")));
    EXPECT_EQ(Shown(), (std::vector<std::u16string>{u"(0,0,0) Start List Request",
                                                    u"BAD FORMAT PARSING EVENT FILE"}));
    EXPECT_EQ(Logged().back(), u"4 FieldOrvo <-- SCHEDULE:");
}

TEST_F(ScheduleRequestTest, PayloadRunsToTheEndWithoutEtx) {
    WriteMeet(kMeet);
    settings_.Update([&](CKestromSettings& s) { s.CharMode = 1; });
    CRecordingChannel channel(WireMode::kUnicode);
    CRequestContext context{settings_, op_, lock_};
    CCommandProcessor processor(context, channel);
    processor.Dispatch(RequestKind::kScheduleRequest,
                       u"\x01SRQ\x02"
                       u"3,1,1,+\x04",
                       u"c");
    // The EOT is part of the mark field, so it is no "+": the start list is answered.
    EXPECT_EQ(channel.bytes,
              Srp(WireBytes("3,1,1,Long Jump,LJ\r\n 11,A\r\n", WireMode::kUnicode), 1));
}

}  // namespace
}  // namespace kestrom
