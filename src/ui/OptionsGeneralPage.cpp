#include "ui/OptionsGeneralPage.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "ui/QtBridge.h"
#include "window/OptionsRules.h"
#include "window/WindowTexts.h"

namespace kestrom {

COptionsGeneralPage::COptionsGeneralPage(CSharedSettings& settings, CMessageBoxFn messageBox,
                                         QWidget* parent)
    : COptionsPage(parent), settings_(settings), messageBox_(std::move(messageBox)) {}

void COptionsGeneralPage::Create() {
    const CKestromSettings s = settings_.Get();
    initSend_ = s.TCPInitSendBufferSize;
    initReceive_ = s.TCPInitReceiveBufferSize;

    auto* grid = new QGridLayout;
    // Only digits can be typed; the text is still checked as an integer when it is taken.
    auto* digits =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
    auto makeRow = [&](int row, const QString& label, QLineEdit*& edit, QPushButton*& reset,
                       const QString& name) {
        grid->addWidget(new QLabel(label, this), row, 0);
        edit = new QLineEdit(this);
        edit->setObjectName(name);
        edit->setValidator(digits);
        grid->addWidget(edit, row, 1);
        reset = new QPushButton(Qs(texts::kReset), this);
        grid->addWidget(reset, row, 2);
    };
    makeRow(0, Qs(texts::kSendBufferLabel), sendEdit_, sendReset_,
            QStringLiteral("sendBufferEdit"));
    makeRow(1, Qs(texts::kReceiveBufferLabel), receiveEdit_, receiveReset_,
            QStringLiteral("receiveBufferEdit"));
    sendEdit_->setText(QString::number(s.TCPSendBufferSize));
    receiveEdit_->setText(QString::number(s.TCPReceiveBufferSize));
    // Each Reset first takes the other edit with its integer check, as leaving the page would;
    // on a bad text that edit is selected and nothing is reset. What was typed there stays.
    connect(sendReset_, &QPushButton::clicked, this, [this] {
        if (CheckInteger(receiveEdit_)) sendEdit_->setText(QString::number(initSend_));
    });
    connect(receiveReset_, &QPushButton::clicked, this, [this] {
        if (CheckInteger(sendEdit_)) receiveEdit_->setText(QString::number(initReceive_));
    });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(new QLabel(Qs(texts::kRestartNote), this));
    layout->addStretch();
}

bool COptionsGeneralPage::CheckInteger(QLineEdit* edit) {
    if (ReadIntegerText(edit->text().toStdU16String())) return true;
    messageBox_(this, QMessageBox::Warning, Qs(texts::kNotAnInteger), QMessageBox::Ok);
    edit->setFocus();
    edit->selectAll();
    return false;
}

bool COptionsGeneralPage::Validate() {
    return CheckInteger(sendEdit_) && CheckInteger(receiveEdit_);
}

void COptionsGeneralPage::Apply() {
    // Both were checked as the page was left or confirmed.
    const int send = ReadIntegerText(sendEdit_->text().toStdU16String()).value_or(0);
    const int receive = ReadIntegerText(receiveEdit_->text().toStdU16String()).value_or(0);
    // Used when the listener is next created, that is after a restart.
    settings_.Update([&](CKestromSettings& s) {
        s.TCPSendBufferSize = send;
        s.TCPReceiveBufferSize = receive;
    });
}

}  // namespace kestrom
