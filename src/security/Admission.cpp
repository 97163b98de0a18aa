#include "security/Admission.h"

#include "core/Settings.h"
#include "protocol/CommandProcessor.h"
#include "protocol/CommandTable.h"
#include "security/AccessControlList.h"
#include "security/AccessListStorage.h"
#include "security/MacLookup.h"

namespace kestrom {

namespace {

constexpr std::u16string_view kRefusalCode = u"TCC";
constexpr std::u16string_view kLoopbackAddress = u"127.0.0.1";

std::u16string Parenthesised(std::u16string_view label, std::u16string_view rest) {
    std::u16string text = u"(";
    text += label;
    text += u") ";
    text += rest;
    return text;
}

struct CProductTexts {
    std::u16string_view disabled;
    std::u16string_view notListed;
};

CProductTexts RefusalTexts(CProduct product) {
    switch (product) {
        case CProduct::Wenlow:
            return {u"Client is disabled in the security list and attempted to access Wenlow data.",
                    u"Client not in the security list attempted Wenlow data access."};
        case CProduct::FieldOrvo:
            return {
                u"Client is disabled in the security list and attempted to access FieldOrvo data.",
                u"Client not in the security list attempted FieldOrvo data access."};
        case CProduct::ClerkOrvo:
            break;
    }
    return {u"Client is disabled in the security list and attempted to access ClerkOrvo data.",
            u"Client not in the security list attempted ClerkOrvo data access."};
}

// The kinds that only the all-requests switch guards: they have no product switch and no
// permission of their own in the access list, so an enabled entry admits them.
std::optional<CProductTexts> AllRequestsGuardTexts(int kind) {
    switch (kind) {
        case kKindHyWirePing:
        case kKindHyWireResultsChanged:
        case kKindHyWireEventFile:
        case kKindHyWireResultsRequest:
            return CProductTexts{
                u"Client is disabled in the security list and attempted to access HY-WIRE data.",
                u"Client not in the security list attempted HY-WIRE data access."};
        case kKindImageRequest:
            return CProductTexts{
                u"Client is disabled in the security list and attempted to access image data.",
                u"Client not in the security list attempted image data access."};
        default:
            return std::nullopt;
    }
}

bool SwitchOn(const CKestromSettings& settings, CProduct product) {
    switch (product) {
        case CProduct::Wenlow:
            return settings.WenlowSecurityEnabled != 0;
        case CProduct::FieldOrvo:
            return settings.FieldOrvoSecurityEnabled != 0;
        case CProduct::ClerkOrvo:
            return settings.ClerkOrvoSecurityEnabled != 0;
    }
    return false;
}

bool Allows(const CAccessControlItem& entry, CProduct product) {
    if (entry.enabled == 0) return false;
    switch (product) {
        case CProduct::Wenlow:
            return entry.allowWenlow != 0;
        case CProduct::FieldOrvo:
            return entry.allowFieldOrvo != 0;
        case CProduct::ClerkOrvo:
            return entry.allowClerkOrvo != 0;
    }
    return false;
}

// The operator decides on an unknown client; the message that raised the prompt is refused
// either way, and the client's next message meets the list as it then stands.
void PromptForUnknownClient(CAdmissionContext& context, const std::u16string& macText,
                            CCommandProcessor& processor) {
    COperatorInterface& op = context.op;
    op.AddLogLine(Parenthesised(macText,
                                u"Client not in the security list attempted to access "
                                u"Kestrom data."),
                  kLogPlain);
    processor.SendReply(kRefusalCode);
    if (context.optionsDialogOpen.load()) {
        op.AddLogLine(
            u"Kestrom Options dialog is open.  Prompting for clients will not work "
            u"until the dialog is closed.",
            kLogPlain);
        return;
    }
    CAccessControlItem entry;
    SplitMacText(macText, entry);
    if (!op.PromptAddClient(entry)) {
        op.AddLogLine(Parenthesised(macText,
                                    u"Client not in the Access Control List has NOT been "
                                    u"added to the list."),
                      kLogPlain);
        return;
    }
    context.accessList.Append({entry});
    op.AddLogLine(
        Parenthesised(macText,
                      u"Client not in the Access Control List has been added to the list."),
        kLogPlain);
    // The front ends have no message box on this path; the storage message goes to the event
    // log as an error instead. The entry stays in the list either way.
    CStorageOutcome saved = SaveAccessList(context.accessList);
    if (saved != CStorageOutcome::Ok) op.AddLogLine(StorageOutcomeText(saved), kLogError);
}

}  // namespace

std::optional<CProduct> GuardedProductOfKind(int kind) {
    switch (kind) {
        case kKindWenlowPing:
        case kKindWenlowResultsChanged:
        case kKindWenlowResultsRequest:
        case kKindWenlowEventFile:
            return CProduct::Wenlow;
        case kKindFieldOrvoPing:
        case kKindScheduleRequest:
        case kKindResultsUpload:
        case kKindResultsUploadStamped:  // "RFT" uploads FieldOrvo results like "RFF"
        case kKindFieldOrvoResultsRequest:
            return CProduct::FieldOrvo;
        case kKindClerkOrvoPing:
        case kKindEventFileDateStamp:
        case kKindEventFileHeaders:
        case kKindClerkOrvoEventFile:  // "ECQ" serves ClerkOrvo the event file
        case kKindAthleteList:
        case kKindStartListUpload:
            return CProduct::ClerkOrvo;
        default:
            return std::nullopt;
    }
}

void Admit(CAdmissionContext& context, std::u16string_view peerIpText, int kind,
           const std::u16string& message, CCommandProcessor& processor) {
    COperatorInterface& op = context.op;
    // The snapshot the processor took when the message arrived: one per message.
    const CKestromSettings& settings = processor.Settings();
    const std::optional<CProduct> product = GuardedProductOfKind(kind);

    std::u16string macText;
    if (auto address = CMacLookup::FromEnvironment().HardwareAddress(peerIpText)) {
        macText = FormatMacText(*address);
    } else {
        std::u16string line = u"Unable to retrieve MAC Address for device at ";
        line += peerIpText;
        op.AddLogLine(line, kLogError);
    }

    std::u16string label(peerIpText);
    if (settings.SecurityEnabled != 0) {
        label = macText;
        const std::optional<CAccessControlItem> entry = context.accessList.FindByMacText(macText);
        if (entry && !entry->name.empty()) label = entry->name;

        if (peerIpText == kLoopbackAddress) {
            op.AddLogLine(
                u"Kestrom security will not work in loopback (IP Address = 127.0.0.1) "
                u"mode",
                kLogPlain);
        } else if (!entry && context.promptForUnknownClients.load()) {
            PromptForUnknownClient(context, macText, processor);
            return;
        } else {
            std::optional<CProductTexts> refusal;
            if (product) {
                if (SwitchOn(settings, *product) && !(entry && Allows(*entry, *product)))
                    refusal = RefusalTexts(*product);
            } else if (settings.AllRequestsSecurityEnabled != 0 && !(entry && entry->enabled)) {
                refusal = AllRequestsGuardTexts(kind);
            }
            if (refusal) {
                op.AddLogLine(Parenthesised(label, entry ? refusal->disabled : refusal->notListed),
                              kLogPlain);
                processor.SendReply(kRefusalCode);
                return;
            }
        }
    }

    // The grid is refreshed after the list's lock is released: the desktop front end reads
    // the counts on its own thread while this one waits.
    if (product && SwitchOn(settings, *product) && context.clients.Record(*product, peerIpText))
        op.RefreshProductGrid();

    processor.Dispatch(kind, message, label);
}

}  // namespace kestrom
