#pragma once
// Admission of every complete request message: MAC lookup, access list, product checks,
// recording of client addresses, then dispatch.
#include <optional>
#include <string>
#include <string_view>

#include "core/OperatorInterface.h"
#include "protocol/RequestObserver.h"
#include "security/ClientAddressLists.h"
#include "security/PromptPolicy.h"
#include "wire/CommandTable.h"

namespace kestrom {

class CAccessControlList;
class CCommandProcessor;

// The settings come from the processor's snapshot of the message.
struct CAdmissionContext {
    COperatorInterface& op;
    CAccessControlList& accessList;
    CClientAddressLists& clients;
    // Whether an unknown client is put to the operator; the front end sets it.
    CPromptPolicy& prompts;
    // Told of each message and whether it was refused (the console's device board).
    CRequestObserver* observer = nullptr;
};

// The guarded product a request kind belongs to; none for HY-WIRE, image, reply and unknown
// kinds, which are never recorded, and checked only when AllRequestsSecurityEnabled is on
// (HY-WIRE and image kinds: an enabled entry admits them).
std::optional<CProduct> GuardedProductOfKind(RequestKind kind);

// Runs to its end on the connection's thread: a refusal reply, a prompt, or one dispatch.
void Admit(CAdmissionContext& context, std::u16string_view peerIpText, RequestKind kind,
           std::u16string_view message, CCommandProcessor& processor);

}  // namespace kestrom
