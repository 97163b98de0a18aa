#include "security/Admission.h"

#include <algorithm>
#include <cstdint>
#include <span>

#include "core/Settings.h"
#include "protocol/CommandProcessor.h"
#include "security/AccessControlList.h"
#include "security/AccessListStorage.h"
#include "security/MacLookup.h"
#include "wire/CommandTable.h"

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

// Everything admission knows of one guarded product: its request kinds, its switch in the
// settings, its permission in an access-list entry and its refusal texts.
struct CProductRule {
    CProduct product;
    std::span<const RequestKind> kinds;
    bool CKestromSettings::*securitySwitch;
    std::int32_t CAccessControlItem::*permission;
    CProductTexts refusal;
};

constexpr RequestKind kWenlowKinds[] = {
    RequestKind::kWenlowPing, RequestKind::kWenlowResultsChanged,
    RequestKind::kWenlowResultsRequest, RequestKind::kWenlowEventFile};
// "RFT" uploads FieldOrvo results like "RFF".
constexpr RequestKind kFieldOrvoKinds[] = {
    RequestKind::kFieldOrvoPing, RequestKind::kScheduleRequest, RequestKind::kResultsUpload,
    RequestKind::kResultsUploadStamped, RequestKind::kFieldOrvoResultsRequest};
// "ECQ" serves ClerkOrvo the event file.
constexpr RequestKind kClerkOrvoKinds[] = {
    RequestKind::kClerkOrvoPing,    RequestKind::kEventFileDateStamp,
    RequestKind::kEventFileHeaders, RequestKind::kClerkOrvoEventFile,
    RequestKind::kAthleteList,      RequestKind::kStartListUpload};

const CProductRule kProductRules[] = {
    {CProduct::Wenlow,
     kWenlowKinds,
     &CKestromSettings::WenlowSecurityEnabled,
     &CAccessControlItem::allowWenlow,
     {u"Client is disabled in the security list and attempted to access Wenlow data.",
      u"Client not in the security list attempted Wenlow data access."}},
    {CProduct::FieldOrvo,
     kFieldOrvoKinds,
     &CKestromSettings::FieldOrvoSecurityEnabled,
     &CAccessControlItem::allowFieldOrvo,
     {u"Client is disabled in the security list and attempted to access FieldOrvo data.",
      u"Client not in the security list attempted FieldOrvo data access."}},
    {CProduct::ClerkOrvo,
     kClerkOrvoKinds,
     &CKestromSettings::ClerkOrvoSecurityEnabled,
     &CAccessControlItem::allowClerkOrvo,
     {u"Client is disabled in the security list and attempted to access ClerkOrvo data.",
      u"Client not in the security list attempted ClerkOrvo data access."}},
};

// The kinds that only the all-requests switch guards: they have no product switch and no
// permission of their own in the access list, so an enabled entry admits them.
struct CAllRequestsRule {
    std::span<const RequestKind> kinds;
    CProductTexts refusal;
};

constexpr RequestKind kHyWireKinds[] = {
    RequestKind::kHyWirePing, RequestKind::kHyWireResultsChanged, RequestKind::kHyWireEventFile,
    RequestKind::kHyWireResultsRequest};
constexpr RequestKind kImageKinds[] = {RequestKind::kImageRequest};

const CAllRequestsRule kAllRequestsRules[] = {
    {kHyWireKinds,
     {u"Client is disabled in the security list and attempted to access HY-WIRE data.",
      u"Client not in the security list attempted HY-WIRE data access."}},
    {kImageKinds,
     {u"Client is disabled in the security list and attempted to access image data.",
      u"Client not in the security list attempted image data access."}},
};

bool Lists(std::span<const RequestKind> kinds, RequestKind kind) {
    return std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
}

const CProductRule* RuleOfKind(RequestKind kind) {
    for (const CProductRule& rule : kProductRules)
        if (Lists(rule.kinds, kind)) return &rule;
    return nullptr;
}

std::optional<CProductTexts> AllRequestsGuardTexts(RequestKind kind) {
    for (const CAllRequestsRule& rule : kAllRequestsRules)
        if (Lists(rule.kinds, kind)) return rule.refusal;
    return std::nullopt;
}

bool SwitchOn(const CKestromSettings& settings, const CProductRule& rule) {
    return settings.*rule.securitySwitch;
}

bool Allows(const CAccessControlItem& entry, const CProductRule& rule) {
    return entry.enabled != 0 && entry.*rule.permission != 0;
}

// The operator decides on an unknown client; the message that raised the prompt is refused
// either way, and the client's next message meets the list as it then stands.
void PromptForUnknownClient(CAdmissionContext& context, const std::u16string& macText,
                            CCommandProcessor& processor) {
    COperatorInterface& op = context.op;
    op.AddLogLine(Parenthesised(macText,
                                u"Client not in the security list attempted to access "
                                u"Kestrom data."),
                  LogLevel::kPlain);
    processor.SendReply(kRefusalCode);
    if (const std::optional<std::u16string> reason = context.prompts.HeldBack()) {
        op.AddLogLine(*reason, LogLevel::kPlain);
        return;
    }
    CAccessControlItem entry;
    SplitMacText(macText, entry);
    if (!op.PromptAddClient(entry)) {
        op.AddLogLine(Parenthesised(macText,
                                    u"Client not in the Access Control List has NOT been "
                                    u"added to the list."),
                      LogLevel::kPlain);
        return;
    }
    context.accessList.Append({entry});
    op.AddLogLine(
        Parenthesised(macText,
                      u"Client not in the Access Control List has been added to the list."),
        LogLevel::kPlain);
    // The front ends have no message box on this path; the storage message goes to the event
    // log as an error instead. The entry stays in the list either way.
    if (const CStatus saved = SaveAccessList(context.accessList); !saved)
        op.AddLogLine(saved.Detail(), LogLevel::kError);
}

void Observe(CAdmissionContext& context, std::u16string_view ip, std::u16string_view mac,
             RequestKind kind, bool refused) {
    if (context.observer) context.observer->OnMessage(ip, mac, kind, refused);
}

}  // namespace

std::optional<CProduct> GuardedProductOfKind(RequestKind kind) {
    if (const CProductRule* rule = RuleOfKind(kind)) return rule->product;
    return std::nullopt;
}

void Admit(CAdmissionContext& context, std::u16string_view peerIpText, RequestKind kind,
           std::u16string_view message, CCommandProcessor& processor) {
    COperatorInterface& op = context.op;
    // The snapshot the processor took when the message arrived: one per message.
    const CKestromSettings& settings = processor.Settings();
    const CProductRule* const rule = RuleOfKind(kind);

    std::u16string macText;
    if (auto address = CMacLookup::FromEnvironment().HardwareAddress(peerIpText)) {
        macText = FormatMacText(*address);
    } else {
        std::u16string line = u"Unable to retrieve MAC Address for device at ";
        line += peerIpText;
        op.AddLogLine(line, LogLevel::kError);
    }

    std::u16string label(peerIpText);
    if (settings.SecurityEnabled) {
        label = macText;
        const std::optional<CAccessControlItem> entry = context.accessList.FindByMacText(macText);
        if (entry && !entry->name.empty()) label = entry->name;

        if (peerIpText == kLoopbackAddress) {
            op.AddLogLine(
                u"Kestrom security will not work in loopback (IP Address = 127.0.0.1) "
                u"mode",
                LogLevel::kPlain);
        } else if (!entry && context.prompts.Enabled()) {
            Observe(context, peerIpText, macText, kind, true);
            PromptForUnknownClient(context, macText, processor);
            return;
        } else {
            std::optional<CProductTexts> refusal;
            if (rule) {
                if (SwitchOn(settings, *rule) && !(entry && Allows(*entry, *rule)))
                    refusal = rule->refusal;
            } else if (settings.AllRequestsSecurityEnabled && !(entry && entry->enabled)) {
                refusal = AllRequestsGuardTexts(kind);
            }
            if (refusal) {
                op.AddLogLine(Parenthesised(label, entry ? refusal->disabled : refusal->notListed),
                              LogLevel::kPlain);
                processor.SendReply(kRefusalCode);
                Observe(context, peerIpText, macText, kind, true);
                return;
            }
        }
    }

    // The grid is refreshed after the list's lock is released: the desktop front end reads
    // the counts on its own thread while this one waits.
    if (rule && SwitchOn(settings, *rule) && context.clients.Record(rule->product, peerIpText))
        op.RefreshProductGrid();

    Observe(context, peerIpText, macText, kind, false);
    processor.SetPeer(peerIpText, macText);
    processor.Dispatch(kind, message, label);
}

}  // namespace kestrom
