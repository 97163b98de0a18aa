// What one device, or devices that vanish or stop reading, can no longer take from the
// daemon: connections, a reply's thread and memory.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "daemon_harness.h"

namespace kestrom::testing {
namespace {

CDaemonHarness::Options Stopped() {
    CDaemonHarness::Options options;
    options.start = false;
    return options;
}

std::string SettingsWith(const std::string& values) {
    return "Windows Registry Editor Version 5.00\n\n"
           "[HKEY_CURRENT_USER\\SOFTWARE\\Corvane\\Kestrom\\3.23]\n\"LogEvents\"=\"1\"\n" +
           values;
}

TEST(DaemonLimits, AtTheConnectionCapANewDeviceIsStillAnsweredAndTheIdlestGoes) {
    CDaemonHarness::Options options;
    options.extraArgs = {"--max-connections", "20"};
    CDaemonHarness d(options);
    ASSERT_TRUE(d.Running());
    std::vector<std::unique_ptr<CClientConnection>> idle;
    for (int i = 0; i < 30; ++i) {
        auto c = d.Connect();
        ASSERT_TRUE(c) << i;
        idle.push_back(std::move(c));
    }
    const auto reply = d.Request(BuildRequest(u"HAL"), 20s);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, u"HMM");
    EXPECT_TRUE(d.WaitForLog("CONNECTION LIMIT OF 20 connections REACHED", 20s));
    // The first ones were idle longest and made room.
    EXPECT_TRUE(idle.front()->PeerClosed(20s));
    // The last one is among the twenty served and still answers.
    ASSERT_TRUE(idle.back()->SendText(BuildRequest(u"HHW")));
    EXPECT_TRUE(idle.back()->ReceiveReply(20s));
}

TEST(DaemonLimits, AClientThatStopsReadingAPictureIsClosedAfterTheSendTimeout) {
    CDaemonHarness d(Stopped());
    ASSERT_TRUE(
        WriteFile(d.ConfigDir() + "/settings.reg", SettingsWith("\"SendTimeoutSeconds\"=\"2\"\n")));
    // Larger than what the two ends' socket buffers can take on loopback.
    std::string picture(48 * 1024 * 1024, '\0');
    for (size_t i = 0; i < picture.size(); i += 4096) picture[i] = static_cast<char>(i >> 12);
    ASSERT_TRUE(WriteFile(d.ResultsDir() + "/001-1-01.jpg", picture));
    ASSERT_TRUE(d.Start());
    auto reader = d.Connect();
    ASSERT_TRUE(reader->SendText(BuildRequest(u"IRQ", u"1,1,1,00000001011990")));
    ASSERT_TRUE(d.WaitForLog("SEND TIMED OUT AFTER 2 s WITHOUT PROGRESS, CONNECTION CLOSED", 60s));
    // Others were served all along.
    const auto reply = d.Request(BuildRequest(u"HAL"), 20s);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, u"HMM");
}

TEST(DaemonLimits, AnUnfinishedUploadThatStallsIsDroppedAndTheDeviceIsServedAfter) {
    CDaemonHarness d(Stopped());
    ASSERT_TRUE(WriteFile(d.ConfigDir() + "/settings.reg",
                          SettingsWith("\"MessageStallSeconds\"=\"1\"\n")));
    ASSERT_TRUE(d.Start());
    auto c = d.Connect();
    ASSERT_TRUE(c->SendBytes("\x01RFF\x02" + std::string(1024 * 1024, 'x')));
    ASSERT_TRUE(d.WaitForLog("BYTES DISCARDED AFTER 1 s WITHOUT PROGRESS", 20s));
    ASSERT_TRUE(c->SendText(BuildRequest(u"HAL")));
    const auto reply = c->ReceiveReply(20s);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, u"HMM");
}

}  // namespace
}  // namespace kestrom::testing
