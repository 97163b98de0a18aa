#pragma once
// The load mode of kestrom-client: N connections, each sending a mix of requests one after
// another for a time or a count, measuring requests per second, latency percentiles and
// errors. A connection never has two requests in flight: the server serves one message per
// read and drops what follows it in the same read. A few client threads drive all the
// connections through epoll, so the client takes little of the CPU it is measuring.
#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Status.h"
#include "wire/ReplyParser.h"

namespace kestrom::client {

struct CLoadRequest {
    std::string requestText;  // as given, for the report
    std::string wire;         // the request's bytes
    ReplyShape shape = ReplyShape::kRecord;
    std::string expectedCode;    // empty: any well-formed reply is served
    bool expectPayload = false;  // an empty payload (or an empty image) counts as an error
    int weight = 1;
};

// One request of the mix from "[W*]kind[:args]":
//   ping[:fieldorvo|clerkorvo|wenlow|hywire]   "HMM"
//   rfq:E,R,H[,+]  rrq:E,R,H  rhq:E,R,H         "RRP" with a file
//   irq:E,R,H[,STAMP]                           "RFI" with a picture (STAMP default: any copy)
//   drq:PAYLOAD  dhq:PAYLOAD                    "DRP", e.g. drq:0,
//   sls:@FILE                                   "ROK", the start list in FILE
//   raw:TEXT                                    TEXT with escapes (<SOH>, \x01...), any reply
// W repeats the request W times in every round of the mix.
// A text that names no request gives a failure whose detail says why.
CResult<CLoadRequest> ParseLoadRequest(std::string_view requestText, int charMode);

struct CLoadOptions {
    std::string host = "127.0.0.1";
    int port = 1950;
    int charMode = 0;  // as given with --char-mode (see CClientOptions)
    int connections = 1;
    int threads = 2;  // client threads sharing the connections (each waits on all of its own)
    std::chrono::milliseconds duration{10000};  // the run stops after this time...
    std::uint64_t count = 0;                    // ...or this many requests (0: no limit)
    std::chrono::milliseconds timeout{5000};    // for one reply
    std::chrono::milliseconds hold{0};          // idle mode: how long to keep them open

    WireMode Mode() const { return WireModeOf(charMode); }
};

struct CLoadReport {
    int connections = 0;         // connections opened
    std::uint64_t requests = 0;  // requests answered as expected
    std::uint64_t errors = 0;    // everything else, connection failures included
    std::uint64_t bytesReceived = 0;
    double seconds = 0;
    double p50Us = 0, p99Us = 0, maxUs = 0;  // of the requests answered as expected
    std::map<std::string, std::uint64_t> replyCodes;
    std::map<std::string, std::uint64_t> errorKinds;

    double RequestsPerSecond() const {
        return seconds > 0 ? static_cast<double>(requests) / seconds : 0;
    }
    double BytesPerSecond() const {
        return seconds > 0 ? static_cast<double>(bytesReceived) / seconds : 0;
    }
};

// The value at fraction (0..1) of a sorted list, nearest rank; 0 for an empty list.
double Percentile(const std::vector<std::uint32_t>& sorted, double fraction);

class CLoadRunner {
  public:
    CLoadRunner(CLoadOptions options, std::vector<CLoadRequest> mix);

    // Opens every connection, then runs them all at once until the time or the count is up.
    CLoadReport Run();
    // Opens every connection, serves one request of the mix on each (when there is one),
    // calls ready with the number open, and keeps them idle for the hold time.
    CLoadReport Hold(const std::function<void(int open)>& ready);

  private:
    CLoadOptions options_;
    std::vector<CLoadRequest> rounds_;  // the mix with each request repeated by its weight
};

void PrintLoadReport(std::ostream& out, const CLoadReport& report, const CLoadOptions& options);

}  // namespace kestrom::client
