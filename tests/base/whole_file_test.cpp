#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/WholeFile.h"
#include "support/sandbox.h"

namespace kestrom {
namespace {

TEST(WholeFile, ReadsAllOrTellsWhyNot) {
    testing::CSandbox folder;
    std::string bytes = "left over";
    EXPECT_EQ(ReadWholeFile(folder.File("absent"), bytes), WholeFileState::kMissing);
    EXPECT_TRUE(bytes.empty());

    // Larger than one read, with NUL bytes inside.
    std::string content(40000, 'k');
    content[17] = '\0';
    content.back() = '\n';
    folder.Put("big", content);
    EXPECT_EQ(ReadWholeFile(folder.File("big"), bytes), WholeFileState::kRead);
    EXPECT_EQ(bytes, content);

    folder.Put("empty", "");
    EXPECT_EQ(ReadWholeFile(folder.File("empty"), bytes), WholeFileState::kRead);
    EXPECT_TRUE(bytes.empty());

    std::filesystem::create_directory(folder.File("sub"));
    EXPECT_EQ(ReadWholeFile(folder.File("sub"), bytes), WholeFileState::kUnreadable);
}

}  // namespace
}  // namespace kestrom
