// The athlete list request "PRQ" served end to end through the dispatcher.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "base/FileEx.h"
#include "base/LocalTime.h"
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

// 14:30:05 on 7 December 2023, local time.
constexpr LocalDateTime kFileTime{2023, 12, 7, 14, 30, 5};

class AthleteListRequestTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = sandbox_.Dir();
        settings_.Update(
            [&](CKestromSettings& s) { s.EventDirectory = FromUtf8(folder_.string()); });
    }

    void WritePeople(const std::string& bytes) {
        const fs::path path = folder_ / "orvo.ppl";
        std::ofstream(path, std::ios::binary) << bytes;
        const std::time_t t = *FromLocalDateTime(kFileTime);
        const timespec times[2] = {{t, 0}, {t, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }

    // The bytes on the wire for a "PRQ" with this payload.
    std::string Ask(const std::u16string& payload) {
        CRecordingChannel channel(WireMode::kSingleByte);
        CRequestContext context{settings_, op_, lock_};
        CCommandProcessor processor(context, channel);
        processor.Dispatch(RequestKind::kAthleteList, u"\x01PRQ\x02" + payload + u"\x03\x04",
                           u"client");
        return channel.bytes;
    }

    static std::string Reply(const std::string& code, const std::string& payload) {
        return ReplyBytes(code, payload);
    }

    testing::CSandbox sandbox_;
    fs::path folder_;
    CSharedSettings settings_;
    CRecordingOperator op_;
    std::mutex lock_;
};

constexpr const char* kPeople =
    "; athletes\r\n"
    "1,Ann,Lee,F,CLB,2001,\"3,7,12\"\r\n"
    "2,Bo,Ng,M,CLB,2000,\"3,12\"\r\n"
    "3,Cy,Ho,M,CLB,1999\r\n";

TEST_F(AthleteListRequestTest, OnlyAFileNewerThanTheClientsCopyIsSent) {
    WritePeople(kPeople);
    EXPECT_EQ(Ask(u"14300507122023"), Reply("PRP", ""));
    EXPECT_EQ(Ask(u"14300607122023,7"), Reply("PRP", ""));
    EXPECT_EQ(
        Ask(u"14300407122023,7"),
        Reply("PRP", "14300507122023,1,Ann,Lee,F,CLB,2001,\"3,7,12\"\r\n3,Cy,Ho,M,CLB,1999\r\n"));
    EXPECT_TRUE(op_.lines.empty());
}

TEST_F(AthleteListRequestTest, NoCommaOrSelection65535SendsEveryLine) {
    WritePeople(kPeople);
    const std::string all = Reply("PRP",
                                  "14300507122023,1,Ann,Lee,F,CLB,2001,\"3,7,12\"\r\n"
                                  "2,Bo,Ng,M,CLB,2000,\"3,12\"\r\n3,Cy,Ho,M,CLB,1999\r\n");
    EXPECT_EQ(Ask(u"00000001011990"), all);
    EXPECT_EQ(Ask(u"00000001011990,65535"), all);
    EXPECT_EQ(Ask(u"00000001011990,-1"), all);
}

TEST_F(AthleteListRequestTest, MissingFileIncompleteRequestAndBadStampAnswerNla) {
    const std::string nla = Reply("NLA", "");
    EXPECT_EQ(Ask(u"00000001011990"), nla);
    const std::u16string path = FromUtf8((folder_ / "orvo.ppl").string());
    ASSERT_EQ(op_.lines.size(), 1u);
    EXPECT_EQ(op_.lines[0].text, u"ERROR FINDING PEOPLE FILE: " + path);
    EXPECT_EQ(op_.lines[0].level, LogLevel::kError);

    WritePeople(kPeople);
    op_.lines.clear();
    CRecordingChannel channel(WireMode::kSingleByte);
    CRequestContext context{settings_, op_, lock_};
    CCommandProcessor processor(context, channel);
    processor.Dispatch(RequestKind::kAthleteList,
                       u"\x01PRQ\x02"
                       u"00000001011990\x04",
                       u"c");  // no ETX
    EXPECT_EQ(channel.bytes, nla);
    EXPECT_EQ(Ask(u"25000001011990"), nla);  // hour 25
    EXPECT_EQ(Ask(u"00000001011969"), nla);  // before 1970
    EXPECT_EQ(Ask(u"0915,7"), nla);          // stamp cut short
    ASSERT_EQ(op_.lines.size(), 4u);
    for (const auto& line : op_.lines) {
        EXPECT_EQ(line.text, u"INCOMPLETE COMMAND REQUESTING ATHLETE LIST");
        EXPECT_EQ(line.level, LogLevel::kError);
    }
}

TEST_F(AthleteListRequestTest, FileHeldByAWriterIsAFailureNotAnEmptyList) {
    WritePeople(kPeople);
    const std::u16string path = FromUtf8((folder_ / "orvo.ppl").string());
    CFileEx writer(path);
    ASSERT_TRUE(writer.Open(CFileEx::modeReadWrite | CFileEx::shareExclusive));
    EXPECT_EQ(Ask(u"00000001011990"), Reply("NLA", ""));
    ASSERT_EQ(op_.lines.size(), 1u);
    EXPECT_EQ(op_.lines[0].text, u"ERROR OPENING EVENT FILE: " + path);
    EXPECT_EQ(op_.lines[0].level, LogLevel::kError);
}

}  // namespace
}  // namespace kestrom
