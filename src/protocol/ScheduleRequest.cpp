#include "protocol/Handlers.h"

namespace kestrom {

// Not served yet: no reply.
void HandleScheduleRequest(CCommandProcessor&, int, const std::u16string&, bool) {}

}  // namespace kestrom
