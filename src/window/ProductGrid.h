#pragma once
// What the "Enabled Products" grid shows: a title row and one row per client product with the
// number of clients admission has recorded for it.
#include <string>

#include "security/ClientAddressLists.h"

namespace kestrom {

inline constexpr int kGridRows = 5;
inline constexpr int kGridColumns = 4;

struct CProductCounts {
    int fieldOrvo = 0;
    int clerkOrvo = 0;
    int wenlow = 0;
};

CProductCounts ProductCountsOf(const CClientAddressLists& clients);

// The text of a cell; row 0 is the title row, column 0 holds the product names.
std::u16string ProductGridCell(int row, int column, const CProductCounts& counts);

}  // namespace kestrom
