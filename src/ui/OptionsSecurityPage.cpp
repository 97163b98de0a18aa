#include "ui/OptionsSecurityPage.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "security/AccessListStorage.h"

namespace kestrom {
namespace {

QString YesNo(bool yes) {
    return yes ? QStringLiteral("Yes") : QStringLiteral("No");
}

}  // namespace

COptionsSecurityPage::COptionsSecurityPage(CSharedSettings& settings,
                                           CAccessControlList& accessList, CPromptPolicy& prompts,
                                           CMessageBoxFn messageBox, QWidget* parent)
    : COptionsPage(parent),
      settings_(settings),
      accessList_(accessList),
      prompts_(prompts),
      messageBox_(std::move(messageBox)) {}

void COptionsSecurityPage::Create() {
    working_ = accessList_.Snapshot();

    securityBox_ = new QCheckBox(QStringLiteral("Enable Security"), this);
    wenlowBox_ = new QCheckBox(QStringLiteral("Enable Wenlow Security"), this);
    clerkOrvoBox_ = new QCheckBox(QStringLiteral("Enable ClerkOrvo Security"), this);
    fieldOrvoBox_ = new QCheckBox(QStringLiteral("Enable FieldOrvo Security"), this);
    promptBox_ = new QCheckBox(QStringLiteral("Prompt to add clients attempting to connect "
                                              "which are not in the Access Control List"),
                               this);
    list_ = new QTreeWidget(this);
    list_->setRootIsDecorated(false);
    list_->setItemsExpandable(false);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setFixedSize(560, 180);
    list_->viewport()->installEventFilter(this);
    addButton_ = new QPushButton(QStringLiteral("&Add"), this);
    deleteButton_ = new QPushButton(QStringLiteral("&Delete"), this);
    updateButton_ = new QPushButton(QStringLiteral("&Update"), this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(securityBox_);
    for (QCheckBox* box : {wenlowBox_, clerkOrvoBox_, fieldOrvoBox_}) {
        auto* row = new QHBoxLayout;
        row->addSpacing(20);
        row->addWidget(box);
        layout->addLayout(row);
    }
    layout->addWidget(promptBox_);
    layout->addWidget(new QLabel(QStringLiteral("Access Control List"), this));
    layout->addWidget(list_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(addButton_);
    buttons->addWidget(deleteButton_);
    buttons->addWidget(updateButton_);
    layout->addLayout(buttons);

    const CKestromSettings s = settings_.Get();
    values_ = {s.SecurityEnabled, s.WenlowSecurityEnabled, s.ClerkOrvoSecurityEnabled,
               s.FieldOrvoSecurityEnabled, prompts_.Enabled()};
    ShowValues();
    const bool on = values_.security;
    for (QWidget* w : std::initializer_list<QWidget*>{wenlowBox_, clerkOrvoBox_, fieldOrvoBox_,
                                                      promptBox_, list_}) {
        w->setEnabled(on);
    }
    addButton_->setEnabled(on);
    deleteButton_->setEnabled(false);
    updateButton_->setEnabled(false);
    CreateColumns();
    Fill();

    connect(securityBox_, &QCheckBox::clicked, this, [this] { OnSecurityClicked(); });
    connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] { OnSelectionChanged(); });
    connect(addButton_, &QPushButton::clicked, this, [this] { OnAdd(); });
    connect(deleteButton_, &QPushButton::clicked, this, [this] { OnDelete(); });
    connect(updateButton_, &QPushButton::clicked, this, [this] { OnUpdate(); });
}

void COptionsSecurityPage::TakeValues() {
    values_ = {securityBox_->isChecked(), wenlowBox_->isChecked(), clerkOrvoBox_->isChecked(),
               fieldOrvoBox_->isChecked(), promptBox_->isChecked()};
}

void COptionsSecurityPage::ShowValues() {
    securityBox_->setChecked(values_.security);
    wenlowBox_->setChecked(values_.wenlow);
    clerkOrvoBox_->setChecked(values_.clerkOrvo);
    fieldOrvoBox_->setChecked(values_.fieldOrvo);
    promptBox_->setChecked(values_.prompt);
}

void COptionsSecurityPage::OnSecurityClicked() {
    TakeValues();
    const bool on = values_.security;
    // "&Delete" keeps its state: it follows the selection only.
    for (QWidget* w : std::initializer_list<QWidget*>{updateButton_, addButton_, list_, wenlowBox_,
                                                      clerkOrvoBox_, fieldOrvoBox_, promptBox_}) {
        w->setEnabled(on);
    }
    Recolour();
}

void COptionsSecurityPage::OnSelectionChanged() {
    const bool any = !list_->selectedItems().isEmpty();
    deleteButton_->setEnabled(any);
    updateButton_->setEnabled(any);
}

bool COptionsSecurityPage::eventFilter(QObject* watched, QEvent* event) {
    // A double click anywhere in the list, on a row or not, is "&Update"; the greyed-out
    // list of a page with security off takes none (Qt still hands the filter its clicks).
    if (watched == list_->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        if (list_->isEnabled()) OnUpdate();
        return true;
    }
    return COptionsPage::eventFilter(watched, event);
}

void COptionsSecurityPage::CreateColumns() {
    list_->setHeaderLabels({QStringLiteral("MAC Address"), QStringLiteral("Name"),
                            QStringLiteral("Enabled"), QStringLiteral("Wenlow"),
                            QStringLiteral("ClerkOrvo"), QStringLiteral("FieldOrvo")});
    const int width = list_->width() - 2 * list_->frameWidth();
    list_->header()->setStretchLastSection(false);
    list_->setColumnWidth(0, width / 4);
    list_->setColumnWidth(1, width / 4);
    for (int column = 2; column < 6; ++column) list_->setColumnWidth(column, width / 8);
    for (int column = 1; column < 6; ++column) {
        list_->headerItem()->setTextAlignment(column, Qt::AlignCenter);
    }
}

void COptionsSecurityPage::Fill() {
    const QSignalBlocker blocker(list_);
    list_->clear();
    for (size_t i = 0; i < working_.size(); ++i) {
        const CAccessControlItem& e = working_[i];
        const bool enabled = e.enabled != 0;
        const std::array<bool, 4> yes = {enabled, e.allowWenlow != 0 && values_.wenlow && enabled,
                                         e.allowClerkOrvo != 0 && values_.clerkOrvo && enabled,
                                         e.allowFieldOrvo != 0 && values_.fieldOrvo && enabled};
        auto* row = new QTreeWidgetItem(list_);
        row->setData(0, kEntryIndexRole, static_cast<int>(i));
        row->setText(0, QString::fromStdU16String(e.GetMacText()));
        row->setText(1, QString::fromStdU16String(e.name));
        row->setForeground(0, kTextColour);
        row->setForeground(1, kTextColour);
        row->setTextAlignment(1, Qt::AlignCenter);
        for (int column = 2; column < 6; ++column) {
            row->setText(column, YesNo(yes[column - 2]));
            row->setForeground(column, yes[column - 2] ? kYesColour : kNoColour);
            row->setTextAlignment(column, Qt::AlignCenter);
        }
    }
    Recolour();
}

void COptionsSecurityPage::Recolour() {
    for (int r = 0; r < list_->topLevelItemCount(); ++r) {
        QTreeWidgetItem* row = list_->topLevelItem(r);
        const int index = row->data(0, kEntryIndexRole).toInt();
        const bool active = values_.security && index >= 0 &&
                            static_cast<size_t>(index) < working_.size() &&
                            working_[index].enabled != 0;
        for (int column = 0; column < 6; ++column) {
            row->setBackground(column, active ? kActiveRowColour : kInactiveRowColour);
        }
    }
}

std::vector<int> COptionsSecurityPage::SelectedRows() const {
    std::vector<int> rows;
    for (QTreeWidgetItem* item : list_->selectedItems()) {
        rows.push_back(list_->indexOfTopLevelItem(item));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void COptionsSecurityPage::EditEntries(std::vector<int> selection) {
    CAddUpdateSecurityItemDlg dialog(working_, std::move(selection),
                                     {values_.wenlow, values_.clerkOrvo, values_.fieldOrvo}, false,
                                     this, messageBox_);
    if (dialog.exec() != QDialog::Accepted) return;
    working_ = dialog.List();
    Fill();
    // No row is selected after a fill.
    deleteButton_->setEnabled(false);
    updateButton_->setEnabled(false);
}

void COptionsSecurityPage::OnAdd() {
    TakeValues();
    EditEntries({});
}

void COptionsSecurityPage::OnUpdate() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) {
        messageBox_(this, QMessageBox::NoIcon, QStringLiteral("Please select an item"),
                    QMessageBox::Ok);
        return;
    }
    TakeValues();
    std::vector<int> selection;
    for (int r : rows)
        selection.push_back(list_->topLevelItem(r)->data(0, kEntryIndexRole).toInt());
    EditEntries(std::move(selection));
}

void COptionsSecurityPage::OnDelete() {
    const std::vector<int> rows = SelectedRows();
    if (!rows.empty() &&
        messageBox_(this, QMessageBox::Question,
                    QStringLiteral("Are you sure you want to delete the selected entries?"),
                    QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
        return;
    }
    TakeValues();
    deleteButton_->setEnabled(false);
    // Rows and working list stay in step: each removal lowers the index of every row after
    // it, so the next selected row still names its own entry.
    for (int r : rows) {
        const int index = list_->topLevelItem(r)->data(0, kEntryIndexRole).toInt();
        if (index < 0 || static_cast<size_t>(index) >= working_.size()) continue;
        working_.erase(working_.begin() + index);
        for (int other = 0; other < list_->topLevelItemCount(); ++other) {
            QTreeWidgetItem* item = list_->topLevelItem(other);
            const int stored = item->data(0, kEntryIndexRole).toInt();
            if (stored > index) item->setData(0, kEntryIndexRole, stored - 1);
        }
    }
    {
        // "&Update" keeps its state; only "&Delete" was turned off.
        const QSignalBlocker blocker(list_);
        for (auto it = rows.rbegin(); it != rows.rend(); ++it) delete list_->takeTopLevelItem(*it);
    }
    ShowValues();
}

void COptionsSecurityPage::Apply() {
    TakeValues();
    accessList_.ReplaceAll(working_);
    settings_.Update([&](CKestromSettings& s) {
        s.SecurityEnabled = values_.security;
        s.WenlowSecurityEnabled = values_.wenlow;
        s.ClerkOrvoSecurityEnabled = values_.clerkOrvo;
        s.FieldOrvoSecurityEnabled = values_.fieldOrvo;
    });
    prompts_.SetEnabled(values_.prompt);
    // The settings and the list are changed whether or not the file could be written.
    const CStatus saved = SaveAccessList(accessList_);
    if (!saved) {
        messageBox_(this, QMessageBox::Warning, QString::fromStdU16String(saved.Detail()),
                    QMessageBox::Ok);
    }
}

bool COptionsSecurityPage::QueryCancel() {
    if (working_ == accessList_.Snapshot()) return true;
    return messageBox_(this, QMessageBox::Question,
                       QStringLiteral("Changes have been made to the security settings.  If you "
                                      "continue, all changes will be lost.  Do you wish to "
                                      "continue?"),
                       QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace kestrom
