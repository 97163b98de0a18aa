#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "base/FileEx.h"
#include "base/TextConvert.h"
#include "meetdata/PeopleFile.h"
#include "support/sandbox.h"

namespace kestrom {
namespace {

namespace fs = std::filesystem;

class PeopleFileTest : public ::testing::Test {
  protected:
    void SetUp() override { folder_ = sandbox_.Dir(); }

    std::u16string Write(const std::string& bytes) {
        const fs::path path = folder_ / "orvo.ppl";
        std::ofstream(path, std::ios::binary) << bytes;
        return FromUtf8(path.string());
    }

    testing::CSandbox sandbox_;
    fs::path folder_;
};

TEST(AthleteSelection, NumberListOfFieldSixDecides) {
    const std::u16string_view listed = u"1,Ann,Lee,F,CLB,2001,\"3,7,12\",x";
    const std::u16string_view other = u"2,Bo,Ng,M,CLB,2000,\"3,12\"";
    EXPECT_TRUE(IsAthleteSelected(listed, 7));
    EXPECT_FALSE(IsAthleteSelected(other, 7));
    EXPECT_TRUE(IsAthleteSelected(other, 12));
    // One number needs no quotes.
    EXPECT_TRUE(IsAthleteSelected(u"3,a,b,c,d,e,7", 7));
    EXPECT_FALSE(IsAthleteSelected(u"3,a,b,c,d,e,8", 7));
}

TEST(AthleteSelection, LinesWithoutListOrEndingInZeroAreAlwaysSent) {
    EXPECT_TRUE(IsAthleteSelected(u"4,a,b,c,d,e", 7));
    EXPECT_TRUE(IsAthleteSelected(u"4,a,b,c,d,e,,f", 7));  // empty field 6
    EXPECT_TRUE(IsAthleteSelected(u"4,a,b,c,d,e,0", 7));
    EXPECT_TRUE(IsAthleteSelected(u"4,a,b,c,d,e,\"5,0\"", 7));
    // The last value read decides, not the first: a list starting with 0 is still a list.
    EXPECT_FALSE(IsAthleteSelected(u"4,a,b,c,d,e,\"0,5\"", 7));
    // An empty number stops the list: 3 is its last value.
    EXPECT_FALSE(IsAthleteSelected(u"4,a,b,c,d,e,\"3,,7\"", 7));
}

TEST(AthleteSelection, MinusOneSelectsEverything) {
    EXPECT_TRUE(IsAthleteSelected(u"2,Bo,Ng,M,CLB,2000,\"3,12\"", kSelectAllAthletes));
    EXPECT_TRUE(IsAthleteSelected(u"2,Bo,Ng,M,CLB,2000,9", kSelectAllAthletes));
}

// A number list of a hundred thousand numbers is read once, not once per number: read
// again from its start for every number, it took seconds of CPU per line and request. The
// bound is far above one pass (a few milliseconds) and far below the quadratic reading.
TEST(AthleteSelection, LongNumberListIsReadInOnePass) {
    std::u16string line = u"1,Ann,Lee,F,CLB,2001,\"";
    for (int i = 1; i <= 100000; ++i) line += U16(std::to_string(i % 5000 + 1)) + u",";
    line += u"9\",x";
    timespec start{}, end{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
    EXPECT_TRUE(IsAthleteSelected(line, 4321));
    EXPECT_TRUE(IsAthleteSelected(line, 9));
    EXPECT_FALSE(IsAthleteSelected(line, 7777));
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
    const double seconds =
        static_cast<double>(end.tv_sec - start.tv_sec) + (end.tv_nsec - start.tv_nsec) / 1e9;
    EXPECT_LT(seconds, 2.0);
}

TEST_F(PeopleFileTest, SkipsCommentsAndEmptyLinesAndEndsEveryLineWithCrLf) {
    const auto path = Write(
        ";people of the meet\r\n"
        "\r\n"
        "1,Ann,Lee,F,CLB,2001,\"3,7\"\r\n"
        " 2,leading blank\r\n"
        ",3,leading comma\r\n"
        "4,Cy,Ho,M,CLB,1999,12\r\n"
        "5,last line without line end");
    std::u16string out = u"stamp,";
    ASSERT_TRUE(AppendAthleteList(path, 7, out));
    EXPECT_EQ(out,
              u"stamp,1,Ann,Lee,F,CLB,2001,\"3,7\"\r\n 2,leading blank\r\n,3,leading comma\r\n"
              u"5,last line without line end\r\n");
}

// The file's lines are selected exactly as IsAthleteSelected selects each line by itself,
// whatever the quoting of the fields before the number list, in 8-bit and UTF-16 files.
TEST_F(PeopleFileTest, FileSelectionAgreesWithTheLineRule) {
    const std::vector<std::string> lines = {"1,a,b,c,d,e,7",
                                            "2,a,b,c,d,e,8",
                                            "3,a,b,c,d,e,\"3,7,12\",x",
                                            "4,a,b,c,d,e,\"3,12\"",
                                            "5,\"a,b\",c,d,e,f,8",
                                            "6,\"a,b\",c,d,e,f,7",
                                            "7, \"x\" ,b,c,d,e,\"5,0\"",
                                            "8,a,b",
                                            "9,a,b,c,d,e,",
                                            "10,a,b,c,d,e,,7",
                                            "11,a,b,c,d,e, \"7,1\" ,z",
                                            "12,a\"b,c,d,e,f,9",
                                            "13,a,b,c,d,\"e,f\",7",
                                            "14,a,b,c,d,e,\"9\"x,7\"",
                                            " 15,a,b,c,d,e,9"};
    std::string file;
    for (const auto& line : lines) file += line + "\r\n";
    for (bool wide : {false, true}) {
        std::string bytes = file;
        if (wide) {
            bytes = "\xFF\xFE";
            for (char c : file) bytes += std::string{c, '\0'};
        }
        const auto path = Write(bytes);
        for (std::int16_t selection : {7, 8, 9, 12}) {
            std::u16string expected;
            for (const auto& line : lines)
                if (IsAthleteSelected(U16(line), selection)) expected += U16(line) + u"\r\n";
            std::u16string out;
            ASSERT_TRUE(AppendAthleteList(path, selection, out));
            EXPECT_EQ(out, expected) << "selection " << selection << (wide ? ", UTF-16" : "");
        }
    }
}

TEST_F(PeopleFileTest, ReadsUtf16AndStopsLinesAtCtrlZ) {
    std::string bytes = "\xFF\xFE";
    for (char c : std::string("1,A\n2,B\x1A")) {
        bytes += c;
        bytes += '\0';
    }
    const auto path = Write(bytes);
    std::u16string out;
    ASSERT_TRUE(AppendAthleteList(path, kSelectAllAthletes, out));
    EXPECT_EQ(out, u"1,A\r\n2,B\r\n");
}

TEST_F(PeopleFileTest, MissingOrWriteLockedFileFailsAndLeavesTextAlone) {
    std::u16string out = u"kept";
    EXPECT_FALSE(AppendAthleteList(FromUtf8((folder_ / "none.ppl").string()), -1, out));
    EXPECT_EQ(out, u"kept");

    const auto path = Write("1,A\n");
    CFileEx writer(path);
    ASSERT_TRUE(writer.Open(CFileEx::modeReadWrite | CFileEx::shareExclusive));
    EXPECT_FALSE(AppendAthleteList(path, -1, out));
    EXPECT_EQ(out, u"kept");
    writer.Close();

    // Two readers at once both succeed.
    CFileEx reader(path);
    ASSERT_TRUE(reader.Open(CFileEx::modeRead | CFileEx::shareDenyWrite));
    EXPECT_TRUE(AppendAthleteList(path, -1, out));
    EXPECT_EQ(out, u"kept1,A\r\n");
}

}  // namespace
}  // namespace kestrom
