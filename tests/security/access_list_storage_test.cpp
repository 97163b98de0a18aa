// Loading and saving KestromMAC.dat at the list's storage path.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "security/AccessListFormat.h"
#include "security/AccessListStorage.h"
#include "support/sandbox.h"

namespace kestrom {
namespace {

class AccessListStorageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = sandbox_.Dir();
        list_.SetStoragePath(File().u16string());
    }

    std::filesystem::path File() const { return dir_ / "KestromMAC.dat"; }
    std::string Read() const {
        std::ifstream in(File(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    void Write(const std::string& bytes) const { std::ofstream(File(), std::ios::binary) << bytes; }

    testing::CSandbox sandbox_;
    std::filesystem::path dir_;
    CAccessControlList list_;
};

CAccessControlItem Entry(std::u16string_view mac, std::u16string name) {
    CAccessControlItem item;
    SplitMacText(mac, item);
    item.name = std::move(name);
    item.enabled = 1;
    item.allowWenlow = 1;
    return item;
}

TEST_F(AccessListStorageTest, MissingFileIsCreatedEmptyWithoutMessage) {
    EXPECT_TRUE(LoadAccessList(list_));
    EXPECT_EQ(list_.Size(), 0u);
    ASSERT_TRUE(std::filesystem::exists(File()));
    EXPECT_EQ(std::filesystem::file_size(File()), 0u);
}

TEST_F(AccessListStorageTest, SaveThenLoadGivesEqualEntries) {
    std::vector<CAccessControlItem> items{Entry(u"00:1A:2B:3C:4D:5E", u"Pit"),
                                          Entry(u"AA:BB:CC:DD:EE:FF", u"")};
    list_.ReplaceAll(items);
    EXPECT_TRUE(SaveAccessList(list_));
    EXPECT_EQ(Read(), SerializeAccessList(items));

    CAccessControlList loaded;
    loaded.SetStoragePath(File().u16string());
    EXPECT_TRUE(LoadAccessList(loaded));
    EXPECT_EQ(loaded.Snapshot(), items);

    // A save replaces the whole file: a shorter list leaves no tail of the longer one.
    list_.ReplaceAll({});
    EXPECT_TRUE(SaveAccessList(list_));
    EXPECT_EQ(Read(), std::string(2, '\0'));
    // No temporary files are left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1);
}

TEST_F(AccessListStorageTest, LoadDoesNotTruncateAndKeepsEntriesOfACutFile) {
    std::string full =
        SerializeAccessList({Entry(u"1:2:3:4:5:6", u"one"), Entry(u"7:8:9:A:B:C", u"two")});
    Write(full.substr(0, full.size() - 3));
    EXPECT_TRUE(LoadAccessList(list_));
    ASSERT_EQ(list_.Size(), 2u);
    EXPECT_EQ(list_.Snapshot()[0], Entry(u"1:2:3:4:5:6", u"one"));
    EXPECT_EQ(list_.Snapshot()[1].name, u"two");
    EXPECT_EQ(list_.Snapshot()[1].allowFieldOrvo, 0);
    EXPECT_EQ(Read(), full.substr(0, full.size() - 3));
}

TEST_F(AccessListStorageTest, MalformedCountCannotBeProcessed) {
    Write(std::string(1, '\x05'));
    const CStatus loaded = LoadAccessList(list_);
    EXPECT_FALSE(loaded);
    EXPECT_EQ(list_.Size(), 0u);
    EXPECT_EQ(loaded.Detail(),
              u"Kestrom was unable to open or process it's security storage file, "
              u"KestromMAC.dat.  Please verify the Kestrom security settings.");
}

TEST_F(AccessListStorageTest, UnopenableFileLeavesListAndOldFileAlone) {
    CAccessControlList elsewhere;
    elsewhere.SetStoragePath((dir_ / "no-such-folder" / "KestromMAC.dat").u16string());
    const CStatus loaded = LoadAccessList(elsewhere);
    EXPECT_FALSE(loaded);
    EXPECT_EQ(loaded.Detail(),
              u"Kestrom was unable to open it's security storage file, KestromMAC.dat.  Please "
              u"verify the Kestrom security settings.");
    elsewhere.Append({Entry(u"1:2:3:4:5:6", u"kept")});
    const CStatus saved = SaveAccessList(elsewhere);
    EXPECT_EQ(saved.Detail(), kStorageCannotOpenText);
    EXPECT_EQ(saved.Cause(), file_cause::kBadPath);
    EXPECT_EQ(elsewhere.Size(), 1u);
}

}  // namespace
}  // namespace kestrom
