#include "security/Admission.h"

#include "protocol/CommandProcessor.h"

namespace kestrom {

// Until access control is in place every message is dispatched under the peer's address.
void Admit(CAdmissionContext&, std::u16string_view peerIpText, int kind,
           const std::u16string& message, CCommandProcessor& processor) {
    processor.Dispatch(kind, message, peerIpText);
}

}  // namespace kestrom
