#include "ui/OptionsGeneralPage.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

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
        reset = new QPushButton(QStringLiteral("Reset"), this);
        grid->addWidget(reset, row, 2);
    };
    makeRow(0, QStringLiteral("Send Buffer Size:"), sendEdit_, sendReset_,
            QStringLiteral("sendBufferEdit"));
    makeRow(1, QStringLiteral("Receive Buffer Size:"), receiveEdit_, receiveReset_,
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
    layout->addWidget(new QLabel(
        QStringLiteral("** Kestrom requires a restart for this change to take effect."), this));
    layout->addStretch();
}

bool COptionsGeneralPage::CheckInteger(QLineEdit* edit) {
    bool ok = false;
    edit->text().toInt(&ok);
    if (ok) return true;
    messageBox_(this, QMessageBox::Warning, QStringLiteral("Enter an integer."), QMessageBox::Ok);
    edit->setFocus();
    edit->selectAll();
    return false;
}

bool COptionsGeneralPage::Validate() {
    return CheckInteger(sendEdit_) && CheckInteger(receiveEdit_);
}

void COptionsGeneralPage::Apply() {
    const int send = sendEdit_->text().toInt();
    const int receive = receiveEdit_->text().toInt();
    // Used when the listener is next created, that is after a restart.
    settings_.Update([&](CKestromSettings& s) {
        s.TCPSendBufferSize = send;
        s.TCPReceiveBufferSize = receive;
    });
}

}  // namespace kestrom
