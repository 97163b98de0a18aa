#include "ui/AddUpdateSecurityItemDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/QtBridge.h"
#include "window/WindowTexts.h"

namespace kestrom {
namespace {

// A three-state box whose click never lands on indeterminate: a mixed value can be kept by
// leaving the box alone, and one click settles it to clear, after which it alternates
// between ticked and clear.
class CThreeStateBox : public QCheckBox {
  public:
    using QCheckBox::QCheckBox;

  protected:
    void nextCheckState() override {
        setCheckState(checkState() == Qt::Unchecked ? Qt::Checked : Qt::Unchecked);
    }
};

Qt::CheckState ToCheckState(int value) {
    switch (value) {
        case kBoxTicked:
            return Qt::Checked;
        case kBoxIndeterminate:
            return Qt::PartiallyChecked;
        default:
            return Qt::Unchecked;
    }
}

int ToBoxValue(Qt::CheckState state) {
    switch (state) {
        case Qt::Checked:
            return kBoxTicked;
        case Qt::PartiallyChecked:
            return kBoxIndeterminate;
        default:
            return kBoxClear;
    }
}

}  // namespace

QMessageBox::StandardButton ShowKestromMessageBox(QWidget* parent, QMessageBox::Icon icon,
                                                  const QString& text,
                                                  QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, Qs(texts::kMessageBoxTitle), text, buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

CAddUpdateSecurityItemDlg::CAddUpdateSecurityItemDlg(std::vector<CAccessControlItem> list,
                                                     std::vector<int> selection,
                                                     CProductSwitches products, bool prompt,
                                                     QWidget* parent, CMessageBoxFn messageBox)
    : QDialog(parent),
      editor_(std::move(list), std::move(selection), products, prompt),
      messageBox_(messageBox ? std::move(messageBox) : CMessageBoxFn(&ShowKestromMessageBox)) {
    BuildControls();
    if (!editor_.MacAndNameEditable()) {
        for (QLineEdit* edit : macEdits_) edit->setEnabled(false);
        nameEdit_->setEnabled(false);
    }
    question_->setVisible(editor_.QuestionShown());
    UpdateOkButton();
    ShowValues();
    setWindowTitle(Qs(editor_.Title()));
    QWidget* first = editor_.FirstFocusOnName() ? static_cast<QWidget*>(nameEdit_) : macEdits_[0];
    first->setFocus();
}

void CAddUpdateSecurityItemDlg::BuildControls() {
    auto* client = new QGroupBox(Qs(texts::kClientInformationGroup), this);
    auto* clientLayout = new QGridLayout(client);
    clientLayout->addWidget(new QLabel(Qs(texts::kMacLabel), client), 0, 0);
    auto* macRow = new QHBoxLayout;
    for (int i = 0; i < 6; ++i) {
        if (i > 0) macRow->addWidget(new QLabel(Qs(texts::kMacSeparator), client));
        auto* edit = new QLineEdit(client);
        edit->setObjectName(QStringLiteral("macByte%1").arg(i + 1));
        edit->setMaxLength(2);
        edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("WW")) + 14);
        // Only the operator's typing counts as a change; texts the dialog puts in do not.
        connect(edit, &QLineEdit::textEdited, this, [this, i] { OnMacEdited(i); });
        macEdits_[i] = edit;
        macRow->addWidget(edit);
    }
    macRow->addStretch();
    clientLayout->addLayout(macRow, 0, 1);
    clientLayout->addWidget(new QLabel(Qs(texts::kNameLabel), client), 1, 0);
    nameEdit_ = new QLineEdit(client);
    nameEdit_->setObjectName(QStringLiteral("nameEdit"));
    connect(nameEdit_, &QLineEdit::textEdited, this, [this] {
        editor_.NameEdited(Taken());
        UpdateOkButton();
    });
    clientLayout->addWidget(nameEdit_, 1, 1);

    auto* access = new QGroupBox(Qs(texts::kAccessControlGroup), this);
    auto* accessLayout = new QVBoxLayout(access);
    const std::array<QString, 4> labels = {Qs(texts::kEnableBox), Qs(texts::kWenlow),
                                           Qs(texts::kClerkOrvo), Qs(texts::kFieldOrvo)};
    for (int b = 0; b < 4; ++b) {
        auto* box = new CThreeStateBox(labels[b], access);
        box->setTristate(true);
        box->setObjectName(labels[b].toLower() + QStringLiteral("Box"));
        connect(box, &QCheckBox::clicked, this, [this, b] { OnBoxClicked(b); });
        boxes_[b] = box;
        if (b == 0) {
            accessLayout->addWidget(box);
        } else {
            // The product boxes sit indented under "Enable".
            auto* row = new QHBoxLayout;
            row->addSpacing(20);
            row->addWidget(box);
            accessLayout->addLayout(row);
        }
    }

    question_ = new QLabel(Qs(texts::kAddQuestion), this);
    question_->setAlignment(Qt::AlignCenter);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    okButton_ = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &CAddUpdateSecurityItemDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CAddUpdateSecurityItemDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(client);
    layout->addWidget(access);
    layout->addWidget(question_);
    layout->addWidget(buttons);
}

void CAddUpdateSecurityItemDlg::ShowValues() {
    const CSecurityItemValues& values = editor_.Values();
    for (int i = 0; i < 6; ++i) macEdits_[i]->setText(Qs(values.macBytes[i]));
    nameEdit_->setText(Qs(values.name));
    for (int b = 0; b < 4; ++b) boxes_[b]->setCheckState(ToCheckState(values.boxes[b]));
    UpdateProductBoxes();
}

CSecurityItemValues CAddUpdateSecurityItemDlg::Taken() const {
    CSecurityItemValues values;
    for (int i = 0; i < 6; ++i) values.macBytes[i] = macEdits_[i]->text().toStdU16String();
    values.name = nameEdit_->text().toStdU16String();
    for (int b = 0; b < 4; ++b) values.boxes[b] = ToBoxValue(boxes_[b]->checkState());
    return values;
}

void CAddUpdateSecurityItemDlg::UpdateProductBoxes() {
    for (int b = 1; b < 4; ++b) boxes_[b]->setEnabled(editor_.ProductBoxUsable(b));
}

void CAddUpdateSecurityItemDlg::UpdateOkButton() {
    okButton_->setEnabled(editor_.OkEnabled());
}

void CAddUpdateSecurityItemDlg::OnMacEdited(int index) {
    const CSecurityItemEditor::CMacEdit edit = editor_.MacEdited(index, Taken());
    if (!edit.refusal.empty()) {
        Tell(edit.refusal);
        macEdits_[index]->setText(Qs(editor_.Values().macBytes[index]));
        return;
    }
    UpdateOkButton();
    // Typing runs on through the six edits.
    if (edit.moveFocusOn) {
        macEdits_[index + 1]->setFocus();
        macEdits_[index + 1]->selectAll();
    }
}

void CAddUpdateSecurityItemDlg::OnBoxClicked(int box) {
    if (editor_.BoxClicked(box, Taken())) ShowValues();
    if (box == 0) UpdateProductBoxes();
    UpdateOkButton();
}

void CAddUpdateSecurityItemDlg::Tell(std::u16string_view text) {
    messageBox_(this, QMessageBox::NoIcon, Qs(text), QMessageBox::Ok);
}

void CAddUpdateSecurityItemDlg::accept() {
    const CSecurityItemEditor::CAccept result = editor_.Accept(Taken());
    if (result.showValues) ShowValues();
    if (!result.refusal.empty()) {
        Tell(result.refusal);
        return;
    }
    QDialog::accept();
}

}  // namespace kestrom
