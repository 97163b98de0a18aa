#include "meetdata/Schedule.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "base/FileEx.h"
#include "base/TextConvert.h"
#include "support/sandbox.h"

namespace kestrom {
namespace {

namespace fs = std::filesystem;

// Track event 1,1,1; long jump 3,1,1 and 3,1,2; shot put 9,1,1.
constexpr const char* kMeet =
    "; meet of the day\r\n"
    "1,1,1,100m,TR Men\r\n"
    " 1,Runner\r\n"
    "3,1,1,Long Jump,LJ Women\r\n"
    "\t11,Jumper A\r\n"
    "; scratched\r\n"
    ",12,Jumper B\r\n"
    "\r\n"
    "3,1,2,Long Jump,LJ Men\r\n"
    " 21,Jumper C\r\n"
    "9,1,1,Shot,SP Men\r\n"
    " 31,Thrower\r\n";

class ScheduleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = sandbox_.Dir();
        path_ = FromUtf8((folder_ / "orvo.evt").string());
    }
    void Write(const std::string& bytes) {
        std::ofstream(folder_ / "orvo.evt", std::ios::binary) << bytes;
    }
    CScheduleAnswer Ask(std::int16_t e, std::int16_t r, std::int16_t h, char16_t mark) {
        return ReadSchedule(path_, CEventInfo(e, r, h, 0), mark);
    }

    testing::CSandbox sandbox_;
    fs::path folder_;
    std::u16string path_;
};

TEST_F(ScheduleTest, WalkGoesFromFieldEventToFieldEventAndEndsEmpty) {
    Write(kMeet);
    auto a = Ask(0, 0, 0, u'+');
    ASSERT_TRUE(a.found);
    EXPECT_EQ(a.text, u"3,1,1,Long Jump,LJ Women\r\n");
    a = Ask(3, 1, 1, u'+');
    EXPECT_EQ(a.text, u"3,1,2,Long Jump,LJ Men\r\n");
    a = Ask(3, 1, 2, u'+');
    EXPECT_EQ(a.text, u"9,1,1,Shot,SP Men\r\n");
    a = Ask(9, 1, 1, u'+');
    EXPECT_TRUE(a.opened);
    EXPECT_FALSE(a.found);
    EXPECT_EQ(a.text, u"");
}

TEST_F(ScheduleTest, WithoutMarkAnswersStartListWithoutCommentsOrEmptyLines) {
    Write(kMeet);
    auto a = Ask(3, 1, 1, kNoDirection);
    EXPECT_EQ(a.text, u"3,1,1,Long Jump,LJ Women\r\n\t11,Jumper A\r\n,12,Jumper B\r\n");
    EXPECT_EQ(Ask(3, 1, 1, u'-').text, a.text);
    EXPECT_EQ(Ask(0, 0, 0, kNoDirection).text, a.text);
    // The last event's list ends with the file.
    EXPECT_EQ(Ask(9, 1, 1, kNoDirection).text, u"9,1,1,Shot,SP Men\r\n 31,Thrower\r\n");
}

TEST_F(ScheduleTest, TrackEventsAndUnknownKeysAreNotFound) {
    Write(kMeet);
    EXPECT_FALSE(Ask(1, 1, 1, kNoDirection).found);
    EXPECT_FALSE(Ask(4, 1, 1, kNoDirection).found);
    EXPECT_FALSE(Ask(4, 1, 1, u'+').found);
    // A track event is a valid starting point of the walk.
    EXPECT_EQ(Ask(1, 1, 1, u'+').text, u"3,1,1,Long Jump,LJ Women\r\n");
}

TEST_F(ScheduleTest, DuplicateKeyFirstOccurrenceAnswersAndWalkMayLandOnSecond) {
    Write("5,1,1,HJ,HJ Men\n a\n5,1,1,HJ again,HJ Men\n b\n");
    EXPECT_EQ(Ask(5, 1, 1, kNoDirection).text, u"5,1,1,HJ,HJ Men\r\n a\r\n");
    EXPECT_EQ(Ask(5, 1, 1, u'+').text, u"5,1,1,HJ again,HJ Men\r\n");
}

TEST_F(ScheduleTest, BadHeaderLinesAreCountedAndSkipped) {
    Write("x,1,1,bad,LJ\n3,a,1,bad,LJ\n3,1,1,Long Jump,LJ\n");
    auto a = Ask(0, 0, 0, u'+');
    EXPECT_EQ(a.text, u"3,1,1,Long Jump,LJ\r\n");
    EXPECT_EQ(a.badHeaderLines, 2);
}

TEST_F(ScheduleTest, CrLineEndsUtf16AndCtrlZ) {
    Write("3,1,1,Pole,PV\r 1,a\r\x1A");
    EXPECT_EQ(Ask(3, 1, 1, kNoDirection).text, u"3,1,1,Pole,PV\r\n 1,a\r\n");
    std::string bytes = "\xFF\xFE";
    for (char c : std::string("3,1,1,Pole,PV\n 1,\xE9\n")) {
        bytes += c;
        bytes += '\0';
    }
    Write(bytes);
    EXPECT_EQ(Ask(3, 1, 1, kNoDirection).text, u"3,1,1,Pole,PV\r\n 1,\u00E9\r\n");
}

TEST_F(ScheduleTest, MissingOrWriteLockedFileIsNotOpenedButReadersShare) {
    auto a = Ask(0, 0, 0, u'+');
    EXPECT_FALSE(a.opened);
    EXPECT_FALSE(a.found);

    Write(kMeet);
    {
        CFileEx writer(path_);
        ASSERT_TRUE(writer.Open(CFileEx::modeReadWrite | CFileEx::shareExclusive));
        EXPECT_FALSE(Ask(0, 0, 0, u'+').opened);
    }
    // Several field devices walk at the same time; a reader that lets others read does not
    // stop the schedule.
    CFileEx reader(path_);
    ASSERT_TRUE(reader.Open(CFileEx::modeRead | CFileEx::shareDenyWrite));
    EXPECT_TRUE(Ask(0, 0, 0, u'+').found);
}

}  // namespace
}  // namespace kestrom
