#include "protocol/Handlers.h"

namespace kestrom {

// Not served yet: no reply.
void HandleResultsUpload(CCommandProcessor&, int, const std::u16string&, std::u16string_view) {}

}  // namespace kestrom
