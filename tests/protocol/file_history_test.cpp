// The versions kept when a meet file is replaced: bounds by count and by size, and restoring.
#include <gtest/gtest.h>

#include <filesystem>

#include "protocol/FileHistory.h"
#include "support/sandbox.h"

namespace kestrom {
namespace {

TEST(FileHistory, KeepsTheNewestVersionsWithinTheCountAndTheSize) {
    testing::CSandbox box;
    const std::u16string file = box.Wide("001-1-01.qff");
    CFileHistory history;
    history.SetLimits({3, 1000});
    for (int i = 1; i <= 5; ++i) {
        box.Put("001-1-01.qff", "version " + std::to_string(i));
        ASSERT_TRUE(history.Keep(file, u"10.0.0.1"));
    }
    auto versions = history.Versions(file);
    ASSERT_EQ(versions.size(), 3u);
    std::string bytes;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(history.Read(file, versions[i].id, bytes));
        EXPECT_EQ(bytes, "version " + std::to_string(5 - i));
        EXPECT_EQ(versions[i].device, u"10.0.0.1");
    }
    // The hidden folder beside the file; the meet folder itself gains nothing else.
    EXPECT_TRUE(std::filesystem::is_directory(box.File(".kestrom-history/001-1-01.qff")));

    history.SetLimits({10, 25});
    box.Put("001-1-01.qff", std::string(20, 'x'));
    ASSERT_TRUE(history.Keep(file, u"10.0.0.2"));
    versions = history.Versions(file);
    // 20 bytes and the 9 of "version 5" pass 25: only the newest stays.
    ASSERT_EQ(versions.size(), 1u);
    // Even one version larger than the bound is kept.
    box.Put("001-1-01.qff", std::string(40, 'y'));
    ASSERT_TRUE(history.Keep(file, u"10.0.0.2"));
    EXPECT_EQ(history.Versions(file).size(), 1u);
    EXPECT_EQ(history.Versions(file).front().bytes, 40u);
}

TEST(FileHistory, RestoringReplacesTheFileAndKeepsTheCurrentOne) {
    testing::CSandbox box;
    const std::u16string file = box.Wide("orvo.evt");
    CFileHistory history;
    box.Put("orvo.evt", "old");
    ASSERT_TRUE(history.Keep(file, u"10.0.0.1"));
    box.Put("orvo.evt", "new");
    const std::u16string oldId = history.Versions(file).front().id;

    EXPECT_EQ(history.Restore(file, oldId, u"console"), HistoryRestore::kRestored);
    EXPECT_EQ(box.Get("orvo.evt"), "old");
    const auto versions = history.Versions(file);
    ASSERT_EQ(versions.size(), 2u);
    std::string bytes;
    ASSERT_TRUE(history.Read(file, versions.front().id, bytes));
    EXPECT_EQ(bytes, "new");
    EXPECT_EQ(versions.front().device, u"console");

    EXPECT_EQ(history.Restore(file, u"0000000099", u"console"), HistoryRestore::kNoSuchVersion);
    EXPECT_EQ(history.Restore(file, u"../orvo.evt", u"console"), HistoryRestore::kNoSuchVersion);
    EXPECT_EQ(box.Get("orvo.evt"), "old");
}

}  // namespace
}  // namespace kestrom
