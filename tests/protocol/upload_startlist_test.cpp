#include <atomic>
#include <thread>

#include "base/FileFind.h"
#include "meetdata/Readers.h"
#include "upload_fixture.h"
#include "wire/CommandTable.h"
#include "wire/RequestGrammar.h"

namespace kestrom::testing {
namespace {

class StartListUpload : public CUploadFixture {
  protected:
    std::string Send(std::u16string_view list) {
        return Dispatch(RequestKind::kStartListUpload,
                        u"\x0001SLS\x0002" + std::u16string(list) + u"\x0003\x0004");
    }
};

TEST_F(StartListUpload, WorkedExampleOnDiskKeepsLineEndsAndRepliesWithTheStamp) {
    WriteBytes(Event("orvo.evt"), "5,1,1,100m\n a\n5,1,2,100m\n b\n5,2,1,100m\n c\n");
    const std::string reply = Send(u"5,1,3,100m\r\n n1\r\n n2");
    EXPECT_EQ(ReadBytes(Event("orvo.evt")),
              "5,1,1,100m\n a\n5,1,2,100m\n b\n5,1,3,100m\n n1\n n2\n5,2,1,100m\n c\n");
    const auto stamp = LookUpFile(FromUtf8(Event("orvo.evt").string()));
    EXPECT_EQ(reply, Reply("ROK", ToUtf8(FormatDateStamp(stamp->lastWriteTime))));
    EXPECT_EQ(Log(), (std::vector<std::u16string>{u"(Dev)Receiving Start List", u"(5,1,3)"}));
    EXPECT_EQ(op_.balloons,
              std::vector<std::u16string>{u"ClerkOrvo Sent a New Start List for 005-1-03."});
}

TEST_F(StartListUpload, EightBitCrLfFileRewrittenInUnicodeMode) {
    SetCharMode(1);
    WriteBytes(Event("orvo.evt"), ";c\r\n\r\n5,1,1\r\n a\r\n\x1A");
    Send(u"5,1,1,Run\r\n x\r\n");
    const std::string expected(";c\r\n\r\n5,1,1\r\n x\r\n");
    std::string utf16("\xFF\xFE");
    for (char c : expected) utf16 += std::string{c, '\0'};
    EXPECT_EQ(ReadBytes(Event("orvo.evt")), utf16);
}

TEST_F(StartListUpload, CtrlZEndsALineAndOnlyAClosingOneIsDropped) {
    // A Ctrl-Z inside the file ends its line like a line end; the one closing the file is an
    // end mark; a last line without a line end gets one.
    WriteBytes(Event("orvo.evt"), "5,1,1\r\n a\x1A\x1A b\r\n7,1,1\r\n c\x1A");
    Send(u"6,1,1,Run\r\n n\r\n");
    EXPECT_EQ(ReadBytes(Event("orvo.evt")),
              "5,1,1\r\n a\r\n\r\n b\r\n7,1,1\r\n c\r\n6,1,1,Run\r\n n\r\n");
    WriteBytes(Event("orvo.evt"), "5,1,1\n a");
    Send(u"5,1,1,Run\n x\n");
    EXPECT_EQ(ReadBytes(Event("orvo.evt")), "5,1,1\n x\n");
    WriteBytes(Event("orvo.evt"), "8,1,1\r z");
    Send(u"9,1,1,Run\n y");
    EXPECT_EQ(ReadBytes(Event("orvo.evt")), "8,1,1\r z\r9,1,1,Run\r y\r");
}

// One upload is one heat: a body that holds another heat's header line would put a second
// header of that heat into the file, ahead of the real one, and shadow its start list.
TEST_F(StartListUpload, StartListHoldingAnotherHeadersLineIsRefused) {
    const std::string file = "5,1,1,100m\r\n a\r\n7,1,1,100m\r\n b\r\n";
    WriteBytes(Event("orvo.evt"), file);
    EXPECT_EQ(Send(u"5,1,1,100m\r\n x\r\n7,1,1,Fake\r\n evil\r\n"), Reply("NLS"));
    EXPECT_EQ(ReadBytes(Event("orvo.evt")), file);
    EXPECT_EQ(Log().back(), u"START LIST REFUSED: IT HOLDS MORE THAN ONE EVENT HEADER LINE");
    EXPECT_EQ(op_.lines.back().level, LogLevel::kError);
    // Its own header again, or a line that readers would take for a header, is refused too.
    EXPECT_EQ(Send(u"6,1,1,100m\n x\n6,1,1,100m\n y\n"), Reply("NLS"));
    EXPECT_EQ(Send(u"6,1,1,100m\n x\nLong Jump\n"), Reply("NLS"));
    EXPECT_EQ(ReadBytes(Event("orvo.evt")), file);
    EXPECT_TRUE(op_.balloons.empty());

    // Competitor lines of every kind, comments and empty lines make one heat.
    EXPECT_EQ(Send(u"7,1,1,100m\r\n c\r\n\td\r\n,e\r\n; note\r\n\r\n").substr(0, 4), "\x01ROK");
    EXPECT_EQ(ReadBytes(Event("orvo.evt")),
              "5,1,1,100m\r\n a\r\n7,1,1,100m\r\n c\r\n\td\r\n,e\r\n; note\r\n\r\n");
}

// A file of many blocks: only the heat's lines change, every other byte stays as it was.
TEST_F(StartListUpload, LargeFileKeepsEveryOtherLineByteForByte) {
    std::string head, tail;
    for (int e = 1; e <= 3000; ++e) {
        std::string heat = std::to_string(e) + ",1,1,Event " + std::to_string(e) + ",TR\r\n";
        for (int lane = 1; lane <= 4; ++lane)
            heat +=
                "," + std::to_string(lane) + ",Athlete " + std::to_string(e * 10 + lane) + "\r\n";
        if (e == 1500) heat += "; note\r\n\r\n";
        (e < 1500 ? head : tail) += heat;
    }
    WriteBytes(Event("orvo.evt"), head + tail);
    EXPECT_EQ(Send(u"1500,1,1,Ignored\r\n,1,New\r\n").substr(0, 4), "\x01ROK");
    const std::string heatHeader = "1500,1,1,Event 1500,TR\r\n";
    EXPECT_EQ(ReadBytes(Event("orvo.evt")),
              head + heatHeader + ",1,New\r\n" + tail.substr(tail.find("1501,1,1")));
}

TEST_F(StartListUpload, FailuresReplyNlsAndLeaveTheFileUntouched) {
    EXPECT_EQ(Send(u"5,1,1\n a"), Reply("NLS"));
    EXPECT_EQ(Log().back(), u"ERROR FINDING EVENT FILE: " + FromUtf8(Event("orvo.evt").string()));

    const std::string old = "5,1,1\n a\n9,x\n";
    WriteBytes(Event("orvo.evt"), old);
    EXPECT_EQ(Send(u"5,1"), Reply("NLS"));
    EXPECT_EQ(Log().back(), u"INCOMPLETE COMMAND RECEIVING START LIST");
    EXPECT_EQ(Send(u"5,1,2,Run\n b"), Reply("NLS"));
    EXPECT_EQ(Log().back(), u"BAD FORMAT PARSING EVENT FILE");
    EXPECT_EQ(ReadBytes(Event("orvo.evt")), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_ / "event"), {}), 1);
}

TEST_F(StartListUpload, StaleReadOnlyBackupIsRemoved) {
    WriteBytes(Event("orvo.evt"), "");
    WriteBytes(Event("orvoevt.ren"), "stale");
    std::filesystem::permissions(Event("orvoevt.ren"), std::filesystem::perms::owner_read);
    EXPECT_EQ(Send(u"5,1,1,Run\n a\n").substr(0, 4), "\x01ROK");
    EXPECT_FALSE(std::filesystem::exists(Event("orvoevt.ren")));
    EXPECT_EQ(ReadBytes(Event("orvo.evt")), "5,1,1,Run\r\n a\r\n");
}

TEST_F(StartListUpload, ConcurrentClientsLoseNoHeat) {
    WriteBytes(Event("orvo.evt"), "");
    std::vector<std::thread> clients;
    for (int c = 0; c < 8; ++c)
        clients.emplace_back([&, c] {
            for (int h = 1; h <= 50; ++h) {
                const std::string list =
                    std::to_string(c + 1) + ",1," + std::to_string(h) + ",Run\n a\n";
                EXPECT_EQ(Send(FromUtf8(list)).substr(0, 4), "\x01ROK");
            }
        });
    for (auto& t : clients) t.join();
    const std::string file = ReadBytes(Event("orvo.evt"));
    for (int c = 1; c <= 8; ++c)
        for (int h = 1; h <= 50; ++h) {
            const std::string header =
                "\n" + std::to_string(c) + ",1," + std::to_string(h) + ",Run\r\n";
            const size_t at = ("\n" + file).find(header);
            ASSERT_NE(at, std::string::npos) << header;
            EXPECT_EQ(("\n" + file).find(header, at + 1), std::string::npos) << header;
        }
}

// Field devices poll the schedule while clerks send start lists: no start list fails for a
// poll, and no poll fails for a start list.
TEST_F(StartListUpload, SchedulePollsDuringStartListsNeverFailEitherSide) {
    std::string evt;
    for (int e = 1; e <= 300; ++e)
        evt += std::to_string(e) + ",1,1,Long Jump,LJ\r\n 1,Athlete " + std::to_string(e) + "\r\n";
    WriteBytes(Event("orvo.evt"), evt);
    const std::u16string poll = u"\x0001SRQ\x0002" + Scramble(u"1,1,1,") + u"\x0003\x0004";
    const std::string unanswered = Reply("SRP");
    ASSERT_NE(Dispatch(RequestKind::kScheduleRequest, poll), unanswered);
    int stored = 0;
    const CPollCounts polls = PollWhile(
        3, RequestKind::kScheduleRequest, poll,
        [&](const std::string& reply) { return reply != unanswered; },
        [&] {
            for (int i = 0; i < 40; ++i)
                stored += Send(u"2,1,1,Long Jump,LJ\r\n 1,New " + U16(std::to_string(i)) + u"\r\n")
                              .rfind("\x01ROK", 0) == 0;
        });
    EXPECT_EQ(stored, 40);
    EXPECT_EQ(polls.failed, 0);
    EXPECT_GT(polls.answered, 0);
}

}  // namespace
}  // namespace kestrom::testing
