#include "server/MessageDispatch.h"

#include <string>

#include "wire/CommandTable.h"

namespace kestrom {

namespace {

class CAdmittedConnection : public CConnectionHandler {
  public:
    CAdmittedConnection(CRequestContext& requestContext, CAdmissionContext& admissionContext,
                        std::u16string_view peerIp, CReplyChannel& channel)
        : admissionContext_(admissionContext),
          peerIp_(peerIp),
          processor_(requestContext, channel) {}

    WireMode BeginRead() override {
        processor_.TakeSettings();
        return processor_.Mode();
    }

    void Serve(std::u16string_view message) override {
        Admit(admissionContext_, peerIp_, LookupCommand(message), message, processor_);
    }

  private:
    CAdmissionContext& admissionContext_;
    const std::u16string peerIp_;
    // One for the whole connection; it takes the settings afresh for every read, so a
    // message is framed and answered in the one character mode.
    CCommandProcessor processor_;
};

}  // namespace

std::unique_ptr<CConnectionHandler> CAdmittingHandler::Open(std::u16string_view peerIp,
                                                            CReplyChannel& channel) {
    return std::make_unique<CAdmittedConnection>(requestContext_, admissionContext_, peerIp,
                                                 channel);
}

}  // namespace kestrom
