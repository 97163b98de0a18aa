#include "ui/OptionsDatabasePage.h"

#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/QtBridge.h"
#include "window/OptionsRules.h"
#include "window/WindowTexts.h"

namespace kestrom {

COptionsDatabasePage::COptionsDatabasePage(CSharedSettings& settings, QWidget* parent)
    : COptionsPage(parent), settings_(settings) {}

void COptionsDatabasePage::Create() {
    auto* group = new QGroupBox(Qs(texts::kCodeSetGroup), this);
    singleByte_ = new QRadioButton(Qs(texts::kSingleByte), group);
    unicode_ = new QRadioButton(Qs(texts::kUnicode), group);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(singleByte_);
    groupLayout->addWidget(unicode_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addStretch();

    const CCodeSetButtons buttons = CodeSetButtonsOf(settings_.Get().CharMode);
    singleByte_->setChecked(buttons.singleByte);
    unicode_->setChecked(buttons.unicode);
}

void COptionsDatabasePage::Apply() {
    const std::optional<int> charMode =
        CharModeOf({singleByte_->isChecked(), unicode_->isChecked()});
    if (!charMode) return;
    // Connection threads take the settings per message, so the next message uses it.
    settings_.Update([&](CKestromSettings& s) { s.CharMode = *charMode; });
}

}  // namespace kestrom
