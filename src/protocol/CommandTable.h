#pragma once
// The command table: which request kind a message's command code stands for.
#include <span>
#include <string_view>

namespace kestrom {

enum RequestKind : int {
    kKindUnknown = 0,
    kKindFieldOrvoPing = 1,
    kKindClerkOrvoPing = 2,
    kKindWenlowPing = 3,
    kKindHyWirePing = 4,
    kKindScheduleRequest = 5,
    kKindResultsUpload = 6,
    kKindResultsUploadStamped = 7,
    kKindFieldOrvoResultsRequest = 8,
    kKindEventFileDateStamp = 10,
    kKindEventFileHeaders = 11,
    kKindClerkOrvoEventFile = 12,
    kKindAthleteList = 13,
    kKindStartListUpload = 14,
    kKindWenlowResultsChanged = 15,
    kKindWenlowResultsRequest = 16,
    kKindWenlowEventFile = 17,
    kKindImageRequest = 18,
    kKindHyWireResultsChanged = 19,
    kKindHyWireEventFile = 20,
    kKindHyWireResultsRequest = 21,
    kKindReplyOk = 22,
    kKindReplyNotOk = 23,
};

struct CCommandEntry {
    std::u16string_view code;
    int kind;
};

// The codes in the order they are compared.
std::span<const CCommandEntry> CommandTable();

// The kind of a command code: the first table code equal to its first three characters
// (case-sensitive); codes shorter than three characters and unknown codes give 0.
int LookupCommandCode(std::u16string_view code);

// The command code of a message: the characters after the first SOH up to the next STX or the
// end; empty without SOH.
std::u16string_view CommandCodeOf(std::u16string_view message);

// The kind of a whole (possibly still incomplete) message.
int LookupCommand(std::u16string_view message);

}  // namespace kestrom
