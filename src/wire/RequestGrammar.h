#pragma once
// The shared grammar of request messages: the payload boundaries every handler finds the
// same way. The control characters and the scrambling come from the wire.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "wire/WireChars.h"

namespace kestrom {

// Where the payload of a message lies: the first STX and the first ETX of the whole message.
struct CPayloadBounds {
    size_t stx = 0;
    size_t etx = 0;
    // The characters strictly between the two.
    std::u16string_view Payload(std::u16string_view message) const {
        return message.substr(stx + 1, etx - stx - 1);
    }
};

// The payload boundaries, or nothing when the request is incomplete: no STX, no ETX, or the
// first ETX before the first STX. Handlers log their own incomplete-command message then.
std::optional<CPayloadBounds> FindPayloadBounds(std::u16string_view message);

// The payload itself, or nothing when the request is incomplete (same rule as above).
std::optional<std::u16string_view> FindPayload(std::u16string_view message);

}  // namespace kestrom
