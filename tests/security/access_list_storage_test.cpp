// Loading and saving KestromMAC.dat at the list's storage path.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "security/AccessListFormat.h"
#include "security/AccessListStorage.h"

namespace kestrom {
namespace {

class AccessListStorageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("kestrom-storage-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        list_.SetStoragePath(File().u16string());
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::filesystem::path File() const { return dir_ / "KestromMAC.dat"; }
    std::string Read() const {
        std::ifstream in(File(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    void Write(const std::string& bytes) const { std::ofstream(File(), std::ios::binary) << bytes; }

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
    EXPECT_EQ(LoadAccessList(list_), CStorageOutcome::Ok);
    EXPECT_EQ(list_.Size(), 0u);
    ASSERT_TRUE(std::filesystem::exists(File()));
    EXPECT_EQ(std::filesystem::file_size(File()), 0u);
}

TEST_F(AccessListStorageTest, SaveThenLoadGivesEqualEntries) {
    std::vector<CAccessControlItem> items{Entry(u"00:1A:2B:3C:4D:5E", u"Pit"),
                                          Entry(u"AA:BB:CC:DD:EE:FF", u"")};
    list_.ReplaceAll(items);
    EXPECT_EQ(SaveAccessList(list_), CStorageOutcome::Ok);
    EXPECT_EQ(Read(), SerializeAccessList(items));

    CAccessControlList loaded;
    loaded.SetStoragePath(File().u16string());
    EXPECT_EQ(LoadAccessList(loaded), CStorageOutcome::Ok);
    EXPECT_EQ(loaded.Snapshot(), items);

    // A save replaces the whole file: a shorter list leaves no tail of the longer one.
    list_.ReplaceAll({});
    EXPECT_EQ(SaveAccessList(list_), CStorageOutcome::Ok);
    EXPECT_EQ(Read(), std::string(2, '\0'));
    // No temporary files are left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1);
}

TEST_F(AccessListStorageTest, LoadDoesNotTruncateAndKeepsEntriesOfACutFile) {
    std::string full =
        SerializeAccessList({Entry(u"1:2:3:4:5:6", u"one"), Entry(u"7:8:9:A:B:C", u"two")});
    Write(full.substr(0, full.size() - 3));
    EXPECT_EQ(LoadAccessList(list_), CStorageOutcome::Ok);
    ASSERT_EQ(list_.Size(), 2u);
    EXPECT_EQ(list_.Snapshot()[0], Entry(u"1:2:3:4:5:6", u"one"));
    EXPECT_EQ(list_.Snapshot()[1].name, u"two");
    EXPECT_EQ(list_.Snapshot()[1].allowFieldOrvo, 0);
    EXPECT_EQ(Read(), full.substr(0, full.size() - 3));
}

TEST_F(AccessListStorageTest, MalformedCountCannotBeProcessed) {
    Write(std::string(1, '\x05'));
    EXPECT_EQ(LoadAccessList(list_), CStorageOutcome::CannotProcess);
    EXPECT_EQ(list_.Size(), 0u);
    EXPECT_EQ(StorageOutcomeText(CStorageOutcome::CannotProcess),
              u"Kestrom was unable to open or process it's security storage file, "
              u"KestromMAC.dat.  Please verify the Kestrom security settings.");
}

TEST_F(AccessListStorageTest, UnopenableFileLeavesListAndOldFileAlone) {
    CAccessControlList elsewhere;
    elsewhere.SetStoragePath((dir_ / "no-such-folder" / "KestromMAC.dat").u16string());
    EXPECT_EQ(LoadAccessList(elsewhere), CStorageOutcome::CannotOpen);
    EXPECT_EQ(StorageOutcomeText(CStorageOutcome::CannotOpen),
              u"Kestrom was unable to open it's security storage file, KestromMAC.dat.  Please "
              u"verify the Kestrom security settings.");
    elsewhere.Append({Entry(u"1:2:3:4:5:6", u"kept")});
    EXPECT_EQ(SaveAccessList(elsewhere), CStorageOutcome::CannotOpen);
    EXPECT_EQ(elsewhere.Size(), 1u);
    EXPECT_EQ(StorageOutcomeText(CStorageOutcome::Ok), u"");
}

}  // namespace
}  // namespace kestrom
