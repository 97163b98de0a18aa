#include "protocol/Handlers.h"

namespace kestrom {

// Not served yet: no reply.
void HandleAthleteListRequest(CCommandProcessor&, int, const std::u16string&) {}

}  // namespace kestrom
