#include "protocol/Handlers.h"

namespace kestrom {

// Not served yet: no reply.
void HandleStartListUpload(CCommandProcessor&, int, const std::u16string&, std::u16string_view) {}

}  // namespace kestrom
