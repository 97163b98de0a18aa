#pragma once
// What a front end may learn of the requests served, beside the log lines: each admitted or
// refused message and each upload with its outcome. Called on connection threads; an
// observer keeps its own lock and never blocks for long.
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "wire/CommandTable.h"

namespace kestrom {

struct CUploadRecord {
    std::time_t when = 0;
    // The peer's IP address and, when known, its MAC text.
    std::u16string ip;
    std::u16string mac;
    RequestKind kind = RequestKind::kUnknown;
    // The file the upload names ("001-1-01.qff", or the event file for a start list).
    std::u16string file;
    std::uint64_t bytes = 0;
    // "ROK", "NOK", "NSR" or "NLS": NOK when the checksum failed, else the last reply code.
    std::u16string outcome;
};

class CRequestObserver {
  public:
    virtual ~CRequestObserver() = default;
    // One complete message after admission decided on it.
    virtual void OnMessage(std::u16string_view ip, std::u16string_view mac, RequestKind kind,
                           bool refused) = 0;
    virtual void OnUpload(const CUploadRecord& record) = 0;
};

}  // namespace kestrom
