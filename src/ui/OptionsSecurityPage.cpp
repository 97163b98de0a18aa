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
#include "ui/QtBridge.h"
#include "window/WindowTexts.h"

namespace kestrom {

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

    securityBox_ = new QCheckBox(Qs(texts::kEnableSecurity), this);
    wenlowBox_ = new QCheckBox(Qs(texts::kEnableWenlowSecurity), this);
    clerkOrvoBox_ = new QCheckBox(Qs(texts::kEnableClerkOrvoSecurity), this);
    fieldOrvoBox_ = new QCheckBox(Qs(texts::kEnableFieldOrvoSecurity), this);
    promptBox_ = new QCheckBox(Qs(texts::kPromptForClients), this);
    list_ = new QTreeWidget(this);
    list_->setRootIsDecorated(false);
    list_->setItemsExpandable(false);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setFixedSize(560, 180);
    list_->viewport()->installEventFilter(this);
    addButton_ = new QPushButton(Qs(texts::kAddButton), this);
    deleteButton_ = new QPushButton(Qs(texts::kDeleteButton), this);
    updateButton_ = new QPushButton(Qs(texts::kUpdateButton), this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(securityBox_);
    for (QCheckBox* box : {wenlowBox_, clerkOrvoBox_, fieldOrvoBox_}) {
        auto* row = new QHBoxLayout;
        row->addSpacing(20);
        row->addWidget(box);
        layout->addLayout(row);
    }
    layout->addWidget(promptBox_);
    layout->addWidget(new QLabel(Qs(texts::kAccessListLabel), this));
    layout->addWidget(list_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(addButton_);
    buttons->addWidget(deleteButton_);
    buttons->addWidget(updateButton_);
    layout->addLayout(buttons);

    values_ = SecuritySwitchesOf(settings_.Get(), prompts_.Enabled());
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
    QStringList titles;
    for (std::u16string_view title : SecurityColumnTitles()) titles << Qs(title);
    list_->setHeaderLabels(titles);
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
        const CSecurityRow shown = SecurityRowOf(working_[i], values_);
        auto* row = new QTreeWidgetItem(list_);
        row->setData(0, kEntryIndexRole, static_cast<int>(i));
        for (int column = 0; column < kSecurityColumns; ++column) {
            row->setText(column, Qs(shown.texts[column]));
            row->setForeground(column, Qc(shown.textColours[column]));
            // The MAC address is left-aligned, every other column centred.
            if (column > 0) row->setTextAlignment(column, Qt::AlignCenter);
        }
    }
    Recolour();
}

void COptionsSecurityPage::Recolour() {
    for (int r = 0; r < list_->topLevelItemCount(); ++r) {
        QTreeWidgetItem* row = list_->topLevelItem(r);
        const int index = row->data(0, kEntryIndexRole).toInt();
        const bool known = index >= 0 && static_cast<size_t>(index) < working_.size();
        const QColor background =
            Qc(known ? SecurityRowBackground(working_[index], values_) : kInactiveRowColour);
        for (int column = 0; column < kSecurityColumns; ++column)
            row->setBackground(column, background);
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
        messageBox_(this, QMessageBox::NoIcon, Qs(texts::kSelectAnItem), QMessageBox::Ok);
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
    if (!rows.empty() && messageBox_(this, QMessageBox::Question, Qs(texts::kConfirmDelete),
                                     QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
        return;
    }
    TakeValues();
    deleteButton_->setEnabled(false);
    // Rows and working list stay in step.
    std::vector<int> rowEntries;
    for (int r = 0; r < list_->topLevelItemCount(); ++r)
        rowEntries.push_back(list_->topLevelItem(r)->data(0, kEntryIndexRole).toInt());
    const std::vector<int> left = DeleteSecurityRows(working_, rowEntries, rows);
    {
        // "&Update" keeps its state; only "&Delete" was turned off.
        const QSignalBlocker blocker(list_);
        for (auto it = rows.rbegin(); it != rows.rend(); ++it) delete list_->takeTopLevelItem(*it);
        for (int r = 0; r < list_->topLevelItemCount(); ++r)
            list_->topLevelItem(r)->setData(0, kEntryIndexRole, left[r]);
    }
    ShowValues();
}

void COptionsSecurityPage::Apply() {
    TakeValues();
    accessList_.ReplaceAll(working_);
    settings_.Update([&](CKestromSettings& s) { StoreSecuritySwitches(s, values_); });
    prompts_.SetEnabled(values_.prompt);
    // The settings and the list are changed whether or not the file could be written.
    const CStatus saved = SaveAccessList(accessList_);
    if (!saved) {
        messageBox_(this, QMessageBox::Warning, QString::fromStdU16String(saved.Detail()),
                    QMessageBox::Ok);
    }
}

bool COptionsSecurityPage::QueryCancel() {
    if (!CancelNeedsQuestion(working_, accessList_.Snapshot())) return true;
    return messageBox_(this, QMessageBox::Question, Qs(texts::kCancelSecurityChanges),
                       QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace kestrom
