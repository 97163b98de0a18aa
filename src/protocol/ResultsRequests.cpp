#include "protocol/Handlers.h"

namespace kestrom {

// Not served yet: no reply.
void HandleResultsRequest(CCommandProcessor&, int, const std::u16string&) {}

}  // namespace kestrom
