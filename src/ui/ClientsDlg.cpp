#include "ui/ClientsDlg.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/QtBridge.h"
#include "window/WindowTexts.h"

namespace kestrom {

CClientsDlg::CClientsDlg(CProduct product, const std::vector<std::u16string>& addresses,
                         QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(Qs(ClientsDlgTitleText(product, static_cast<int>(addresses.size()))));
    auto* list = new QListWidget(this);
    list->setObjectName(QStringLiteral("clientList"));
    list->setSortingEnabled(true);
    for (const auto& address : addresses) list->addItem(QString::fromStdU16String(address));
    auto* close = new QPushButton(Qs(texts::kClose), this);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list);
    layout->addLayout(buttons);
    resize(300, 320);
}

}  // namespace kestrom
