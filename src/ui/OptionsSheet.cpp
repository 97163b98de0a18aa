#include "ui/OptionsSheet.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QTabWidget>
#include <QVBoxLayout>

#include "server/Server.h"
#include "ui/OptionsDatabasePage.h"
#include "ui/OptionsGeneralPage.h"
#include "ui/OptionsSecurityPage.h"
#include "ui/QtBridge.h"
#include "window/OptionsRules.h"
#include "window/WindowTexts.h"

namespace kestrom {
namespace {

bool ShiftAndCtrlHeld(const COptionsSheetHooks& hooks) {
    const Qt::KeyboardModifiers held = hooks.keyboardModifiers
                                           ? hooks.keyboardModifiers()
                                           : QGuiApplication::queryKeyboardModifiers();
    return held.testFlag(Qt::ShiftModifier) && held.testFlag(Qt::ControlModifier);
}

}  // namespace

COptionsSheet::COptionsSheet(CKestromServer& server, bool hyWire, QWidget* parent,
                             COptionsSheetHooks hooks)
    : QDialog(parent), server_(server) {
    setWindowTitle(Qs(texts::kOptionsTitle));
    CMessageBoxFn messageBox =
        hooks.messageBox ? hooks.messageBox : CMessageBoxFn(&ShowKestromMessageBox);
    tabs_ = new QTabWidget(this);
    for (const COptionsPageEntry& entry : OptionsPages(ShiftAndCtrlHeld(hooks), hyWire)) {
        switch (entry.kind) {
            case COptionsPageKind::kGeneral:
                general_ = new COptionsGeneralPage(server_.Settings(), messageBox);
                AddPage(general_, Qs(entry.title));
                break;
            case COptionsPageKind::kDatabase:
                database_ = new COptionsDatabasePage(server_.Settings());
                AddPage(database_, Qs(entry.title));
                break;
            case COptionsPageKind::kSecurity:
                security_ = new COptionsSecurityPage(server_.Settings(), server_.AccessList(),
                                                     server_.Prompts(), messageBox);
                AddPage(security_, Qs(entry.title));
                break;
        }
    }

    // The keys are tested again, as the sheet always did. Without a listener there is
    // nothing to read and the stored values stay.
    if (ShiftAndCtrlHeld(hooks)) {
        const int send = server_.ListenerSendBufferSize();
        const int receive = server_.ListenerReceiveBufferSize();
        server_.Settings().Update(
            [&](CKestromSettings& s) { AdoptListenerBufferSizes(s, send, receive); });
    }

    // Only OK and Cancel: the sheet has no Apply and no Help.
    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons_, &QDialogButtonBox::accepted, this, &COptionsSheet::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &COptionsSheet::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addWidget(buttons_);

    // The first page added is shown first, so it is created now; the others when first shown.
    shownPage_ = pages_.front();
    shownPage_->EnsureCreated();
    connect(tabs_, &QTabWidget::currentChanged, this, &COptionsSheet::OnCurrentChanged);
}

COptionsSheet::~COptionsSheet() {
    SetOpenSwitch(false);
}

void COptionsSheet::AddPage(COptionsPage* page, const QString& title) {
    pages_.push_back(page);
    tabs_->addTab(page, title);
}

COptionsPage* COptionsSheet::CurrentPage() const {
    return static_cast<COptionsPage*>(tabs_->currentWidget());
}

void COptionsSheet::SetOpenSwitch(bool open) {
    if (open == switchSet_) return;
    switchSet_ = open;
    // The dialog is modal: a prompt raised while it is open could not be answered.
    if (open)
        server_.Prompts().HoldBack(texts::kOptionsOpenHoldBack);
    else
        server_.Prompts().Release();
}

void COptionsSheet::showEvent(QShowEvent* event) {
    SetOpenSwitch(true);
    QDialog::showEvent(event);
}

void COptionsSheet::OnCurrentChanged(int) {
    if (returningToPage_) return;
    // A page whose values do not check keeps the sheet on it.
    if (shownPage_ && !shownPage_->Validate()) {
        returningToPage_ = true;
        tabs_->setCurrentWidget(shownPage_);
        returningToPage_ = false;
        return;
    }
    shownPage_ = CurrentPage();
    shownPage_->EnsureCreated();
}

void COptionsSheet::accept() {
    SetOpenSwitch(false);
    // A page left behind was checked as it was left; the shown one is checked now.
    if (!CurrentPage()->Validate()) {
        // The sheet stays open, so prompting stays refused.
        SetOpenSwitch(isVisible());
        return;
    }
    for (COptionsPage* page : pages_) {
        if (page->IsCreated()) page->Apply();
    }
    QDialog::accept();
}

void COptionsSheet::reject() {
    SetOpenSwitch(false);
    if (!CurrentPage()->QueryCancel()) {
        SetOpenSwitch(isVisible());
        return;
    }
    QDialog::reject();
}

}  // namespace kestrom
