#include "ui/AboutDlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/QtBridge.h"
#include "window/WindowTexts.h"

namespace kestrom {

CAboutDlg::CAboutDlg(const QIcon& icon, QWidget* parent) : QDialog(parent) {
    setWindowTitle(Qs(texts::kAboutTitle));
    auto* picture = new QLabel(this);
    picture->setPixmap(icon.pixmap(48, 48));
    auto* lines = new QVBoxLayout;
    lines->addWidget(new QLabel(Qs(texts::kProgramName), this));
    lines->addWidget(new QLabel(Qs(AboutVersionText()), this));
    lines->addWidget(new QLabel(Qs(AboutReleasedText()), this));
    lines->addWidget(new QLabel(Qs(texts::kAboutDescription), this));
    lines->itemAt(lines->count() - 1)->widget()->setProperty("wordWrap", true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QGridLayout(this);
    layout->addWidget(picture, 0, 0, Qt::AlignTop);
    layout->addLayout(lines, 0, 1);
    layout->addWidget(buttons, 1, 0, 1, 2);
    setFixedWidth(380);
}

}  // namespace kestrom
