#pragma once
// How the server serves the messages the listener hands over: each goes through admission
// (MAC lookup, access list, product rules) and, when admitted, to the command processor.
#include <memory>
#include <string_view>

#include "net/MessageHandler.h"
#include "protocol/CommandProcessor.h"
#include "security/Admission.h"

namespace kestrom {

class CAdmittingHandler : public CMessageHandler {
  public:
    CAdmittingHandler(CRequestContext& requestContext, CAdmissionContext& admissionContext)
        : requestContext_(requestContext), admissionContext_(admissionContext) {}

    std::unique_ptr<CConnectionHandler> Open(std::u16string_view peerIp,
                                             CReplyChannel& channel) override;

  private:
    CRequestContext& requestContext_;
    CAdmissionContext& admissionContext_;
};

}  // namespace kestrom
