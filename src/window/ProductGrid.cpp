#include "window/ProductGrid.h"

#include "base/TextConvert.h"
#include "window/WindowTexts.h"

namespace kestrom {

CProductCounts ProductCountsOf(const CClientAddressLists& clients) {
    return {clients.Count(CProduct::FieldOrvo), clients.Count(CProduct::ClerkOrvo),
            clients.Count(CProduct::Wenlow)};
}

std::u16string ProductGridCell(int row, int column, const CProductCounts& counts) {
    if (row < 0 || row >= kGridRows || column < 0 || column >= kGridColumns) return {};
    if (row == 0) {
        constexpr std::u16string_view titles[] = {texts::kGridProduct, texts::kGridEnabled,
                                                  texts::kGridClients, texts::kGridConnected};
        return std::u16string(titles[column]);
    }
    switch (column) {
        case 0: {
            constexpr std::u16string_view products[] = {texts::kFieldOrvo, texts::kClerkOrvo,
                                                        texts::kWenlow, texts::kHyWire};
            return std::u16string(products[row - 1]);
        }
        case 1:
            return std::u16string(texts::kGridYes);
        case 2:
            return std::u16string(texts::kGridUnlimited);
        default: {
            // HY-WIRE clients are not counted: its cell stays empty.
            const int connected[] = {counts.fieldOrvo, counts.clerkOrvo, counts.wenlow};
            return row < 4 ? U16(std::to_string(connected[row - 1])) : std::u16string();
        }
    }
}

}  // namespace kestrom
