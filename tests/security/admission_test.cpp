// Admission of request messages: MAC lookup through a temporary ARP table, the access list,
// the security switches, the prompt, and the client address lists.
#include "security/Admission.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "base/TextConvert.h"
#include "protocol/CommandProcessor.h"
#include "security/AccessControlList.h"
#include "security/AccessListFormat.h"
#include "security/MacLookup.h"
#include "support/fakes.h"
#include "support/sandbox.h"
#include "wire/CommandTable.h"

namespace kestrom {
namespace {

using testing::CRecordingChannel;
using testing::CRecordingOperator;

constexpr char16_t kNamedIp[] = u"10.0.0.5";     // 00:1A:2B:3C:4D:5E, "Pit", FieldOrvo only
constexpr char16_t kDisabledIp[] = u"10.0.0.6";  // AA:BB:CC:DD:EE:01, no name, disabled
constexpr char16_t kUnknownIp[] = u"10.0.0.7";   // AA:BB:CC:DD:EE:02, not listed
constexpr char16_t kNoArpIp[] = u"10.0.0.8";     // no ARP entry
const std::string kRefusal = "\x01TCC,PSZ=3\x02\x03\x04";

// An upload without STX: dispatch logs "(label)Receiving Results" and touches no file.
const std::u16string kUpload = u"\x01RFF,\x04";
const std::u16string kPing = u"\x01HFL\x02\x03\x04";

class AdmissionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = sandbox_.Dir();
        std::ofstream(dir_ / "arp")
            << "IP address       HW type     Flags       HW address            Mask     Device\n"
               "10.0.0.5         0x1         0x2         00:1a:2b:3c:4d:5e     *        eth0\n"
               "10.0.0.6         0x1         0x2         aa:bb:cc:dd:ee:01     *        eth0\n"
               "10.0.0.7         0x1         0x2         aa:bb:cc:dd:ee:02     *        eth0\n"
               "10.0.0.8         0x1         0x0         00:00:00:00:00:00     *        eth0\n";
        ::setenv(kArpTableEnvironment, (dir_ / "arp").string().c_str(), 1);

        CAccessControlItem named;
        SplitMacText(u"00:1A:2B:3C:4D:5E", named);
        named.name = u"Pit";
        named.enabled = 1;
        named.allowFieldOrvo = 1;
        CAccessControlItem disabled;
        SplitMacText(u"AA:BB:CC:DD:EE:01", disabled);
        disabled.allowFieldOrvo = 1;
        disabled.allowWenlow = 1;
        disabled.allowClerkOrvo = 1;
        accessList_.ReplaceAll({named, disabled});
        accessList_.SetStoragePath((dir_ / "KestromMAC.dat").u16string());
    }
    void TearDown() override { ::unsetenv(kArpTableEnvironment); }

    void Switches(bool security, bool wenlow, bool fieldOrvo, bool clerkOrvo) {
        settings_.Update([&](CKestromSettings& s) {
            s.SecurityEnabled = security;
            s.WenlowSecurityEnabled = wenlow;
            s.FieldOrvoSecurityEnabled = fieldOrvo;
            s.ClerkOrvoSecurityEnabled = clerkOrvo;
        });
    }

    // Admits one message and returns the bytes replied.
    std::string Send(std::u16string_view ip, const std::u16string& message) {
        CRecordingChannel channel;
        CCommandProcessor processor(requestContext_, channel);
        Admit(context_, ip, LookupCommand(message), message, processor);
        return channel.bytes;
    }

    bool Logged(std::u16string_view text, LogLevel level) const {
        std::lock_guard lock(op_.mutex);
        for (const auto& line : op_.lines)
            if (line.text == text && line.level == level) return true;
        return false;
    }

    testing::CSandbox sandbox_;
    std::filesystem::path dir_;
    CSharedSettings settings_;
    CRecordingOperator op_;
    CAccessControlList accessList_;
    CClientAddressLists clients_;
    CPromptPolicy prompts_;
    std::mutex updateLock_;
    CAdmissionContext context_{op_, accessList_, clients_, prompts_};
    CRequestContext requestContext_{settings_, op_, updateLock_};
};

TEST_F(AdmissionTest, SecurityOffDispatchesUnderTheIpTextAndStillRecords) {
    Switches(0, 1, 1, 1);
    EXPECT_EQ(Send(kUnknownIp, kUpload).substr(0, 4), "\x01NSR");
    EXPECT_TRUE(Logged(u"(10.0.0.7)Receiving Results", LogLevel::kInfo));
    EXPECT_EQ(clients_.Addresses(CProduct::FieldOrvo), std::vector<std::u16string>{kUnknownIp});

    // A failed lookup is an error line even with security off, and nothing else changes.
    EXPECT_EQ(Send(kNoArpIp, kUpload).substr(0, 4), "\x01NSR");
    EXPECT_TRUE(Logged(u"Unable to retrieve MAC Address for device at 10.0.0.8", LogLevel::kError));
    EXPECT_TRUE(Logged(u"(10.0.0.8)Receiving Results", LogLevel::kInfo));
    EXPECT_EQ(clients_.Count(CProduct::FieldOrvo), 2);
}

TEST_F(AdmissionTest, LoopbackIsNoticedAndAdmittedWithoutChecks) {
    Switches(1, 1, 1, 1);
    std::string reply = Send(u"127.0.0.1", kPing);
    EXPECT_EQ(reply.substr(0, 4), "\x01HMM");
    EXPECT_TRUE(
        Logged(u"Unable to retrieve MAC Address for device at 127.0.0.1", LogLevel::kError));
    EXPECT_TRUE(Logged(u"Kestrom security will not work in loopback (IP Address = 127.0.0.1) mode",
                       LogLevel::kPlain));
    // Recording depends only on the product switch.
    EXPECT_EQ(clients_.Count(CProduct::FieldOrvo), 1);

    // Other loopback addresses get no notice: without an ARP entry they are unknown clients.
    EXPECT_EQ(Send(u"127.0.0.2", kPing), kRefusal);
}

TEST_F(AdmissionTest, UnknownClientIsRefusedOnlyWhereTheProductSwitchIsOn) {
    Switches(1, 0, 1, 0);
    EXPECT_EQ(Send(kUnknownIp, u"\x01HHW\x02\x03\x04").substr(0, 4), "\x01HMM");
    EXPECT_EQ(Send(kUnknownIp, u"\x01HAL\x02\x03\x04").substr(0, 4), "\x01HMM");
    EXPECT_EQ(Send(kUnknownIp, kPing), kRefusal);
    EXPECT_TRUE(
        Logged(u"(AA:BB:CC:DD:EE:02) Client not in the security list attempted FieldOrvo "
               u"data access.",
               LogLevel::kPlain));
    EXPECT_EQ(clients_.Count(CProduct::FieldOrvo), 0);
    EXPECT_EQ(clients_.Count(CProduct::Wenlow), 0);

    // Without an ARP entry the label is the empty MAC text.
    EXPECT_EQ(Send(kNoArpIp, kPing), kRefusal);
    EXPECT_TRUE(Logged(u"() Client not in the security list attempted FieldOrvo data access.",
                       LogLevel::kPlain));
}

TEST_F(AdmissionTest, EachProductHasItsOwnRefusalTexts) {
    Switches(1, 1, 1, 1);
    struct Case {
        std::u16string message;
        std::u16string_view disabled;
        std::u16string_view notListed;
    } cases[] = {
        {u"\x01HAL\x02\x03\x04",
         u"(AA:BB:CC:DD:EE:01) Client is disabled in the security list and attempted to access "
         u"Wenlow data.",
         u"(AA:BB:CC:DD:EE:02) Client not in the security list attempted Wenlow data access."},
        {u"\x01SRQ\x02\x03\x04",
         u"(AA:BB:CC:DD:EE:01) Client is disabled in the security list and attempted to access "
         u"FieldOrvo data.",
         u"(AA:BB:CC:DD:EE:02) Client not in the security list attempted FieldOrvo data access."},
        {u"\x01HCL\x02\x03\x04",
         u"(AA:BB:CC:DD:EE:01) Client is disabled in the security list and attempted to access "
         u"ClerkOrvo data.",
         u"(AA:BB:CC:DD:EE:02) Client not in the security list attempted ClerkOrvo data access."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.message));
        // The disabled entry allows every product, but Enable is clear.
        EXPECT_EQ(Send(kDisabledIp, c.message), kRefusal);
        EXPECT_TRUE(Logged(c.disabled, LogLevel::kPlain));
        EXPECT_EQ(Send(kUnknownIp, c.message), kRefusal);
        EXPECT_TRUE(Logged(c.notListed, LogLevel::kPlain));
    }
}

TEST_F(AdmissionTest, ListedClientIsLabelledByNameAndServedItsProductsOnly) {
    Switches(1, 1, 1, 1);
    EXPECT_EQ(Send(kNamedIp, kUpload).substr(0, 4), "\x01NSR");
    EXPECT_TRUE(Logged(u"(Pit)Receiving Results", LogLevel::kInfo));
    EXPECT_EQ(Send(kNamedIp, u"\x01HAL\x02\x03\x04"), kRefusal);
    EXPECT_TRUE(
        Logged(u"(Pit) Client is disabled in the security list and attempted to access "
               u"Wenlow data.",
               LogLevel::kPlain));

    // Unnamed entries are labelled by their MAC text.
    CAccessControlItem unnamed;
    SplitMacText(u"AA:BB:CC:DD:EE:02", unnamed);
    unnamed.enabled = 1;
    unnamed.allowFieldOrvo = 1;
    accessList_.Append({unnamed});
    EXPECT_EQ(Send(kUnknownIp, kUpload).substr(0, 4), "\x01NSR");
    EXPECT_TRUE(Logged(u"(AA:BB:CC:DD:EE:02)Receiving Results", LogLevel::kInfo));
}

TEST_F(AdmissionTest, TimedUploadAndClerkEventFileBelongToTheirProducts) {
    EXPECT_EQ(GuardedProductOfKind(RequestKind::kResultsUploadStamped), CProduct::FieldOrvo);
    EXPECT_EQ(GuardedProductOfKind(RequestKind::kClerkOrvoEventFile), CProduct::ClerkOrvo);
    for (RequestKind kind :
         {RequestKind::kHyWirePing, RequestKind::kHyWireEventFile,
          RequestKind::kHyWireResultsChanged, RequestKind::kHyWireResultsRequest,
          RequestKind::kImageRequest, RequestKind::kReplyOk, RequestKind::kUnknown})
        EXPECT_EQ(GuardedProductOfKind(kind), std::nullopt) << static_cast<int>(kind);

    Switches(1, 0, 1, 1);
    EXPECT_EQ(Send(kUnknownIp, u"\x01RFT,\x04"), kRefusal);
    EXPECT_EQ(Send(kUnknownIp,
                   u"\x01"
                   u"ECQ\x02\x03\x04"),
              kRefusal);
    EXPECT_TRUE(
        Logged(u"(AA:BB:CC:DD:EE:02) Client not in the security list attempted ClerkOrvo "
               u"data access.",
               LogLevel::kPlain));
}

TEST_F(AdmissionTest, AnAddressIsRecordedOnceAndOnlyWhileTheSwitchIsOn) {
    Switches(0, 0, 1, 0);
    Send(kUnknownIp, kPing);
    Send(kUnknownIp, kPing);
    EXPECT_EQ(clients_.Count(CProduct::FieldOrvo), 1);
    EXPECT_EQ(op_.gridRefreshes, 1);

    Switches(0, 0, 0, 0);
    Send(kNamedIp, kPing);
    EXPECT_EQ(clients_.Addresses(CProduct::FieldOrvo), std::vector<std::u16string>{kUnknownIp});
    EXPECT_EQ(op_.gridRefreshes, 1);

    // Refused messages are not recorded.
    Switches(1, 0, 1, 0);
    Send(kDisabledIp, kPing);
    EXPECT_EQ(clients_.Count(CProduct::FieldOrvo), 1);
}

TEST_F(AdmissionTest, PromptRefusesEvenHyWireAndDeclinedLeavesTheListAlone) {
    Switches(1, 0, 0, 0);
    prompts_.SetEnabled(true);
    EXPECT_EQ(Send(kUnknownIp, u"\x01HHW\x02\x03\x04"), kRefusal);
    ASSERT_EQ(op_.prompted.size(), 1u);
    CAccessControlItem proposed;
    SplitMacText(u"AA:BB:CC:DD:EE:02", proposed);
    EXPECT_EQ(op_.prompted[0], proposed);
    EXPECT_EQ(op_.Texts(),
              (std::vector<std::u16string>{
                  u"(AA:BB:CC:DD:EE:02) Client not in the security list attempted to access "
                  u"Kestrom data.",
                  u"(AA:BB:CC:DD:EE:02) Client not in the Access Control List has NOT been added "
                  u"to the list."}));
    EXPECT_EQ(accessList_.Size(), 2u);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "KestromMAC.dat"));

    // Listed clients are never prompted for.
    EXPECT_EQ(Send(kDisabledIp, u"\x01HHW\x02\x03\x04").substr(0, 4), "\x01HMM");
    EXPECT_EQ(op_.prompted.size(), 1u);
}

TEST_F(AdmissionTest, AcceptedPromptAppendsTheEditedEntryAndSavesTheList) {
    Switches(1, 0, 1, 0);
    prompts_.SetEnabled(true);
    op_.promptAnswer = true;
    op_.promptEdit = [](const CAccessControlItem& e) {
        CAccessControlItem edited = e;
        edited.name = u"Judge";
        edited.enabled = 1;
        edited.allowFieldOrvo = 1;
        return edited;
    };
    // The message that raised the prompt is not processed, even though the client was added.
    EXPECT_EQ(Send(kUnknownIp, kPing), kRefusal);
    EXPECT_TRUE(
        Logged(u"(AA:BB:CC:DD:EE:02) Client not in the Access Control List has been added "
               u"to the list.",
               LogLevel::kPlain));
    std::vector<CAccessControlItem> list = accessList_.Snapshot();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[2].name, u"Judge");

    std::ifstream saved(dir_ / "KestromMAC.dat", std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(saved), {}};
    EXPECT_EQ(bytes, SerializeAccessList(list));

    // The next message meets the list as it now stands.
    EXPECT_EQ(Send(kUnknownIp, kPing).substr(0, 4), "\x01HMM");
}

TEST_F(AdmissionTest, FailedSaveAfterPromptKeepsTheEntryAndLogsTheStorageMessage) {
    Switches(1, 0, 0, 0);
    prompts_.SetEnabled(true);
    op_.promptAnswer = true;
    accessList_.SetStoragePath((dir_ / "missing-folder" / "KestromMAC.dat").u16string());
    EXPECT_EQ(Send(kUnknownIp, kPing), kRefusal);
    EXPECT_EQ(accessList_.Size(), 3u);
    EXPECT_TRUE(
        Logged(u"Kestrom was unable to open it's security storage file, KestromMAC.dat.  "
               u"Please verify the Kestrom security settings.",
               LogLevel::kError));
}

TEST_F(AdmissionTest, NoPromptWhileTheFrontEndHoldsPromptsBack) {
    Switches(1, 0, 0, 0);
    prompts_.SetEnabled(true);
    prompts_.HoldBack(u"Prompts wait.");
    EXPECT_EQ(Send(kUnknownIp, kPing), kRefusal);
    EXPECT_TRUE(op_.prompted.empty());
    EXPECT_TRUE(Logged(u"Prompts wait.", LogLevel::kPlain));

    // Released, the next unknown client is put to the operator again.
    prompts_.Release();
    EXPECT_EQ(Send(kUnknownIp, kPing), kRefusal);
    EXPECT_EQ(op_.prompted.size(), 1u);
}

// HY-WIRE and picture requests have no product switch: they are checked only when the
// all-requests switch is on, and then an enabled entry admits them.
TEST_F(AdmissionTest, AllRequestsSwitchGuardsHyWireAndImageKinds) {
    Switches(1, 1, 1, 1);
    const std::u16string hyWire = u"\x01HHW\x02\x03\x04";
    const std::u16string image =
        u"\x01IRQ\x02"
        u"1,1,1\x03\x04";
    // Off (the default): an unknown client is served both.
    EXPECT_EQ(Send(kUnknownIp, hyWire).substr(0, 4), "\x01HMM");
    EXPECT_NE(Send(kUnknownIp, image), kRefusal);

    settings_.Update([](CKestromSettings& s) { s.AllRequestsSecurityEnabled = true; });
    EXPECT_EQ(Send(kUnknownIp, hyWire), kRefusal);
    EXPECT_TRUE(
        Logged(u"(AA:BB:CC:DD:EE:02) Client not in the security list attempted HY-WIRE data "
               u"access.",
               LogLevel::kPlain));
    EXPECT_EQ(Send(kDisabledIp, image), kRefusal);
    EXPECT_TRUE(
        Logged(u"(AA:BB:CC:DD:EE:01) Client is disabled in the security list and attempted to "
               u"access image data.",
               LogLevel::kPlain));
    EXPECT_EQ(Send(kUnknownIp, image), kRefusal);
    EXPECT_EQ(Send(kDisabledIp, hyWire), kRefusal);
    // An enabled entry is enough, whatever products it allows; nothing is recorded for them.
    EXPECT_EQ(Send(kNamedIp, hyWire).substr(0, 4), "\x01HMM");
    EXPECT_NE(Send(kNamedIp, image), kRefusal);
    EXPECT_EQ(clients_.Count(CProduct::FieldOrvo), 0);
    // Loopback stays admitted, and with security off nothing is checked.
    EXPECT_EQ(Send(u"127.0.0.1", hyWire).substr(0, 4), "\x01HMM");
    Switches(0, 1, 1, 1);
    EXPECT_EQ(Send(kUnknownIp, hyWire).substr(0, 4), "\x01HMM");
}

}  // namespace
}  // namespace kestrom
