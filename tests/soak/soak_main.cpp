// Soak test of kestromd: many connections for a long time, every request kind including
// uploads and start lists, then checks that nothing failed and that the server's memory,
// threads and open files did not grow.
//
//     kestrom-soak [--seconds N] [--connections N]        defaults: 600 s, 200 connections
//
// A warm-up phase (a tenth of the time, at least 10 s) runs the full mix and closes every
// connection; the server's figures with no client connected are the baseline. After the main
// phase, with every connection closed again, threads and open files must be back at the
// baseline exactly and the resident memory within 8 MiB + 10 % of it. Exit 0 when all holds.
// An upload or start list refused because a reader had its file open at that moment (the
// sharing rules) is sent again, up to three times, as a device would; those are counted.
#include <dirent.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/TextConvert.h"
#include "e2e/daemon_harness.h"
#include "wire/Records.h"
#include "wire/RequestGrammar.h"

namespace kestrom::testing {
namespace {

using namespace std::chrono;

constexpr std::string_view kEventFile =
    "1,1,1,\"100 Metres\",T,1000\r\n,101,1,\"Ann\",\"Lee\",\"Club\"\r\n"
    "7,1,1,\"Long Jump\",LJ,1100\r\n,201,1,\"Cy\",\"Fox\",\"Club\"\r\n"
    "9,1,1,\"High Jump\",HJ,1200\r\n,301,1,\"Di\",\"Ng\",\"Club\"\r\n";
constexpr std::string_view kHyWireFile = "1,1,1,\"100 Metres\"\r\n";
constexpr std::string_view kPeopleFile =
    "101,\"Lee\",\"Ann\",\"Club\",F,20,7\r\n201,\"Fox\",\"Cy\",\"Club\",M,21,7\r\n";
constexpr std::string_view kResults = "1,1,1,\"100 Metres\"\r\n1,101,\"Lee\",10.50\r\n";
constexpr std::u16string_view kOldStamp = u"10000001012000";
constexpr std::u16string_view kFutureStamp = u"10000001012090";
constexpr size_t kPictureBytes = 1000;  // the PSZ of the picture reply

struct CProcessFigures {
    long rssKiB = 0;
    int threads = 0;
    int openFiles = 0;
};

CProcessFigures Figures(pid_t pid) {
    CProcessFigures f;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) f.rssKiB = std::atol(line.c_str() + 6);
        if (line.rfind("Threads:", 0) == 0) f.threads = std::atoi(line.c_str() + 8);
    }
    if (DIR* dir = ::opendir(("/proc/" + std::to_string(pid) + "/fd").c_str())) {
        while (dirent* e = ::readdir(dir))
            if (e->d_name[0] != '.') ++f.openFiles;
        ::closedir(dir);
    }
    return f;
}

// The daemon's process: the kestromd whose command line holds our port.
pid_t FindDaemon(int port) {
    const std::string portArg = std::to_string(port);
    DIR* proc = ::opendir("/proc");
    if (!proc) return -1;
    pid_t found = -1;
    while (dirent* e = ::readdir(proc)) {
        const pid_t pid = std::atoi(e->d_name);
        if (pid <= 0) continue;
        std::ifstream in("/proc/" + std::string(e->d_name) + "/cmdline", std::ios::binary);
        std::string cmd((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<std::string> args;
        std::stringstream parts(cmd);
        for (std::string a; std::getline(parts, a, '\0');) args.push_back(a);
        if (args.empty() || args[0].find("kestromd") == std::string::npos) continue;
        for (size_t i = 0; i + 1 < args.size(); ++i)
            if (args[i] == "--port" && args[i + 1] == portArg) found = pid;
    }
    ::closedir(proc);
    return found;
}

struct CCounters {
    std::atomic<long> requests{0};
    std::atomic<long> errors{0};
    std::atomic<long> connects{0};
    std::atomic<long> retries{0};
    std::mutex mutex;
    std::vector<std::string> firstErrors;

    void Error(const std::string& what) {
        ++errors;
        std::lock_guard lock(mutex);
        if (firstErrors.size() < 20) firstErrors.push_back(what);
    }
};

struct CRequest {
    std::u16string message;
    std::u16string expected;  // reply code; "RFI" is the raw picture reply
};

// The mix for one connection: every request kind, uploads and start lists on keys of its
// own so that no two connections replace the same file at once.
std::vector<CRequest> Mix(int index) {
    const std::u16string e = U16(std::to_string(100 + index));
    const std::u16string resultsText = e + u",1,1,\"Shot\"\r1,101,\"Lee\",12.50\r";
    const std::u16string stampedText =
        std::u16string(kFutureStamp) + u"," + e + u",1,2,\"Shot\"\r1,101,\"Lee\",12.75\r";
    const std::u16string startList =
        U16(std::to_string(1000 + index)) + u",1,1,\"Discus\",DT,1300\r\n,201,1,\"Cy\",\"Fox\"\r\n";
    return {
        {BuildRequest(u"HFL"), u"HMM"},
        {BuildRequest(u"HCL"), u"HMM"},
        {BuildRequest(u"HAL"), u"HMM"},
        {BuildRequest(u"HHW"), u"HMM"},
        {BuildRequest(u"SRQ", Scramble(u"0,0,0,+")), u"SRP"},
        {BuildRequest(u"RFQ", u"1,1,1"), u"RRP"},
        {BuildUploadMessage(u"RFF", Scramble(resultsText), false), u"ROK"},
        {BuildUploadMessage(u"RFT", Scramble(stampedText), false), u"ROK"},
        {BuildRequest(u"EDQ", kOldStamp), u"EDP"},
        {BuildRequest(u"HRQ", kOldStamp), u"HRP"},
        {BuildRequest(u"ECQ", kOldStamp), u"ERP"},
        {BuildRequest(u"PRQ", std::u16string(kOldStamp) + u",7"), u"PRP"},
        {BuildRequest(u"SLS", startList), u"ROK"},
        {BuildRequest(u"DRQ", u"0,"), u"DRP"},
        {BuildRequest(u"RRQ", u"1,1,1"), u"RRP"},
        {BuildRequest(u"ERQ", kOldStamp), u"ERP"},
        {BuildRequest(u"IRQ", u"1,1,1," + std::u16string(kOldStamp)), u"RFI"},
        {BuildRequest(u"DHQ", u"0,"), u"DRP"},
        {BuildRequest(u"EHQ", kOldStamp), u"ERP"},
        {BuildRequest(u"RHQ", u"1,1,1"), u"RRP"},
    };
}

bool Serve(CClientConnection& c, const CRequest& r, CCounters& counters) {
    ++counters.requests;
    if (!c.SendText(r.message)) {
        counters.Error("send failed");
        return false;
    }
    if (r.expected == u"RFI") {
        const std::string header = "\x01RFI,PSZ=1000\x02";
        // The picture follows the file's date stamp and a comma.
        auto bytes = c.ReceiveBytes(header.size() + 15 + kPictureBytes, 30s);
        if (!bytes || bytes->compare(0, header.size(), header) != 0) {
            counters.Error("picture reply: " + (bytes ? bytes->substr(0, 20) : c.LastBytes()));
            return false;
        }
        return true;
    }
    // A replacement refused because a reader has the file open at that moment (the sharing
    // rules) gets its failure reply; a device sends it again, and so does the soak, counting it.
    const bool upload = r.expected == u"ROK";
    for (int attempt = 0;; ++attempt) {
        auto reply = c.ReceiveReply(30s);
        if (!reply) {
            counters.Error("no reply to " + ToUtf8(r.message.substr(1, 3)));
            return false;
        }
        if (reply->code == r.expected) return true;
        const bool refused = reply->code == u"NLS" || reply->code == u"NSR";
        if (upload && refused && attempt < 3) {
            ++counters.retries;
            std::this_thread::sleep_for(20ms);
            ++counters.requests;
            if (!c.SendText(r.message)) {
                counters.Error("send failed");
                return false;
            }
            continue;
        }
        counters.Error("reply " + ToUtf8(reply->code) + " to " + ToUtf8(r.message.substr(1, 3)));
        return reply->code.size() == 3;
    }
}

// One client: the mix in a rotating order, reconnecting every 25 requests so connection
// threads come and go all the time.
void Client(const CDaemonHarness& d, int index, steady_clock::time_point end, CCounters& counters) {
    const std::vector<CRequest> mix = Mix(index);
    size_t next = static_cast<size_t>(index);
    while (steady_clock::now() < end) {
        auto c = d.Connect();
        ++counters.connects;
        if (!c) {
            counters.Error("connect failed");
            std::this_thread::sleep_for(100ms);
            continue;
        }
        for (int n = 0; n < 25 && steady_clock::now() < end; ++n)
            if (!Serve(*c, mix[next++ % mix.size()], counters)) break;
    }
}

void RunPhase(const CDaemonHarness& d, int connections, seconds length, CCounters& counters) {
    const auto end = steady_clock::now() + length;
    std::vector<std::thread> clients;
    for (int i = 0; i < connections; ++i)
        clients.emplace_back(Client, std::cref(d), i, end, std::ref(counters));
    for (auto& t : clients) t.join();
}

// Figures once every connection thread of the server has ended and the count of open
// files has stayed the same for a second (closing sockets take a moment to go).
CProcessFigures Settled(pid_t pid, int baseThreads) {
    CProcessFigures f = Figures(pid);
    int steady = 0;
    for (int i = 0; i < 300 && (f.threads > baseThreads || steady < 10); ++i) {
        std::this_thread::sleep_for(100ms);
        const CProcessFigures g = Figures(pid);
        steady = g.openFiles == f.openFiles && g.threads == f.threads ? steady + 1 : 0;
        f = g;
    }
    return f;
}

void Print(const char* label, const CProcessFigures& f) {
    std::printf("%-10s VmRSS %ld KiB, threads %d, open files %d\n", label, f.rssKiB, f.threads,
                f.openFiles);
}

}  // namespace
}  // namespace kestrom::testing

int main(int argc, char** argv) {
    using namespace kestrom;
    using namespace kestrom::testing;
    long total = 600;
    int connections = 200;
    static constexpr char kUsage[] =
        "usage: kestrom-soak [--seconds N] [--connections N]\n"
        "  Runs every request kind against a kestromd of its own for N seconds (default 600,\n"
        "  at least 20) over N connections (default 200), then checks that nothing failed\n"
        "  and that memory, threads and open files came back to what they were.\n"
        "  --help              show this text and exit\n";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if ((a == "--seconds" || a == "--connections") && i + 1 < argc) {
            char* end = nullptr;
            const long value = std::strtol(argv[++i], &end, 10);
            if (*argv[i] == '\0' || *end != '\0') {
                std::fprintf(stderr, "kestrom-soak: %s needs a number\n%s", a.c_str(), kUsage);
                return 2;
            }
            if (a == "--seconds")
                total = value;
            else
                connections = static_cast<int>(std::min(value, 100000L));
            continue;
        }
        std::fprintf(stderr, "kestrom-soak: unknown or incomplete option %s\n%s", a.c_str(),
                     kUsage);
        return 2;
    }
    if (total < 20 || connections < 1) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    CDaemonHarness::Options options;
    options.start = false;
    CDaemonHarness d(options);
    testing::WriteFile(d.EventDir() + "/orvo.evt", kEventFile);
    testing::WriteFile(d.EventDir() + "/hywire.evt", kHyWireFile);
    testing::WriteFile(d.EventDir() + "/orvo.ppl", kPeopleFile);
    testing::WriteFile(d.ResultsDir() + "/001-1-01.qff", kResults);
    testing::WriteFile(d.ResultsDir() + "/0001-1-01.hyf", kResults);
    testing::WriteFile(d.ResultsDir() + "/001-1-01.jpg", std::string(kPictureBytes, '\x7f'));
    if (!d.Start()) {
        std::fprintf(stderr, "kestromd did not start:\n%s\n", d.Stderr().c_str());
        return 1;
    }
    const pid_t pid = FindDaemon(d.Port());
    if (pid <= 0) {
        std::fprintf(stderr, "cannot find the kestromd process\n");
        return 1;
    }
    const CProcessFigures idle = Figures(pid);
    Print("start", idle);

    const long warmup = std::max(10L, total / 10);
    CCounters counters;
    RunPhase(d, connections, std::chrono::seconds(warmup), counters);
    const CProcessFigures base = Settled(pid, idle.threads);
    Print("warmed up", base);

    const long warmRequests = counters.requests.load();
    const auto started = std::chrono::steady_clock::now();
    std::atomic<bool> done{false};
    CProcessFigures peak;
    std::thread sampler([&] {
        while (!done) {
            const CProcessFigures f = Figures(pid);
            peak.rssKiB = std::max(peak.rssKiB, f.rssKiB);
            peak.threads = std::max(peak.threads, f.threads);
            peak.openFiles = std::max(peak.openFiles, f.openFiles);
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
    });
    RunPhase(d, connections, std::chrono::seconds(total - warmup), counters);
    done = true;
    sampler.join();
    const double secs =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const CProcessFigures end = Settled(pid, idle.threads);
    Print("peak", peak);
    Print("end", end);

    const long requests = counters.requests.load();
    std::printf(
        "requests %ld (main phase %ld in %.0f s, %.0f/s), connections %ld, uploads sent again "
        "after a sharing refusal %ld, errors %ld\n",
        requests, requests - warmRequests, secs, (requests - warmRequests) / secs,
        counters.connects.load(), counters.retries.load(), counters.errors.load());
    for (const auto& e : counters.firstErrors) std::printf("  error: %s\n", e.c_str());
    if (counters.errors > 0) {
        // The server's own account of the first failures.
        std::istringstream log(d.Stdout());
        int shown = 0;
        for (std::string line; std::getline(log, line) && shown < 20;) {
            if (line.find("ERROR") == std::string::npos && line.find("CAUSE") == std::string::npos)
                continue;
            std::printf("  log: %s\n", line.c_str());
            ++shown;
        }
    }

    bool ok = counters.errors == 0 && requests > 0;
    if (end.threads != base.threads || end.openFiles != base.openFiles) {
        std::printf("FAIL: threads or open files grew\n");
        ok = false;
    }
    if (end.rssKiB > base.rssKiB + 8 * 1024 + base.rssKiB / 10) {
        std::printf("FAIL: memory grew\n");
        ok = false;
    }
    const int status = d.Stop();
    if (status != 0) {
        std::printf("FAIL: kestromd exit status %d\n", status);
        ok = false;
    }
    std::printf("%s\n", ok ? "soak passed" : "soak FAILED");
    return ok ? 0 : 1;
}
