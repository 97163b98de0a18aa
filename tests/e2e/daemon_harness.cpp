#include "e2e/daemon_harness.h"

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "protocol/FileHistory.h"

#ifndef KESTROMD_PATH
#error KESTROMD_PATH must name the kestromd program
#endif

namespace kestrom::testing {

namespace fs = std::filesystem;

bool WriteFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

const char* DaemonLauncher() {
    const char* launcher = std::getenv("KESTROM_DAEMON_LAUNCHER");
    return launcher && *launcher ? launcher : nullptr;
}

CDaemonHarness::CDaemonHarness(Options options) : options_(std::move(options)) {
    std::string pattern = (fs::temp_directory_path() / "kestrom-e2e-XXXXXX").string();
    if (::mkdtemp(pattern.data())) root_ = pattern;
    configDir_ = options_.configDir.empty() ? root_ + "/config" : options_.configDir;
    runtimeDir_ = options_.runtimeDir.empty() ? root_ + "/run" : options_.runtimeDir;
    eventDir_ = root_ + "/event";
    resultsDir_ = root_ + "/results";
    std::error_code ec;
    for (const auto& dir : {configDir_, runtimeDir_, eventDir_, resultsDir_})
        fs::create_directories(dir, ec);
    fs::permissions(runtimeDir_, fs::perms::owner_all, ec);
    if (options_.start) Start();
}

std::vector<std::filesystem::path> MeetFolderEntries(const std::string& dir) {
    std::vector<std::filesystem::path> entries;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().filename().u16string() != kHistoryFolderName) entries.push_back(it->path());
    return entries;
}

CDaemonHarness::~CDaemonHarness() {
    if (Running()) Stop();
    std::error_code ec;
    if (!root_.empty()) fs::remove_all(root_, ec);
}

std::string CDaemonHarness::AsDaemonNames(const std::string& path) const {
    if (!DaemonLauncher()) return path;
    std::string named = "Z:" + path;
    std::replace(named.begin(), named.end(), '/', '\\');
    return named;
}

bool CDaemonHarness::Start() {
    if (Running()) return true;
    port_ = testing::FreeLoopbackPort();
    consolePort_ = testing::FreeLoopbackPort();
    // A Windows build runs under its launcher (wine) and is given Wine's name for each
    // folder: drive Z: is the Linux root.
    const char* launcher = DaemonLauncher();
    const char* daemon = std::getenv("KESTROM_DAEMON");
    const std::string drive = launcher ? "Z:" : "";
    std::vector<std::string> args = {daemon && *daemon ? daemon : KESTROMD_PATH,
                                     "--config-dir",
                                     drive + configDir_,
                                     "--port",
                                     std::to_string(port_),
                                     "--event-dir",
                                     drive + eventDir_,
                                     "--results-dir",
                                     drive + resultsDir_,
                                     "--char-mode",
                                     std::to_string(options_.charMode),
                                     "--console-port",
                                     std::to_string(consolePort_)};
    if (launcher) args.insert(args.begin(), launcher);
    args.insert(args.end(), options_.extraArgs.begin(), options_.extraArgs.end());
    const std::string out = root_ + "/stdout.log";
    const std::string err = root_ + "/stderr.log";

    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        if (!std::freopen(out.c_str(), "a", stdout) || !std::freopen(err.c_str(), "a", stderr))
            ::_exit(127);
        ::setenv("XDG_RUNTIME_DIR", runtimeDir_.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root_ + "/xdg").c_str(), 1);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    pid_ = pid;
    bool exited = false;
    const bool up = testing::WaitUntil(
        [&] {
            exited = exited || WaitExit(0ms).has_value();
            return exited || CClientConnection::Connect("127.0.0.1", port_, Mode(), 100ms);
        },
        10s);
    return up && !exited;
}

std::optional<int> CDaemonHarness::WaitExit(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) return std::nullopt;
    std::optional<int> exit;
    bool gone = false;  // waitpid failed: nothing left to wait for
    testing::WaitUntil(
        [&] {
            int status = 0;
            const pid_t done = ::waitpid(pid_, &status, WNOHANG);
            gone = done < 0;
            if (done == pid_)
                exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return exit || gone;
        },
        timeout, 5ms);
    if (exit) pid_ = -1;
    return exit;
}

int CDaemonHarness::Stop() {
    if (pid_ <= 0) return -1;
    // Wine delivers SIGINT to the console control handler as CTRL_C_EVENT; its SIGTERM ends
    // the process without running the handler.
    ::kill(pid_, DaemonLauncher() ? SIGINT : SIGTERM);
    if (const auto status = WaitExit(10s)) return *status;
    ::kill(pid_, SIGKILL);
    WaitExit(10s);
    return -1;
}

void CDaemonHarness::Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    WaitExit(10s);
}

namespace {
// Windows' C runtime writes standard output and error in text mode: its lines end in CR LF.
std::string OutputLines(std::string text) {
    if (DaemonLauncher()) std::erase(text, '\r');
    return text;
}
}  // namespace

std::string CDaemonHarness::Stdout() const {
    return OutputLines(ReadFile(root_ + "/stdout.log"));
}
std::string CDaemonHarness::Stderr() const {
    return OutputLines(ReadFile(root_ + "/stderr.log"));
}

bool CDaemonHarness::WaitForLog(std::string_view text, std::chrono::milliseconds timeout) const {
    return WaitForLog(text, 1, timeout);
}

bool CDaemonHarness::WaitForLog(std::string_view text, int times,
                                std::chrono::milliseconds timeout) const {
    auto count = [&] {
        const std::string log = Stdout();
        int n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
        return n;
    };
    return testing::WaitUntil([&] { return count() >= times; }, timeout);
}

std::unique_ptr<CClientConnection> CDaemonHarness::Connect() const {
    return CClientConnection::Connect("127.0.0.1", port_, Mode());
}

std::optional<CReply> CDaemonHarness::Request(std::u16string_view request,
                                              std::chrono::milliseconds timeout) const {
    return client::RequestOnce("127.0.0.1", port_, Mode(), request, timeout);
}

}  // namespace kestrom::testing
