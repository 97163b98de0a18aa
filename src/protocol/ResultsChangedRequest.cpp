#include "protocol/Handlers.h"

namespace kestrom {

// Not served yet: no reply.
void HandleResultsChangedRequest(CCommandProcessor&, int, const std::u16string&) {}

}  // namespace kestrom
