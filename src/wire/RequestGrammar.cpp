#include "wire/RequestGrammar.h"

namespace kestrom {

std::optional<CPayloadBounds> FindPayloadBounds(std::u16string_view message) {
    const size_t stx = message.find(kSTX);
    const size_t etx = message.find(kETX);
    if (stx == std::u16string_view::npos || etx == std::u16string_view::npos || etx < stx)
        return std::nullopt;
    return CPayloadBounds{stx, etx};
}

std::optional<std::u16string_view> FindPayload(std::u16string_view message) {
    const auto bounds = FindPayloadBounds(message);
    if (!bounds) return std::nullopt;
    return bounds->Payload(message);
}

}  // namespace kestrom
