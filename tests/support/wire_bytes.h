#pragma once
// Expected wire bytes for tests, built by the wire's own record and encoding functions (whose
// bytes tests/wire pins). Texts are given one byte a character, as test literals are.
#include <string>
#include <string_view>

#include "wire/Records.h"
#include "wire/WireText.h"

namespace kestrom::testing {

// `text` (one byte a character) as it travels in `mode`.
inline std::string WireBytes(std::string_view text, WireMode mode) {
    return Encode(Decode(text, WireMode::kSingleByte), mode);
}

// The reply record SOH code ",PSZ=" size STX payload ETX EOT as the server sends it in `mode`.
inline std::string ReplyBytes(std::string_view code, std::string_view payload = {},
                              WireMode mode = WireMode::kSingleByte) {
    const auto chars = [](std::string_view t) { return Decode(t, WireMode::kSingleByte); };
    return Encode(BuildReplyRecord(chars(code), chars(payload), mode), mode);
}

}  // namespace kestrom::testing
