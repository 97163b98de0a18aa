#include "wire/CommandTable.h"

#include <array>

#include "wire/RequestGrammar.h"

namespace kestrom {

namespace {

constexpr std::array<CCommandEntry, 22> kCommands{{
    {u"HFL", RequestKind::kFieldOrvoPing},
    {u"SRQ", RequestKind::kScheduleRequest},
    {u"RFF", RequestKind::kResultsUpload},
    {u"RFT", RequestKind::kResultsUploadStamped},
    {u"RFQ", RequestKind::kFieldOrvoResultsRequest},
    {u"HCL", RequestKind::kClerkOrvoPing},
    {u"EDQ", RequestKind::kEventFileDateStamp},
    {u"HRQ", RequestKind::kEventFileHeaders},
    {u"ECQ", RequestKind::kClerkOrvoEventFile},
    {u"PRQ", RequestKind::kAthleteList},
    {u"SLS", RequestKind::kStartListUpload},
    {u"HAL", RequestKind::kWenlowPing},
    {u"DRQ", RequestKind::kWenlowResultsChanged},
    {u"RRQ", RequestKind::kWenlowResultsRequest},
    {u"ERQ", RequestKind::kWenlowEventFile},
    {u"IRQ", RequestKind::kImageRequest},
    {u"HHW", RequestKind::kHyWirePing},
    {u"DHQ", RequestKind::kHyWireResultsChanged},
    {u"EHQ", RequestKind::kHyWireEventFile},
    {u"RHQ", RequestKind::kHyWireResultsRequest},
    {u"ROK", RequestKind::kReplyOk},
    {u"NOK", RequestKind::kReplyNotOk},
}};

}  // namespace

std::span<const CCommandEntry> CommandTable() {
    return kCommands;
}

RequestKind LookupCommandCode(std::u16string_view code) {
    if (code.size() < 3) return RequestKind::kUnknown;
    const std::u16string_view head = code.substr(0, 3);
    for (const auto& entry : kCommands)
        if (entry.code == head) return entry.kind;
    return RequestKind::kUnknown;
}

std::u16string_view CommandCodeOf(std::u16string_view message) {
    const size_t soh = message.find(kSOH);
    if (soh == std::u16string_view::npos) return {};
    const std::u16string_view rest = message.substr(soh + 1);
    return rest.substr(0, rest.find(kSTX));
}

RequestKind LookupCommand(std::u16string_view message) {
    return LookupCommandCode(CommandCodeOf(message));
}

}  // namespace kestrom
