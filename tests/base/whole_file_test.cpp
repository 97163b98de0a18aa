#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/WholeFile.h"
#include "support/sandbox.h"

namespace kestrom {
namespace {

TEST(WholeFile, ReadsAllOrTellsWhyNot) {
    testing::CSandbox folder;
    const auto absent = ReadWholeFile(folder.File("absent"));
    ASSERT_FALSE(absent);
    EXPECT_EQ(absent.Status().Cause(), file_cause::kFileNotFound);

    // Larger than one read, with NUL bytes inside.
    std::string content(40000, 'k');
    content[17] = '\0';
    content.back() = '\n';
    folder.Put("big", content);
    const auto big = ReadWholeFile(folder.File("big"));
    ASSERT_TRUE(big);
    EXPECT_EQ(*big, content);

    folder.Put("empty", "");
    const auto empty = ReadWholeFile(folder.File("empty"));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());

    // A folder opens but cannot be read: a cause other than a missing file, so the settings
    // store never takes it for a first run.
    std::filesystem::create_directory(folder.File("sub"));
    const auto sub = ReadWholeFile(folder.File("sub"));
    ASSERT_FALSE(sub);
    EXPECT_NE(sub.Status().Cause(), file_cause::kFileNotFound);
}

}  // namespace
}  // namespace kestrom
