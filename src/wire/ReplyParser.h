#pragma once
// Takes replies apart as their bytes arrive, in pieces of any size: feed it what a read
// brought, and it says how much of that belonged to the reply and when the reply is whole.
// Bytes after the end of a reply are left to the caller, for the next one.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "wire/WireChars.h"

namespace kestrom {

// How a reply is framed on the wire.
enum class ReplyShape {
    kRecord,  // SOH code ",PSZ=" size STX payload ETX EOT, in the connection's character mode
    kImage,   // SOH "RFI,PSZ=" size STX, then the stamp, a comma and size bytes (or ETX when
              // size is 0), always one byte per character
};

struct CReplyOutcome {
    bool complete = false;     // a whole reply of the shape arrived
    std::u16string code;       // its command code, e.g. u"HMM"
    std::uint64_t size = 0;    // the PSZ value
    bool emptyPayload = true;  // no payload bytes (an image: size 0)
    std::uint64_t bytes = 0;   // bytes of the reply taken so far
    // The payload's bytes as they arrived, when kept (an image: the picture alone).
    std::string payloadBytes;
    std::string error;  // why it is not complete
};

class CReplyParser {
  public:
    // Headers longer than this are taken for a broken stream.
    static constexpr std::size_t kMaxHeaderChars = 64;

    // Expects a new reply of the shape. Payloads are counted, not kept, unless asked: a
    // picture of megabytes then costs no copying.
    void Start(ReplyShape shape, WireMode mode, bool keepPayload = false);
    // Consumes bytes up to the end of the reply (or up to the fault) and returns how many.
    std::size_t Feed(std::string_view bytes);
    // True once the reply is complete or broken (Outcome().error set).
    bool Done() const { return state_ == State::kDone; }
    const CReplyOutcome& Outcome() const { return outcome_; }
    CReplyOutcome& Outcome() { return outcome_; }

  private:
    enum class State { kStart, kHeader, kStamp, kBody, kEtx, kEot, kDone };
    // One whole character, or nothing yet when half a wide character arrived.
    bool TakeChar(const char*& p, const char* end, char16_t& c);
    void Fail(const char* why);
    void HeaderDone();

    ReplyShape shape_ = ReplyShape::kRecord;
    WireMode mode_ = WireMode::kSingleByte;
    bool keepPayload_ = false;
    State state_ = State::kDone;
    CReplyOutcome outcome_;
    std::u16string head_;
    int lowByte_ = -1;
    std::uint64_t left_ = 0;  // bytes still to come in the stamp or the body
};

}  // namespace kestrom
