#include "window/WindowTexts.h"

#include "app/CommandLine.h"
#include "base/TextConvert.h"
#include "core/Version.h"
#include "window/PortField.h"

namespace kestrom {
namespace {

std::u16string Number(long long value) {
    return U16(std::to_string(value));
}

}  // namespace

std::u16string MainWindowTitle() {
    return std::u16string(texts::kMainTitlePrefix) + U16(kKestromVersion);
}

std::u16string PortRangeText() {
    return std::u16string(texts::kPortRangePrefix) + Number(kPortMin) +
           std::u16string(texts::kPortRangeAnd) + Number(kMaxPortNumber) +
           std::u16string(texts::kPortRangeEnd);
}

std::u16string_view ProductName(CProduct product) {
    switch (product) {
        case CProduct::Wenlow:
            return texts::kWenlow;
        case CProduct::FieldOrvo:
            return texts::kFieldOrvo;
        case CProduct::ClerkOrvo:
            break;
    }
    return texts::kClerkOrvo;
}

std::u16string ClientsDlgTitleText(CProduct product, int count) {
    return std::u16string(ProductName(product)) + std::u16string(texts::kClientsTitleMiddle) +
           Number(count) + std::u16string(texts::kClientsTitleEnd);
}

std::u16string MissingHelpFileText(std::u16string_view expectedPath) {
    return std::u16string(texts::kHelpFileMissing) + u": " + std::u16string(expectedPath);
}

std::u16string AboutVersionText() {
    // The version's suffix is empty in this release.
    return std::u16string(texts::kAboutVersionPrefix) + U16(kKestromVersion);
}

std::u16string AboutReleasedText() {
    return std::u16string(texts::kAboutReleasedPrefix) + std::u16string(texts::kReleaseDate);
}

}  // namespace kestrom
