#pragma once
// An access list entry built from its MAC text, name and four values, for the editor's tests
// in tests/window and tests/ui.
#include <string>
#include <string_view>

#include "security/AccessControlList.h"

namespace kestrom::testing {

inline CAccessControlItem Entry(std::u16string_view mac, std::u16string name = {}, int enabled = 0,
                                int wenlow = 0, int clerkOrvo = 0, int fieldOrvo = 0) {
    CAccessControlItem e;
    SplitMacText(mac, e);
    e.name = std::move(name);
    e.enabled = enabled;
    e.allowWenlow = wenlow;
    e.allowClerkOrvo = clerkOrvo;
    e.allowFieldOrvo = fieldOrvo;
    return e;
}

}  // namespace kestrom::testing
