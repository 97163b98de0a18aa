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

std::array<int32_t, 4> FlagsOf(const CAccessControlItem& e) {
    return {e.enabled, e.allowWenlow, e.allowClerkOrvo, e.allowFieldOrvo};
}

void SetFlags(CAccessControlItem& e, const std::array<int32_t, 4>& flags) {
    e.enabled = flags[0];
    e.allowWenlow = flags[1];
    e.allowClerkOrvo = flags[2];
    e.allowFieldOrvo = flags[3];
}

std::array<std::u16string*, 6> MacBytesOf(CAccessControlItem& e) {
    return {&e.macByte1, &e.macByte2, &e.macByte3, &e.macByte4, &e.macByte5, &e.macByte6};
}

CAddUpdateSecurityItemDlg::Mode ModeOf(size_t selected, bool prompt) {
    using Mode = CAddUpdateSecurityItemDlg::Mode;
    if (prompt) return Mode::Prompt;
    if (selected == 0) return Mode::Add;
    return selected == 1 ? Mode::UpdateOne : Mode::UpdateSeveral;
}

}  // namespace

QMessageBox::StandardButton ShowKestromMessageBox(QWidget* parent, QMessageBox::Icon icon,
                                                  const QString& text,
                                                  QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, QStringLiteral("Kestrom"), text, buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

CAddUpdateSecurityItemDlg::CAddUpdateSecurityItemDlg(std::vector<CAccessControlItem> list,
                                                     std::vector<int> selection,
                                                     CProductSwitches products, bool prompt,
                                                     QWidget* parent, CMessageBoxFn messageBox)
    : QDialog(parent),
      list_(std::move(list)),
      selection_(std::move(selection)),
      products_(products),
      mode_(ModeOf(selection_.size(), prompt)),
      messageBox_(messageBox ? std::move(messageBox) : CMessageBoxFn(&ShowKestromMessageBox)) {
    // A selection that does not name entries of the list would make OK write out of bounds;
    // such indices are dropped.
    std::erase_if(selection_,
                  [this](int i) { return i < 0 || static_cast<size_t>(i) >= list_.size(); });
    if (prompt && selection_.empty()) mode_ = Mode::Add;
    BuildControls();

    if (mode_ == Mode::UpdateOne || mode_ == Mode::Prompt) {
        CAccessControlItem& entry = list_[selection_.front()];
        const auto bytes = MacBytesOf(entry);
        for (int i = 0; i < 6; ++i) macTexts_[i] = QString::fromStdU16String(*bytes[i]);
        name_ = QString::fromStdU16String(entry.name);
        const auto flags = FlagsOf(entry);
        for (int b = 0; b < 4; ++b) boxValues_[b] = flags[b] != 0 ? kBoxTicked : kBoxClear;
    } else if (mode_ == Mode::UpdateSeveral) {
        for (QLineEdit* edit : macEdits_) edit->setEnabled(false);
        nameEdit_->setEnabled(false);
        const auto first = FlagsOf(list_[selection_.front()]);
        for (int b = 0; b < 4; ++b) {
            boxValues_[b] = first[b] != 0 ? kBoxTicked : kBoxClear;
            for (int index : selection_) {
                if (FlagsOf(list_[index])[b] != first[b]) boxValues_[b] = kBoxIndeterminate;
            }
        }
    } else {
        boxValues_ = {kBoxTicked, kBoxClear, kBoxClear, kBoxClear};
    }

    question_->setVisible(mode_ == Mode::Prompt);
    okButton_->setEnabled(mode_ == Mode::Prompt);
    ShowValues();
    setWindowTitle(mode_ == Mode::UpdateOne ? QStringLiteral("Update Access Control Client")
                                            : QStringLiteral("Add MAC Address"));
    QWidget* first = mode_ == Mode::Prompt ? static_cast<QWidget*>(nameEdit_) : macEdits_[0];
    first->setFocus();
}

void CAddUpdateSecurityItemDlg::BuildControls() {
    auto* client = new QGroupBox(QStringLiteral("Client Information"), this);
    auto* clientLayout = new QGridLayout(client);
    clientLayout->addWidget(new QLabel(QStringLiteral("MAC Address:"), client), 0, 0);
    auto* macRow = new QHBoxLayout;
    for (int i = 0; i < 6; ++i) {
        if (i > 0) macRow->addWidget(new QLabel(QStringLiteral(":"), client));
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
    clientLayout->addWidget(new QLabel(QStringLiteral("Name (optional):"), client), 1, 0);
    nameEdit_ = new QLineEdit(client);
    nameEdit_->setObjectName(QStringLiteral("nameEdit"));
    connect(nameEdit_, &QLineEdit::textEdited, this, [this] {
        TakeValues();
        okButton_->setEnabled(true);
    });
    clientLayout->addWidget(nameEdit_, 1, 1);

    auto* access = new QGroupBox(QStringLiteral("Access Control"), this);
    auto* accessLayout = new QVBoxLayout(access);
    const std::array<QString, 4> labels = {QStringLiteral("Enable"), QStringLiteral("Wenlow"),
                                           QStringLiteral("ClerkOrvo"),
                                           QStringLiteral("FieldOrvo")};
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

    question_ = new QLabel(QStringLiteral("Do you wish to add this MAC Address?"), this);
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
    for (int i = 0; i < 6; ++i) macEdits_[i]->setText(macTexts_[i]);
    nameEdit_->setText(name_);
    for (int b = 0; b < 4; ++b) boxes_[b]->setCheckState(ToCheckState(boxValues_[b]));
    UpdateProductBoxes();
}

void CAddUpdateSecurityItemDlg::TakeValues() {
    for (int i = 0; i < 6; ++i) macTexts_[i] = macEdits_[i]->text();
    name_ = nameEdit_->text();
    for (int b = 0; b < 4; ++b) boxValues_[b] = ToBoxValue(boxes_[b]->checkState());
}

void CAddUpdateSecurityItemDlg::UpdateProductBoxes() {
    const bool enable = boxValues_[0] != kBoxClear;
    boxes_[1]->setEnabled(products_.wenlow && enable);
    boxes_[2]->setEnabled(products_.clerkOrvo && enable);
    boxes_[3]->setEnabled(products_.fieldOrvo && enable);
}

void CAddUpdateSecurityItemDlg::OnMacEdited(int index) {
    const QString previous = macTexts_[index];
    TakeValues();
    const QString text = macTexts_[index];
    for (QChar c : text) {
        if (!c.isLetterOrNumber()) {
            Tell(QStringLiteral("Valid characters are 0-9, A-Z"));
            macTexts_[index] = previous;
            macEdits_[index]->setText(previous);
            return;
        }
    }
    okButton_->setEnabled(true);
    // Typing runs on through the six edits.
    if (index < 5 && text.size() == 2) {
        macEdits_[index + 1]->setFocus();
        macEdits_[index + 1]->selectAll();
    }
}

void CAddUpdateSecurityItemDlg::OnBoxClicked(int box) {
    TakeValues();
    if (boxValues_[box] == kBoxIndeterminate) {
        boxValues_[box] = kBoxClear;
        ShowValues();
    }
    if (box == 0) UpdateProductBoxes();
    okButton_->setEnabled(true);
}

bool CAddUpdateSecurityItemDlg::IsDuplicate(const std::u16string& macText, int skip) const {
    for (size_t i = 0; i < list_.size(); ++i) {
        if (static_cast<int>(i) != skip && list_[i].GetMacText() == macText) return true;
    }
    return false;
}

void CAddUpdateSecurityItemDlg::Tell(const QString& text) {
    messageBox_(this, QMessageBox::NoIcon, text, QMessageBox::Ok);
}

void CAddUpdateSecurityItemDlg::accept() {
    TakeValues();
    if (mode_ == Mode::Add) {
        for (const QString& text : macTexts_) {
            if (text.size() != 2) {
                Tell(
                    QStringLiteral("You have entered an incomplete MAC address.  The MAC "
                                   "Address must be 12 bytes long."));
                return;
            }
        }
    }
    // Stored upper case, so the same address typed in either case is one address.
    for (QString& text : macTexts_) text = text.toUpper();
    ShowValues();
    CAccessControlItem entered;
    const auto enteredBytes = MacBytesOf(entered);
    for (int i = 0; i < 6; ++i) *enteredBytes[i] = macTexts_[i].toStdU16String();
    entered.name = name_.toStdU16String();

    if (mode_ == Mode::Add) {
        if (IsDuplicate(entered.GetMacText(), -1)) {
            Tell(QStringLiteral("A client with that MAC address already exists."));
            return;
        }
    } else if (mode_ != Mode::UpdateSeveral) {
        // Only a changed address or name can collide with another entry; one that collided
        // already when it was loaded can still have its permissions changed.
        const int selected = selection_.front();
        const CAccessControlItem& old = list_[selected];
        const bool changed = old.GetMacText() != entered.GetMacText() || old.name != entered.name;
        if (changed && IsDuplicate(entered.GetMacText(), selected)) {
            Tell(QStringLiteral("A client with that MAC address already exists."));
            return;
        }
    }

    if (mode_ == Mode::Add) {
        SetFlags(entered, {boxValues_[0], boxValues_[1], boxValues_[2], boxValues_[3]});
        list_.push_back(entered);
    } else {
        for (int index : selection_) {
            CAccessControlItem updated = list_[index];
            if (mode_ != Mode::UpdateSeveral) {
                const auto bytes = MacBytesOf(updated);
                for (int i = 0; i < 6; ++i) *bytes[i] = *enteredBytes[i];
                updated.name = entered.name;
            }
            auto flags = FlagsOf(updated);
            for (int b = 0; b < 4; ++b) {
                if (boxValues_[b] != kBoxIndeterminate) flags[b] = boxValues_[b];
            }
            SetFlags(updated, flags);
            list_[index] = updated;
        }
    }
    QDialog::accept();
}

}  // namespace kestrom
