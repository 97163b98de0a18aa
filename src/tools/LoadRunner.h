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

namespace kestrom::client {

// How a reply is framed on the wire.
enum class ReplyShape {
    kRecord,  // SOH code ",PSZ=" size STX payload ETX EOT, in the connection's character mode
    kImage,   // SOH "RFI,PSZ=" size STX, then the stamp, a comma and size bytes (or ETX when
              // size is 0), always one byte per character
};

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
std::optional<CLoadRequest> ParseLoadRequest(std::string_view requestText, int charMode,
                                             std::string& error);

struct CLoadOptions {
    std::string host = "127.0.0.1";
    int port = 1950;
    int charMode = 0;
    int connections = 1;
    int threads = 2;  // client threads sharing the connections (each waits on all of its own)
    std::chrono::milliseconds duration{10000};  // the run stops after this time...
    std::uint64_t count = 0;                    // ...or this many requests (0: no limit)
    std::chrono::milliseconds timeout{5000};    // for one reply
    std::chrono::milliseconds hold{0};          // idle mode: how long to keep them open
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

    double RequestsPerSecond() const { return seconds > 0 ? requests / seconds : 0; }
    double BytesPerSecond() const { return seconds > 0 ? bytesReceived / seconds : 0; }
};

struct CReplyOutcome {
    bool complete = false;  // a whole reply of the shape arrived
    std::string code;       // its command code ("RFI" for images)
    bool emptyPayload = true;
    std::uint64_t bytes = 0;  // bytes of the reply taken so far
    std::string error;        // why it is not complete
};

// Takes a reply apart as its bytes arrive, in pieces of any size; payloads are counted, not
// kept, so a large picture costs no copying.
class CReplyParser {
  public:
    // Expects a new reply of the shape.
    void Start(ReplyShape shape, int charMode);
    // Consumes bytes up to the end of the reply (or up to the fault) and returns how many.
    std::size_t Feed(const char* data, std::size_t size);
    // True once the reply is complete or broken (Outcome().error set).
    bool Done() const { return state_ == State::kDone; }
    const CReplyOutcome& Outcome() const { return outcome_; }

  private:
    enum class State { kStart, kHeader, kStamp, kBody, kEtx, kEot, kDone };
    // One whole character, or nothing yet when half a wide character arrived.
    bool TakeChar(const char*& p, const char* end, long& c);
    void Fail(const char* why);
    void HeaderDone();

    ReplyShape shape_ = ReplyShape::kRecord;
    std::size_t width_ = 1;
    State state_ = State::kDone;
    CReplyOutcome outcome_;
    std::string head_;
    int lowByte_ = -1;
    std::uint64_t left_ = 0;  // bytes still to come in the stamp or the body
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
