#pragma once
// The command table: which request kind a message's command code stands for.
#include <span>
#include <string_view>

namespace kestrom {

enum class RequestKind {
    kUnknown = 0,
    kFieldOrvoPing = 1,
    kClerkOrvoPing = 2,
    kWenlowPing = 3,
    kHyWirePing = 4,
    kScheduleRequest = 5,
    kResultsUpload = 6,
    kResultsUploadStamped = 7,
    kFieldOrvoResultsRequest = 8,
    kEventFileDateStamp = 10,
    kEventFileHeaders = 11,
    kClerkOrvoEventFile = 12,
    kAthleteList = 13,
    kStartListUpload = 14,
    kWenlowResultsChanged = 15,
    kWenlowResultsRequest = 16,
    kWenlowEventFile = 17,
    kImageRequest = 18,
    kHyWireResultsChanged = 19,
    kHyWireEventFile = 20,
    kHyWireResultsRequest = 21,
    kReplyOk = 22,
    kReplyNotOk = 23,
};

struct CCommandEntry {
    std::u16string_view code;
    RequestKind kind;
};

// The codes in the order they are compared.
std::span<const CCommandEntry> CommandTable();

// The kind of a command code: the first table code equal to its first three characters
// (case-sensitive); codes shorter than three characters and unknown codes give kUnknown.
RequestKind LookupCommandCode(std::u16string_view code);

// The command code of a message: the characters after the first SOH up to the next STX or the
// end; empty without SOH.
std::u16string_view CommandCodeOf(std::u16string_view message);

// The kind of a whole (possibly still incomplete) message.
RequestKind LookupCommand(std::u16string_view message);

}  // namespace kestrom
