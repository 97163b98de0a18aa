// Admission through the real daemon: clients appear as 127.0.0.x hosts by binding their end
// before connecting, and KESTROM_ARP_TABLE gives those hosts hardware addresses.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

#include "base/TextConvert.h"
#include "e2e/daemon_harness.h"
#include "security/AccessListFormat.h"
#include "security/MacLookup.h"
#include "server/Server.h"
#include "support/fakes.h"

namespace kestrom::testing {
namespace {

constexpr const char* kArpTable =
    "IP address       HW type     Flags       HW address            Mask     Device\n"
    "127.0.0.2        0x1         0x2         02:00:00:00:00:02     *        lo\n"
    "127.0.0.3        0x1         0x2         02:00:00:00:00:03     *        lo\n"
    "127.0.0.4        0x1         0x2         02:00:00:00:00:04     *        lo\n"
    "127.0.0.5        0x1         0x2         02:00:00:00:00:05     *        lo\n";

std::string SecuritySettings(int security, int wenlow, int fieldOrvo, int clerkOrvo) {
    auto flag = [](const char* name, int v) {
        return "\"" + std::string(name) + "\"=\"" + std::to_string(v) + "\"\n";
    };
    return "Windows Registry Editor Version 5.00\n\n"
           "[HKEY_CURRENT_USER\\SOFTWARE\\Corvane\\Kestrom\\3.23]\n\"LogEvents\"=\"1\"\n" +
           flag("SecurityEnabled", security) + flag("WenlowSecurityEnabled", wenlow) +
           flag("FieldOrvoSecurityEnabled", fieldOrvo) +
           flag("ClerkOrvoSecurityEnabled", clerkOrvo);
}

CAccessControlItem Entry(std::u16string_view mac, std::u16string name, int enabled) {
    CAccessControlItem item;
    SplitMacText(mac, item);
    item.name = std::move(name);
    item.enabled = enabled;
    item.allowWenlow = 1;
    item.allowClerkOrvo = 1;
    item.allowFieldOrvo = 1;
    return item;
}

// An upload without STX: the upload handler logs "(label)Receiving Results" and answers NSR
// without touching a file, which shows the label admission handed on.
const std::u16string kLabelProbe = u"\x01RFF,\x04";

class SecurityE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(WriteFile(daemon_.Root() + "/arp", kArpTable));
        ::setenv(kArpTableEnvironment, (daemon_.Root() + "/arp").c_str(), 1);
    }
    void TearDown() override { ::unsetenv(kArpTableEnvironment); }

    void StartWith(const std::string& settings) {
        ASSERT_TRUE(WriteFile(daemon_.ConfigDir() + "/settings.reg", settings));
        ASSERT_TRUE(WriteFile(daemon_.ConfigDir() + "/KestromMAC.dat",
                              SerializeAccessList({
                                  Entry(u"02:00:00:00:00:03", u"", 0),
                                  Entry(u"02:00:00:00:00:04", u"Pit", 1),
                                  Entry(u"02:00:00:00:00:05", u"", 1),
                              })));
        ASSERT_TRUE(daemon_.Start()) << daemon_.Stderr() << daemon_.Stdout();
    }

    std::unique_ptr<CClientConnection> From(const std::string& host) {
        return CClientConnection::Connect("127.0.0.1", daemon_.Port(), WireMode::kSingleByte, 5s,
                                          host);
    }

    std::optional<CReply> Ask(const std::string& host, std::u16string_view request) {
        auto c = From(host);
        if (!c || !c->SendText(request)) return std::nullopt;
        return c->ReceiveReply();
    }

    static CDaemonHarness::Options Stopped() {
        CDaemonHarness::Options options;
        options.start = false;  // settings and storage file go in first
        return options;
    }

    CDaemonHarness daemon_{Stopped()};
};

TEST_F(SecurityE2E, UnknownClientIsRefusedWithTheMessageOfItsProduct) {
    StartWith(SecuritySettings(1, 1, 1, 1));
    auto c = From("127.0.0.2");
    ASSERT_TRUE(c);
    struct Case {
        std::u16string_view code;
        const char* line;
    } cases[] = {
        {u"HFL",
         "(02:00:00:00:00:02) Client not in the security list attempted FieldOrvo data "
         "access."},
        {u"HAL",
         "(02:00:00:00:00:02) Client not in the security list attempted Wenlow data "
         "access."},
        {u"HCL",
         "(02:00:00:00:00:02) Client not in the security list attempted ClerkOrvo data "
         "access."},
    };
    // All on one connection: a refusal leaves it open.
    for (const Case& k : cases) {
        ASSERT_TRUE(c->SendText(BuildRequest(k.code)));
        auto reply = c->ReceiveReply();
        ASSERT_TRUE(reply) << ToUtf8(k.code);
        EXPECT_EQ(reply->bytes, "\x01TCC,PSZ=3\x02\x03\x04");
        EXPECT_TRUE(daemon_.WaitForLog(k.line)) << daemon_.Stdout();
    }
    // HY-WIRE requests are never checked.
    ASSERT_TRUE(c->SendText(BuildRequest(u"HHW")));
    auto reply = c->ReceiveReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, u"HMM");
    EXPECT_TRUE(daemon_.WaitForLog("Hy-Wire Ping"));
}

TEST_F(SecurityE2E, DisabledEntryIsRefusedAndProductsWithTheSwitchOffAreServed) {
    StartWith(SecuritySettings(1, 0, 1, 0));
    auto refused = Ask("127.0.0.3", BuildRequest(u"HFL"));
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->code, u"TCC");
    EXPECT_TRUE(
        daemon_.WaitForLog("(02:00:00:00:00:03) Client is disabled in the security list "
                           "and attempted to access FieldOrvo data."));
    auto wenlow = Ask("127.0.0.3", BuildRequest(u"HAL"));
    ASSERT_TRUE(wenlow);
    EXPECT_EQ(wenlow->code, u"HMM");
    auto unknownWenlow = Ask("127.0.0.2", BuildRequest(u"HAL"));
    ASSERT_TRUE(unknownWenlow);
    EXPECT_EQ(unknownWenlow->code, u"HMM");
}

TEST_F(SecurityE2E, LabelIsTheEntryNameOrTheMacText) {
    StartWith(SecuritySettings(1, 1, 1, 1));
    auto named = Ask("127.0.0.4", kLabelProbe);
    ASSERT_TRUE(named);
    EXPECT_EQ(named->code, u"NSR");
    EXPECT_TRUE(daemon_.WaitForLog("(Pit)Receiving Results")) << daemon_.Stdout();
    auto unnamed = Ask("127.0.0.5", kLabelProbe);
    ASSERT_TRUE(unnamed);
    EXPECT_EQ(unnamed->code, u"NSR");
    EXPECT_TRUE(daemon_.WaitForLog("(02:00:00:00:00:05)Receiving Results")) << daemon_.Stdout();
}

TEST_F(SecurityE2E, LoopbackIsNoticedForEveryMessageAndServed) {
    StartWith(SecuritySettings(1, 1, 1, 1));
    auto c = From("127.0.0.1");
    ASSERT_TRUE(c);
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(c->SendText(BuildRequest(u"HFL")));
        auto reply = c->ReceiveReply();
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->code, u"HMM");
    }
    const std::string notice =
        "Kestrom security will not work in loopback (IP Address = 127.0.0.1) mode";
    // Log lines are written a moment after the replies.
    EXPECT_TRUE(daemon_.WaitForLog(notice, 2)) << daemon_.Stdout();
    EXPECT_TRUE(daemon_.WaitForLog("Unable to retrieve MAC Address for device at 127.0.0.1", 2))
        << daemon_.Stdout();
}

TEST_F(SecurityE2E, SecurityOffServesEveryoneUnderTheirAddress) {
    StartWith(SecuritySettings(0, 1, 1, 1));
    auto reply = Ask("127.0.0.2", kLabelProbe);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, u"NSR");
    EXPECT_TRUE(daemon_.WaitForLog("(127.0.0.2)Receiving Results")) << daemon_.Stdout();
}

TEST_F(SecurityE2E, StartUpReportsStorageFileFailuresOnStandardErrorAndGoesOn) {
    ASSERT_TRUE(WriteFile(daemon_.ConfigDir() + "/KestromMAC.dat", std::string(1, '\x07')));
    ASSERT_TRUE(daemon_.Start()) << daemon_.Stderr();
    EXPECT_NE(daemon_.Stderr().find("Kestrom was unable to open or process it's security storage "
                                    "file, KestromMAC.dat.  Please verify the Kestrom security "
                                    "settings."),
              std::string::npos)
        << daemon_.Stderr();
    auto reply = Ask("127.0.0.2", BuildRequest(u"HFL"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, u"HMM");
    daemon_.Stop();

    // A storage file that cannot be opened at all (here: a folder in its place).
    std::remove((daemon_.ConfigDir() + "/KestromMAC.dat").c_str());
    ASSERT_EQ(::mkdir((daemon_.ConfigDir() + "/KestromMAC.dat").c_str(), 0700), 0);
    ASSERT_TRUE(daemon_.Start()) << daemon_.Stderr();
    EXPECT_NE(daemon_.Stderr().find("Kestrom was unable to open it's security storage file, "
                                    "KestromMAC.dat.  Please verify the Kestrom security "
                                    "settings."),
              std::string::npos)
        << daemon_.Stderr();
}

// The client address lists are not visible through the daemon, so this one runs the server
// object in-process and watches its lists and grid refreshes while clients connect at once.
TEST(SecurityInProcessE2E, AnAddressIsRecordedOnceUnderConcurrentConnections) {
    std::string dir = ::testing::TempDir() + "kestrom-record-" + std::to_string(::getpid());
    ASSERT_TRUE(WriteFile(dir + "-arp", kArpTable));
    ::setenv(kArpTableEnvironment, (dir + "-arp").c_str(), 1);

    testing::CRecordingOperator op;
    CKestromServer server(op);
    server.Settings().Update([](CKestromSettings& s) {
        s.PortNumber = 0;
        s.FieldOrvoSecurityEnabled = true;
    });
    ASSERT_TRUE(server.StartListening());
    const int port = server.ListeningPort();

    std::vector<std::thread> clients;
    std::atomic<int> served{0};
    for (int i = 0; i < 8; ++i) {
        clients.emplace_back([&, i] {
            std::string host = i % 2 ? "127.0.0.2" : "127.0.0.3";
            auto c = CClientConnection::Connect("127.0.0.1", port, WireMode::kSingleByte, 5s, host);
            for (int k = 0; c && k < 5; ++k) {
                if (!c->SendText(BuildRequest(u"HFL"))) return;
                if (auto reply = c->ReceiveReply(); reply && reply->code == u"HMM") ++served;
            }
        });
    }
    for (auto& t : clients) t.join();
    server.StopListening();
    ::unsetenv(kArpTableEnvironment);
    std::remove((dir + "-arp").c_str());

    EXPECT_EQ(served.load(), 40);
    auto addresses = server.ClientAddresses().Addresses(CProduct::FieldOrvo);
    std::sort(addresses.begin(), addresses.end());
    EXPECT_EQ(addresses, (std::vector<std::u16string>{u"127.0.0.2", u"127.0.0.3"}));
    EXPECT_EQ(server.ClientAddresses().Count(CProduct::Wenlow), 0);
    std::lock_guard lock(op.mutex);
    EXPECT_EQ(op.gridRefreshes, 2);
}

}  // namespace
}  // namespace kestrom::testing
