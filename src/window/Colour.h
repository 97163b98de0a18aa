#pragma once
// The colours the window paints with, as red, green and blue.
#include <cstdint>

namespace kestrom {

struct CRgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    bool operator==(const CRgb&) const = default;
};

// The product names of the grid.
inline constexpr CRgb kProductCellColour{0x90, 0xFF, 0x90};
// The security page's list.
inline constexpr CRgb kTextColour{0, 0, 0};
inline constexpr CRgb kYesColour{0, 210, 0};
inline constexpr CRgb kNoColour{255, 0, 0};
inline constexpr CRgb kActiveRowColour{255, 255, 255};
inline constexpr CRgb kInactiveRowColour{210, 210, 210};
// A balloon drawn inside the window where the desktop has no notification area.
inline constexpr CRgb kBalloonColour{0xFF, 0xFF, 0xE1};

}  // namespace kestrom
