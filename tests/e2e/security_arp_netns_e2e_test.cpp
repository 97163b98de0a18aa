// Admission against the kernel's real ARP table: kestromd runs in one network namespace, the
// client in another, joined by a veth pair whose ends have fixed hardware addresses. Needs
// root and iproute2; where the namespaces cannot be made the test is skipped and says why.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "e2e/daemon_harness.h"
#include "security/AccessListFormat.h"
#include "security/MacLookup.h"

namespace kestrom::testing {
namespace {

constexpr const char* kServerAddress = "10.201.7.1";
constexpr const char* kClientMac = "02:4b:53:00:00:02";

// Two namespaces and the veth pair between them, removed again on destruction.
class CNamespacePair {
  public:
    CNamespacePair()
        : server_("kestrom-srv-" + std::to_string(::getpid())),
          client_("kestrom-cli-" + std::to_string(::getpid())) {
        const std::string serverEnd = "ksv" + std::to_string(::getpid());
        const std::string clientEnd = "kcl" + std::to_string(::getpid());
        const std::string steps[] = {
            "ip netns add " + server_,
            "ip netns add " + client_,
            "ip link add " + serverEnd + " type veth peer name " + clientEnd,
            "ip link set " + serverEnd + " netns " + server_,
            "ip link set " + clientEnd + " netns " + client_,
            "ip -n " + server_ + " link set " + serverEnd + " address 02:4b:53:00:00:01",
            "ip -n " + client_ + " link set " + clientEnd + " address " + kClientMac,
            "ip -n " + server_ + " addr add " + kServerAddress + "/24 dev " + serverEnd,
            "ip -n " + client_ + " addr add 10.201.7.2/24 dev " + clientEnd,
            "ip -n " + server_ + " link set lo up",
            "ip -n " + client_ + " link set lo up",
            "ip -n " + server_ + " link set " + serverEnd + " up",
            "ip -n " + client_ + " link set " + clientEnd + " up",
        };
        for (const std::string& step : steps) {
            if (std::system((step + " >/dev/null 2>&1").c_str()) != 0) {
                failure_ = step;
                return;
            }
        }
    }
    ~CNamespacePair() {
        std::system(("ip netns del " + server_ + " >/dev/null 2>&1").c_str());
        std::system(("ip netns del " + client_ + " >/dev/null 2>&1").c_str());
    }

    // The step that failed, when the pair could not be made.
    const std::optional<std::string>& Failure() const { return failure_; }

    // Runs work on a thread of its own that has entered the namespace; false when it could
    // not enter. Processes forked there and sockets made there belong to the namespace.
    static bool RunInside(const std::string& name, const std::function<void()>& work) {
        bool entered = false;
        std::thread([&] {
            int fd = ::open(("/var/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
            entered = fd >= 0 && ::setns(fd, CLONE_NEWNET) == 0;
            if (fd >= 0) ::close(fd);
            if (entered) work();
        }).join();
        return entered;
    }

    const std::string& Server() const { return server_; }
    const std::string& Client() const { return client_; }

  private:
    std::string server_, client_;
    std::optional<std::string> failure_;
};

TEST(SecurityRealArp, AdmissionFindsTheClientsMacTextAndDecidesByIt) {
    if (DaemonLauncher())
        GTEST_SKIP() << "needs Linux network namespaces around kestromd; it runs under "
                     << DaemonLauncher();
    if (::geteuid() != 0) GTEST_SKIP() << "network namespaces need root; not run";
    CNamespacePair pair;
    if (pair.Failure())
        GTEST_SKIP() << "cannot make network namespaces: '" << *pair.Failure()
                     << "' failed; not run";
    ::unsetenv(kArpTableEnvironment);  // the kernel's own table

    CDaemonHarness::Options options;
    options.start = false;
    CDaemonHarness daemon(options);
    ASSERT_TRUE(WriteFile(daemon.ConfigDir() + "/settings.reg",
                          "Windows Registry Editor Version 5.00\n\n"
                          "[HKEY_CURRENT_USER\\SOFTWARE\\Corvane\\Kestrom\\3.23]\n"
                          "\"LogEvents\"=\"1\"\n\"SecurityEnabled\"=\"1\"\n"
                          "\"WenlowSecurityEnabled\"=\"1\"\n\"FieldOrvoSecurityEnabled\"=\"1\"\n"
                          "\"ClerkOrvoSecurityEnabled\"=\"1\"\n"));
    CAccessControlItem entry;  // FieldOrvo allowed, Wenlow not
    SplitMacText(u"02:4B:53:00:00:02", entry);
    entry.name = u"Veth client";
    entry.enabled = 1;
    entry.allowFieldOrvo = 1;
    ASSERT_TRUE(WriteFile(daemon.ConfigDir() + "/KestromMAC.dat", SerializeAccessList({entry})));

    bool started = false;
    ASSERT_TRUE(CNamespacePair::RunInside(pair.Server(), [&] { started = daemon.Start(); }));
    ASSERT_TRUE(started) << daemon.Stderr();

    std::optional<CReply> fieldOrvo, wenlow;
    ASSERT_TRUE(CNamespacePair::RunInside(pair.Client(), [&] {
        auto c =
            CClientConnection::Connect(kServerAddress, daemon.Port(), WireMode::kSingleByte, 5s);
        if (!c) return;
        if (c->SendText(BuildRequest(u"HFL"))) fieldOrvo = c->ReceiveReply();
        if (c->SendText(BuildRequest(u"HAL"))) wenlow = c->ReceiveReply();
    }));
    ASSERT_TRUE(fieldOrvo) << daemon.Stdout();
    EXPECT_EQ(fieldOrvo->code, u"HMM");
    ASSERT_TRUE(wenlow) << daemon.Stdout();
    EXPECT_EQ(wenlow->code, u"TCC");
    EXPECT_TRUE(
        daemon.WaitForLog("(Veth client) Client is disabled in the security list and "
                          "attempted to access Wenlow data."))
        << daemon.Stdout();
    EXPECT_EQ(daemon.Stdout().find("Unable to retrieve MAC Address"), std::string::npos)
        << daemon.Stdout();
}

}  // namespace
}  // namespace kestrom::testing
