#pragma once
// The request handlers the dispatcher calls, one file each. Each logs, replies once through
// the processor and returns.
#include <string>
#include <string_view>

#include "wire/CommandTable.h"

namespace kestrom {

class CCommandProcessor;

// "EDQ", "HRQ", "ECQ", "ERQ", "EHQ" (kinds 10, 11, 12, 17, 20).
void HandleEventFileRequest(CCommandProcessor& p, RequestKind kind, std::u16string_view message);
// "RFQ", "RRQ", "RHQ" (kinds 8, 16, 21).
void HandleResultsRequest(CCommandProcessor& p, RequestKind kind, std::u16string_view message);
// "DRQ", "DHQ" (kinds 15, 19).
void HandleResultsChangedRequest(CCommandProcessor& p, RequestKind kind,
                                 std::u16string_view message);
// "IRQ" (kind 18).
void HandleImageRequest(CCommandProcessor& p, RequestKind kind, std::u16string_view message);
// "PRQ" (kind 13).
void HandleAthleteListRequest(CCommandProcessor& p, RequestKind kind, std::u16string_view message);
// "SRQ" (kind 5); unscramble is set when CharMode is 0.
void HandleScheduleRequest(CCommandProcessor& p, RequestKind kind, std::u16string_view message,
                           bool unscramble);
// "RFF", "RFT" (kinds 6, 7).
void HandleResultsUpload(CCommandProcessor& p, RequestKind kind, std::u16string_view message,
                         std::u16string_view clientLabel);
// "SLS" (kind 14).
void HandleStartListUpload(CCommandProcessor& p, RequestKind kind, std::u16string_view message,
                           std::u16string_view clientLabel);

}  // namespace kestrom
