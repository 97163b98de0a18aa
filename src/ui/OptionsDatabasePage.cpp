#include "ui/OptionsDatabasePage.h"

#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

namespace kestrom {

COptionsDatabasePage::COptionsDatabasePage(CSharedSettings& settings, QWidget* parent)
    : COptionsPage(parent), settings_(settings) {}

void COptionsDatabasePage::Create() {
    auto* group = new QGroupBox(QStringLiteral("Code Set"), this);
    singleByte_ = new QRadioButton(QStringLiteral("Single Byte"), group);
    unicode_ = new QRadioButton(QStringLiteral("Unicode"), group);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(singleByte_);
    groupLayout->addWidget(unicode_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addStretch();

    const int charMode = settings_.Get().CharMode;
    singleByte_->setChecked(charMode == 0);
    unicode_->setChecked(charMode == 1);
}

void COptionsDatabasePage::Apply() {
    // A stored mode that neither button shows stays as it was unless the operator picks one.
    if (!singleByte_->isChecked() && !unicode_->isChecked()) return;
    const int charMode = unicode_->isChecked() ? 1 : 0;
    // Connection threads take the settings per message, so the next message uses it.
    settings_.Update([&](CKestromSettings& s) { s.CharMode = charMode; });
}

}  // namespace kestrom
