#pragma once
// Widening, narrowing and searching runs of text several units at a time where the processor
// offers it: the event file is megabytes long and is read, searched and written whole for
// every start list.
#include <cstddef>
#include <string_view>

namespace kestrom {

// out[i] = in[i] for n bytes.
void WidenBytes(const unsigned char* in, std::size_t n, char16_t* out);

// out[i] = the low byte of in[i] for n units.
void NarrowUnits(const char16_t* in, std::size_t n, unsigned char* out);

// The position of the first unit at or after from, npos when there is none.
std::size_t FindUnit(std::u16string_view text, char16_t unit, std::size_t from = 0);

}  // namespace kestrom
