#pragma once
// Free space in a folder's file system, for an unprivileged writer.
#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrom {

// Nothing when it cannot be told. An empty folder is the current one.
std::optional<std::uint64_t> FreeBytesIn(std::u16string_view folder);

}  // namespace kestrom
