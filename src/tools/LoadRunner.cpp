#include "tools/LoadRunner.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <iomanip>
#include <memory>
#include <ostream>
#include <sstream>
#include <thread>

#include "base/TextConvert.h"
#include "tools/ClientConnection.h"
#include "tools/UploadFileText.h"
#include "wire/Records.h"

namespace kestrom::client {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kReadBufferBytes = 256 * 1024;
// A date stamp older than any file: the server sends the picture whatever its time.
constexpr std::string_view kAnyCopyStamp = "00000001011970";

// A blocking TCP connection with Nagle off (requests are small and go out whole).
int OpenConnection(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list) != 0) return -1;
    int fd = -1;
    for (const addrinfo* ai = list; ai && fd < 0; ai = ai->ai_next) {
        fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd >= 0 && ::connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(list);
    if (fd >= 0) {
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    return fd;
}

bool SendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// A thousand connections need more descriptors than the usual soft limit of 1024.
void RaiseDescriptorLimit(int connections) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
    const rlim_t wanted = static_cast<rlim_t>(connections) + 64;
    if (limit.rlim_cur >= wanted) return;
    limit.rlim_cur = std::min(wanted, limit.rlim_max);
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

std::u16string Ascii(std::string_view text) {
    return FromUtf8(text);
}

// What one connection measured.
struct CConnectionTally {
    std::vector<std::uint32_t> latenciesUs;
    std::uint64_t errors = 0;
    std::uint64_t bytes = 0;
    std::map<std::string, std::uint64_t> codes;
    std::map<std::string, std::uint64_t> errorKinds;
};

// Counts one reply; true when it is the reply the request expects.
bool Record(const CLoadRequest& request, const CReplyOutcome& reply, Clock::duration took,
            CConnectionTally& tally) {
    tally.bytes += reply.bytes;
    if (!reply.complete) {
        ++tally.errors;
        ++tally.errorKinds[reply.error];
        return false;
    }
    const std::string code = ToUtf8(reply.code);
    ++tally.codes[code];
    if ((!request.expectedCode.empty() && code != request.expectedCode) ||
        (request.expectPayload && reply.emptyPayload)) {
        ++tally.errors;
        ++tally.errorKinds["unexpected " + code + (reply.emptyPayload ? " (empty)" : "")];
        return false;
    }
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(took).count();
    tally.latenciesUs.push_back(
        static_cast<std::uint32_t>(std::clamp<long long>(micros, 0, UINT32_MAX)));
    return true;
}

void CountError(CConnectionTally& tally, const std::string& kind) {
    ++tally.errors;
    ++tally.errorKinds[kind];
}

// One request and its whole reply on a blocking connection; false when the connection
// cannot be used further.
bool ServeBlocking(int fd, const CLoadRequest& request, WireMode mode,
                   std::chrono::milliseconds timeout, std::vector<char>& buffer,
                   CConnectionTally& tally) {
    const auto start = Clock::now();
    if (!SendAll(fd, request.wire)) {
        CountError(tally, "send failed");
        return false;
    }
    CReplyParser parser;
    parser.Start(request.shape, mode);
    while (!parser.Done()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, RemainingMs(start + timeout)) <= 0) {
            CountError(tally, "timeout");
            return false;
        }
        const ssize_t got = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (got <= 0) {
            CountError(tally, got == 0 ? "closed by server" : "receive failed");
            return false;
        }
        if (parser.Feed(std::string_view(buffer.data(), static_cast<std::size_t>(got))) <
            static_cast<std::size_t>(got)) {
            CountError(tally, "bytes after the reply");
            return false;
        }
    }
    Record(request, parser.Outcome(), Clock::now() - start, tally);
    return parser.Outcome().complete;
}

// One client thread: its connections, each with one request in flight at a time, all waited
// on with one epoll set.
class CLoadWorker {
  public:
    CLoadWorker(const std::vector<CLoadRequest>& rounds, const CLoadOptions& options,
                std::atomic<std::int64_t>& left)
        : rounds_(rounds), options_(options), left_(left) {}

    void Add(int fd, std::size_t firstRequest) {
        CConnection c;
        c.fd = fd;
        c.next = firstRequest % rounds_.size();
        connections_.push_back(std::move(c));
    }

    void Run(Clock::time_point stop) {
        stop_ = stop;
        const int ep = ::epoll_create1(EPOLL_CLOEXEC);
        if (ep < 0) {
            CountError(tally_, "epoll failed");
            return;
        }
        std::vector<char> buffer(kReadBufferBytes);
        int inFlight = 0;
        for (std::size_t i = 0; i < connections_.size(); ++i) {
            epoll_event ev{};
            ev.events = EPOLLIN;
            ev.data.u64 = i;
            ::epoll_ctl(ep, EPOLL_CTL_ADD, connections_[i].fd, &ev);
            if (SendNext(connections_[i])) ++inFlight;
        }
        epoll_event events[64];
        while (inFlight > 0) {
            const int n = ::epoll_wait(ep, events, 64, 50);
            for (int e = 0; e < n; ++e) {
                CConnection& c = connections_[events[e].data.u64];
                if (!c.busy) continue;
                if (!Receive(c, buffer)) {
                    --inFlight;
                    ::epoll_ctl(ep, EPOLL_CTL_DEL, c.fd, nullptr);
                }
            }
            const auto now = Clock::now();
            for (auto& c : connections_) {
                if (c.busy && now - c.sent > options_.timeout) {
                    CountError(tally_, "timeout");
                    c.busy = false;
                    --inFlight;
                    ::epoll_ctl(ep, EPOLL_CTL_DEL, c.fd, nullptr);
                }
            }
        }
        ::close(ep);
    }

    CConnectionTally& Tally() { return tally_; }

  private:
    struct CConnection {
        int fd = -1;
        std::size_t next = 0;
        bool busy = false;
        CReplyParser parser;
        Clock::time_point sent;
    };

    // Sends the connection's next request while time and count allow; false when it is done.
    bool SendNext(CConnection& c) {
        c.busy = false;
        if (Clock::now() >= stop_ || left_.fetch_sub(1, std::memory_order_relaxed) <= 0)
            return false;
        const CLoadRequest& request = rounds_[c.next];
        c.parser.Start(request.shape, options_.Mode());
        c.sent = Clock::now();
        if (!SendAll(c.fd, request.wire)) {
            CountError(tally_, "send failed");
            return false;
        }
        c.busy = true;
        return true;
    }

    // Takes what has arrived; false when the connection has no request in flight any more.
    bool Receive(CConnection& c, std::vector<char>& buffer) {
        for (;;) {
            const ssize_t got = ::recv(c.fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
            if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                CountError(tally_, got == 0 ? "closed by server" : "receive failed");
                c.busy = false;
                return false;
            }
            const auto size = static_cast<std::size_t>(got);
            const std::size_t used = c.parser.Feed(std::string_view(buffer.data(), size));
            if (!c.parser.Done()) continue;
            const CLoadRequest& request = rounds_[c.next];
            const bool framed = c.parser.Outcome().complete;
            Record(request, c.parser.Outcome(), Clock::now() - c.sent, tally_);
            if (!framed || used < size) {
                // The stream's framing is lost: this connection cannot be used further.
                if (framed) CountError(tally_, "bytes after the reply");
                c.busy = false;
                return false;
            }
            c.next = (c.next + 1) % rounds_.size();
            if (!SendNext(c)) return false;
        }
    }

    const std::vector<CLoadRequest>& rounds_;
    const CLoadOptions& options_;
    std::atomic<std::int64_t>& left_;
    Clock::time_point stop_;
    std::vector<CConnection> connections_;
    CConnectionTally tally_;
};

void Merge(CLoadReport& report, std::vector<std::uint32_t>& all, CConnectionTally& tally) {
    report.requests += tally.latenciesUs.size();
    report.errors += tally.errors;
    report.bytesReceived += tally.bytes;
    for (auto& [code, n] : tally.codes) report.replyCodes[code] += n;
    for (auto& [kind, n] : tally.errorKinds) report.errorKinds[kind] += n;
    all.insert(all.end(), tally.latenciesUs.begin(), tally.latenciesUs.end());
}

void Summarise(CLoadReport& report, std::vector<std::uint32_t>& all) {
    std::sort(all.begin(), all.end());
    report.p50Us = Percentile(all, 0.50);
    report.p99Us = Percentile(all, 0.99);
    report.maxUs = all.empty() ? 0 : all.back();
}

// A request text that cannot be sent, and why.
CStatus Refused(const std::string& why) {
    return CStatus::Failure(file_cause::kGeneric, FromUtf8(why));
}

}  // namespace

CResult<CLoadRequest> ParseLoadRequest(std::string_view requestText, int charMode) {
    const WireMode mode = WireModeOf(charMode);
    CLoadRequest request;
    request.requestText = std::string(requestText);
    const std::size_t star = requestText.find('*');
    const std::size_t colon0 = requestText.find(':');
    if (star != std::string_view::npos && (colon0 == std::string_view::npos || star < colon0)) {
        const std::string weight(requestText.substr(0, star));
        char* end = nullptr;
        const long w = std::strtol(weight.c_str(), &end, 10);
        if (weight.empty() || *end != '\0' || w < 1 || w > 1000) {
            return Refused("bad weight in " + request.requestText);
        }
        request.weight = static_cast<int>(w);
        requestText.remove_prefix(star + 1);
    }
    const std::size_t colon = requestText.find(':');
    const std::string kind(requestText.substr(0, colon));
    const std::string args(colon == std::string_view::npos ? std::string_view()
                                                           : requestText.substr(colon + 1));
    std::u16string message;
    auto needsArgs = [&] { return Refused(kind + " needs arguments: " + request.requestText); };
    if (kind == "ping") {
        const std::string product = args.empty() ? "fieldorvo" : args;
        const std::u16string_view code = product == "fieldorvo"   ? u"HFL"
                                         : product == "clerkorvo" ? u"HCL"
                                         : product == "wenlow"    ? u"HAL"
                                         : product == "hywire"    ? u"HHW"
                                                                  : u"";
        if (code.empty()) {
            return Refused("unknown product in " + request.requestText);
        }
        message = BuildRequest(code);
        request.expectedCode = "HMM";
    } else if (kind == "rfq" || kind == "rrq" || kind == "rhq") {
        if (args.empty()) return needsArgs();
        message = BuildRequest(kind == "rfq"   ? u"RFQ"
                               : kind == "rrq" ? u"RRQ"
                                               : u"RHQ",
                               Ascii(args));
        request.expectedCode = "RRP";
        request.expectPayload = true;
    } else if (kind == "irq") {
        if (args.empty()) return needsArgs();
        const auto commas = std::count(args.begin(), args.end(), ',');
        std::string payload = args;
        if (commas == 2) payload += "," + std::string(kAnyCopyStamp);
        message = BuildRequest(u"IRQ", Ascii(payload));
        request.shape = ReplyShape::kImage;
        request.expectedCode = "RFI";
        request.expectPayload = true;
    } else if (kind == "drq" || kind == "dhq") {
        message = BuildRequest(kind == "drq" ? u"DRQ" : u"DHQ", Ascii(args.empty() ? "0," : args));
        request.expectedCode = "DRP";
    } else if (kind == "sls" || kind == "rff") {
        // sls:@FILE or rff:@FILE: the file's text as a start list, or as a results upload
        // with its checksum (scrambled in single-byte mode, as a device sends it).
        if (args.size() < 2 || args[0] != '@') {
            return Refused(kind + " needs @FILE: " + request.requestText);
        }
        std::ostringstream why;
        const auto text = ReadUploadFileText(FromUtf8(args.substr(1)), why);
        if (!text) {
            return Refused(why.str());
        }
        if (kind == "sls")
            message = BuildRequest(u"SLS", *text);
        else
            message = BuildUploadMessage(
                u"RFF", mode == WireMode::kSingleByte ? Scramble(*text) : *text, charMode == 1);
        request.expectedCode = "ROK";
        request.expectPayload = kind == "sls";
    } else if (kind == "srq") {
        // The schedule request's payload is scrambled in single-byte mode, as a device sends it.
        if (args.empty()) return needsArgs();
        message = BuildRequest(u"SRQ",
                               mode == WireMode::kSingleByte ? Scramble(Ascii(args)) : Ascii(args));
        request.expectedCode = "SRP";
    } else if (kind == "req") {
        // req:CODE[:PAYLOAD], any reply record.
        const std::size_t sep = args.find(':');
        const std::string code = args.substr(0, sep);
        if (code.empty()) {
            return Refused("req needs a code: " + request.requestText);
        }
        message =
            BuildRequest(Ascii(code), sep == std::string::npos ? u"" : Ascii(args.substr(sep + 1)));
    } else {
        return Refused("unknown request kind " + kind);
    }
    request.wire = Encode(message, mode);
    return request;
}

double Percentile(const std::vector<std::uint32_t>& sorted, double fraction) {
    if (sorted.empty()) return 0;
    const double rank = std::ceil(fraction * static_cast<double>(sorted.size()));
    const std::size_t index =
        std::min(sorted.size() - 1, static_cast<std::size_t>(std::max(rank, 1.0)) - 1);
    return sorted[index];
}

// ------------------------------------------------------------------ runs

CLoadRunner::CLoadRunner(CLoadOptions options, std::vector<CLoadRequest> mix)
    : options_(std::move(options)) {
    for (const auto& request : mix)
        for (int i = 0; i < request.weight; ++i) rounds_.push_back(request);
}

CLoadReport CLoadRunner::Run() {
    CLoadReport report;
    if (rounds_.empty() || options_.connections < 1) return report;
    RaiseDescriptorLimit(options_.connections);
    std::atomic<std::int64_t> left{options_.count > 0 ? static_cast<std::int64_t>(options_.count)
                                                      : INT64_MAX};
    const int threadCount = std::clamp(options_.threads, 1, options_.connections);
    std::vector<std::unique_ptr<CLoadWorker>> workers;
    for (int t = 0; t < threadCount; ++t)
        workers.push_back(std::make_unique<CLoadWorker>(rounds_, options_, left));
    // Connected one after another before the clock starts: the server's backlog is short,
    // and a dropped SYN would cost a second's retry inside the measurement.
    std::vector<int> fds;
    for (int i = 0; i < options_.connections; ++i) {
        const int fd = OpenConnection(options_.host, options_.port);
        if (fd < 0) {
            ++report.errors;
            ++report.errorKinds["connect failed"];
            continue;
        }
        // Each connection starts at another place in the mix, so a mix of kinds is spread
        // over the connections from the first request on.
        workers[fds.size() % workers.size()]->Add(fd, fds.size());
        fds.push_back(fd);
    }
    report.connections = static_cast<int>(fds.size());

    const auto start = Clock::now();
    const auto stop = start + options_.duration;
    std::vector<std::thread> threads;
    for (auto& worker : workers) threads.emplace_back([&worker, stop] { worker->Run(stop); });
    for (auto& t : threads) t.join();
    report.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    for (int fd : fds) ::close(fd);

    std::vector<std::uint32_t> all;
    for (auto& worker : workers) Merge(report, all, worker->Tally());
    Summarise(report, all);
    return report;
}

CLoadReport CLoadRunner::Hold(const std::function<void(int open)>& ready) {
    CLoadReport report;
    RaiseDescriptorLimit(options_.connections);
    std::vector<int> fds;
    CConnectionTally tally;
    std::vector<char> buffer(kReadBufferBytes);
    const auto start = Clock::now();
    for (int i = 0; i < options_.connections; ++i) {
        const int fd = OpenConnection(options_.host, options_.port);
        if (fd < 0) {
            CountError(tally, "connect failed");
            continue;
        }
        fds.push_back(fd);
        if (!rounds_.empty())
            ServeBlocking(fd, rounds_[static_cast<std::size_t>(i) % rounds_.size()],
                          options_.Mode(), options_.timeout, buffer, tally);
    }
    report.connections = static_cast<int>(fds.size());
    report.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (ready) ready(report.connections);
    std::this_thread::sleep_for(options_.hold);
    for (int fd : fds) ::close(fd);
    std::vector<std::uint32_t> all;
    Merge(report, all, tally);
    Summarise(report, all);
    return report;
}

void PrintLoadReport(std::ostream& out, const CLoadReport& report, const CLoadOptions& options) {
    const auto flags = out.flags();
    out << std::fixed << std::setprecision(2);
    out << "connections " << report.connections << " of " << options.connections << ", char mode "
        << options.charMode << ", " << report.seconds << " s\n";
    out << "requests " << report.requests << ", errors " << report.errors << ", "
        << report.RequestsPerSecond() << " requests/s, "
        << report.BytesPerSecond() / (1024.0 * 1024.0) << " MiB/s received\n";
    out << "latency p50 " << report.p50Us / 1000.0 << " ms, p99 " << report.p99Us / 1000.0
        << " ms, max " << report.maxUs / 1000.0 << " ms\n";
    for (const auto& [code, n] : report.replyCodes) out << "  reply " << code << ": " << n << "\n";
    for (const auto& [kind, n] : report.errorKinds) out << "  error " << kind << ": " << n << "\n";
    // One line for scripts.
    out << std::setprecision(3) << "RESULT connections=" << report.connections
        << " requests=" << report.requests << " errors=" << report.errors
        << " seconds=" << report.seconds << " rps=" << report.RequestsPerSecond()
        << " p50_us=" << report.p50Us << " p99_us=" << report.p99Us << " max_us=" << report.maxUs
        << " bytes=" << report.bytesReceived << " bytes_per_s=" << report.BytesPerSecond() << "\n";
    out.flags(flags);
}

}  // namespace kestrom::client
