#include "protocol/CommandTable.h"

#include <array>

#include "protocol/RequestGrammar.h"

namespace kestrom {

namespace {

constexpr std::array<CCommandEntry, 22> kCommands{{
    {u"HFL", kKindFieldOrvoPing},
    {u"SRQ", kKindScheduleRequest},
    {u"RFF", kKindResultsUpload},
    {u"RFT", kKindResultsUploadStamped},
    {u"RFQ", kKindFieldOrvoResultsRequest},
    {u"HCL", kKindClerkOrvoPing},
    {u"EDQ", kKindEventFileDateStamp},
    {u"HRQ", kKindEventFileHeaders},
    {u"ECQ", kKindClerkOrvoEventFile},
    {u"PRQ", kKindAthleteList},
    {u"SLS", kKindStartListUpload},
    {u"HAL", kKindWenlowPing},
    {u"DRQ", kKindWenlowResultsChanged},
    {u"RRQ", kKindWenlowResultsRequest},
    {u"ERQ", kKindWenlowEventFile},
    {u"IRQ", kKindImageRequest},
    {u"HHW", kKindHyWirePing},
    {u"DHQ", kKindHyWireResultsChanged},
    {u"EHQ", kKindHyWireEventFile},
    {u"RHQ", kKindHyWireResultsRequest},
    {u"ROK", kKindReplyOk},
    {u"NOK", kKindReplyNotOk},
}};

}  // namespace

std::span<const CCommandEntry> CommandTable() {
    return kCommands;
}

int LookupCommandCode(std::u16string_view code) {
    if (code.size() < 3) return kKindUnknown;
    const std::u16string_view head = code.substr(0, 3);
    for (const auto& entry : kCommands)
        if (entry.code == head) return entry.kind;
    return kKindUnknown;
}

std::u16string_view CommandCodeOf(std::u16string_view message) {
    const size_t soh = message.find(kSOH);
    if (soh == std::u16string_view::npos) return {};
    const std::u16string_view rest = message.substr(soh + 1);
    return rest.substr(0, rest.find(kSTX));
}

int LookupCommand(std::u16string_view message) {
    return LookupCommandCode(CommandCodeOf(message));
}

}  // namespace kestrom
