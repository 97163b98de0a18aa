#pragma once
// End-to-end harness: runs build/kestromd on a free loopback port with its own temporary
// config, runtime, event and results folders, and talks to it with the client library.
//
//     CDaemonHarness d;                          // started, listening, char mode 0
//     CDaemonHarness w({.charMode = 1});         // Unicode mode
//     WriteFile(d.EventDir() + "/orvo.evt", ...) // put meet files in place (any time)
//     auto reply = d.Request(BuildRequest(u"RFQ", u"1,1,1"));   // one request, one reply
//     ASSERT_TRUE(reply); EXPECT_EQ(reply->code, u"RRP");
//     auto c = d.Connect();                      // for several messages or raw bytes
//     c->SendBytes("\x01HF"); c->SendBytes("L\x02\x03\x04"); c->ReceiveReply();
//     EXPECT_NE(d.Stdout().find("FieldOrvo Ping"), std::string::npos);   // the event log
//     EXPECT_EQ(d.Stop(), 0);                    // SIGTERM; also done by the destructor
//
// Options.start = false leaves it stopped so that files (settings.reg, KestromMAC.dat) can be
// placed in ConfigDir() first; then call Start(). The temporary folders are removed by the
// destructor. Everything here is for tests only: failures come back as values.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/free_port.h"
#include "support/wait.h"
#include "tools/ClientConnection.h"

namespace kestrom::testing {

using client::CClientConnection;
using client::CReply;
using namespace std::chrono_literals;

using testing::FreeLoopbackPort;
// Writes bytes to a file (creating or replacing it); false on failure.
bool WriteFile(const std::string& path, std::string_view bytes);
// The whole file, or empty when it cannot be read.
std::string ReadFile(const std::string& path);
// The entries of a meet folder but its hidden folder of replaced versions.
std::vector<std::filesystem::path> MeetFolderEntries(const std::string& dir);

// The command that runs kestromd, from KESTROM_DAEMON_LAUNCHER (e.g. "wine", with KESTROM_DAEMON
// naming kestromd.exe, and KESTROM_CLIENT kestrom-client.exe); nullptr when the daemon runs
// by itself.
const char* DaemonLauncher();

class CDaemonHarness {
  public:
    struct Options {
        int charMode = 0;
        bool start = true;
        // Further command-line arguments, after the harness's own.
        std::vector<std::string> extraArgs;
        // Share another harness's runtime folder (second-instance tests); empty: its own.
        std::string runtimeDir;
        // Share another harness's config folder, which scopes the instance guard on Windows;
        // empty: its own.
        std::string configDir;
    };

    CDaemonHarness() : CDaemonHarness(Options{}) {}
    explicit CDaemonHarness(Options options);
    ~CDaemonHarness();
    CDaemonHarness(const CDaemonHarness&) = delete;
    CDaemonHarness& operator=(const CDaemonHarness&) = delete;

    // Starts kestromd with --config-dir, --port, --event-dir, --results-dir, --char-mode and
    // the extra arguments, and waits (up to 10 s) until it accepts connections. False when it
    // exited instead or never listened.
    bool Start();
    // Sends SIGTERM and waits; the exit status, or -1 when it had to be killed.
    int Stop();
    // Sends SIGKILL and waits for the end (crash tests); the folders stay for Start().
    void Kill();
    // Waits for the process to end on its own (e.g. a refused second instance).
    std::optional<int> WaitExit(std::chrono::milliseconds timeout = 10s);
    bool Running() const { return pid_ > 0; }

    int Port() const { return port_; }
    // The browser console's port (a free one; extraArgs may name another).
    int ConsolePort() const { return consolePort_; }
    WireMode Mode() const { return WireModeOf(options_.charMode); }
    const std::string& Root() const { return root_; }
    const std::string& ConfigDir() const { return configDir_; }
    const std::string& RuntimeDir() const { return runtimeDir_; }
    const std::string& EventDir() const { return eventDir_; }
    const std::string& ResultsDir() const { return resultsDir_; }
    // A path as kestromd names it in its log: a Windows build under Wine sees the Linux root
    // as drive Z: and writes backslashes.
    std::string AsDaemonNames(const std::string& path) const;

    // Standard output (the event log) and standard error so far.
    std::string Stdout() const;
    std::string Stderr() const;
    // Waits until the event log holds the text.
    bool WaitForLog(std::string_view text, std::chrono::milliseconds timeout = 5s) const;
    // The same, until the text stands in the log at least `times` times.
    bool WaitForLog(std::string_view text, int times, std::chrono::milliseconds timeout = 5s) const;

    // A new connection in the harness's character mode.
    std::unique_ptr<CClientConnection> Connect() const;
    // One request on a new connection, one reply back.
    std::optional<CReply> Request(std::u16string_view request,
                                  std::chrono::milliseconds timeout = 5s) const;

  private:
    Options options_;
    std::string root_, configDir_, runtimeDir_, eventDir_, resultsDir_;
    int port_ = 0;
    int consolePort_ = 0;
    pid_t pid_ = -1;
};

}  // namespace kestrom::testing
