#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "base/TextConvert.h"
#include "meetdata/EventFile.h"
#include "support/sandbox.h"

namespace kestrom {
namespace {

class EventFileText : public ::testing::Test {
  protected:
    void SetUp() override { dir_ = sandbox_.Dir(); }

    std::u16string Write(std::string_view bytes) {
        std::ofstream(dir_ / "orvo.evt", std::ios::binary) << bytes;
        return FromUtf8((dir_ / "orvo.evt").string());
    }
    std::u16string Read(std::string_view bytes, bool headersOnly) {
        std::u16string text;
        EXPECT_TRUE(ReadEventFileText(Write(bytes), headersOnly, text));
        return text;
    }

    testing::CSandbox sandbox_;
    std::filesystem::path dir_;
};

TEST_F(EventFileText, DropsCommentsAndEmptyLinesAndEndsLinesWithCrLf) {
    const std::string file = "; comment\n\n12,1,3,Long Jump,LJ\n 101,Ann\n,102,Bea\n";
    EXPECT_EQ(Read(file, false), u"12,1,3,Long Jump,LJ\r\n 101,Ann\r\n,102,Bea\r\n");
    EXPECT_EQ(Read(file, true), u"12,1,3,Long Jump,LJ\r\n");
    EXPECT_EQ(Read("1,1,1\n\t201,Cy\n", true), u"1,1,1\r\n");
}

TEST_F(EventFileText, AnyLineEndAndCtrlZ) {
    EXPECT_EQ(Read("a\r\nb\r\n", false), u"a\r\nb\r\n");
    EXPECT_EQ(Read("a\rb\r", false), u"a\r\nb\r\n");
    EXPECT_EQ(Read("a\n\rb\n\r", false), u"a\r\nb\r\n");
    EXPECT_EQ(Read("a\nb", false), u"a\r\nb\r\n");        // last line without a line end
    EXPECT_EQ(Read("a\nb\n\x1a", false), u"a\r\nb\r\n");  // Ctrl-Z adds no line
    EXPECT_EQ(Read("a\x1a"
                   "b\n",
                   false),
              u"a\r\nb\r\n");
    EXPECT_EQ(Read("", false), u"");
}

TEST_F(EventFileText, ReadsUtf16WithByteOrderMark) {
    std::string bytes = "\xFF\xFE";
    for (char16_t c : std::u16string(u"1,1,1,Caf\u00e9\r\n; x\r\n 7,\u0141\r\n")) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    EXPECT_EQ(Read(bytes, false), u"1,1,1,Caf\u00e9\r\n 7,\u0141\r\n");
}

TEST_F(EventFileText, AppendsToTheGivenText) {
    std::u16string text = u"stamp,";
    ASSERT_TRUE(ReadEventFileText(Write("1,1,1\n"), false, text));
    EXPECT_EQ(text, u"stamp,1,1,1\r\n");
}

TEST_F(EventFileText, MissingFileGivesTheCause) {
    std::u16string text;
    const CStatus read = ReadEventFileText(FromUtf8((dir_ / "none.evt").string()), false, text);
    EXPECT_EQ(read.Cause(), file_cause::kFileNotFound);
    EXPECT_TRUE(text.empty());
}

}  // namespace
}  // namespace kestrom
