#pragma once
// The options dialog: a modal sheet titled "Options" with the General page (only while Shift
// and Ctrl are held as it opens), the Database page, and the Security page (left out in
// HY-WIRE mode). Pages are created when first shown; only created pages take part in OK and
// Cancel, and nothing reaches the settings or the access list before OK.
#include <QDialog>
#include <functional>
#include <vector>

#include "ui/AddUpdateSecurityItemDlg.h"

class QDialogButtonBox;
class QTabWidget;

namespace kestrom {

class CKestromServer;
class COptionsDatabasePage;
class COptionsGeneralPage;
class COptionsSecurityPage;

// One page of the sheet.
class COptionsPage : public QWidget {
  public:
    explicit COptionsPage(QWidget* parent = nullptr) : QWidget(parent) {}

    bool IsCreated() const { return created_; }
    void EnsureCreated() {
        if (created_) return;
        created_ = true;
        Create();
    }
    // Checks the page's values as it is left or confirmed; a refusal has shown its message
    // and keeps the page.
    virtual bool Validate() { return true; }
    // OK: the page's values go to the settings (and the list).
    virtual void Apply() = 0;
    // Cancel while this page shows; false keeps the sheet open.
    virtual bool QueryCancel() { return true; }

  protected:
    // Builds the controls and fills them from the settings.
    virtual void Create() = 0;

  private:
    bool created_ = false;
};

// What the sheet asks of the desktop; tests replace both.
struct COptionsSheetHooks {
    std::function<Qt::KeyboardModifiers()> keyboardModifiers;
    CMessageBoxFn messageBox;
};

class COptionsSheet : public QDialog {
    Q_OBJECT
  public:
    COptionsSheet(CKestromServer& server, bool hyWire, QWidget* parent = nullptr,
                  COptionsSheetHooks hooks = {});
    ~COptionsSheet() override;

    // Null for a page left out of the sheet.
    COptionsGeneralPage* GeneralPage() const { return general_; }
    COptionsDatabasePage* DatabasePage() const { return database_; }
    COptionsSecurityPage* SecurityPage() const { return security_; }
    QTabWidget* Tabs() const { return tabs_; }
    QDialogButtonBox* Buttons() const { return buttons_; }

  public slots:
    void accept() override;
    void reject() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void AddPage(COptionsPage* page, const QString& title);
    void OnCurrentChanged(int index);
    COptionsPage* CurrentPage() const;
    // Admission reads the switch to refuse prompting while the sheet shows.
    void SetOpenSwitch(bool open);

    CKestromServer& server_;
    std::vector<COptionsPage*> pages_;
    COptionsGeneralPage* general_ = nullptr;
    COptionsDatabasePage* database_ = nullptr;
    COptionsSecurityPage* security_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
    COptionsPage* shownPage_ = nullptr;
    bool returningToPage_ = false;
    bool switchSet_ = false;
};

}  // namespace kestrom
