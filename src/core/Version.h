#pragma once
// The program version: part of the settings key, the window title and the protocol's version
// reply.
#include <string_view>

namespace kestrom {

inline constexpr std::string_view kKestromVersion = "3.23";

}  // namespace kestrom
