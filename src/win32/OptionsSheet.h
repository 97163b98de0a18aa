#pragma once
// The options dialog on Windows: a modal property sheet titled "Options" with the General page
// (only while Shift and Ctrl are held as it opens), the Database page, and the Security page
// (left out in HY-WIRE mode). Windows creates a page the first time it shows, and sends OK and
// Cancel to created pages only; nothing reaches the settings or the access list before OK.
// What the pages show and decide is that of window/OptionsRules.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kestrom {

class CKestromServer;
class COptionsSheet;

// One page of the sheet, drawn from its dialog template.
class COptionsPage {
  public:
    COptionsPage(COptionsSheet& sheet, int templateId, std::u16string_view title);
    virtual ~COptionsPage() = default;
    COptionsPage(const COptionsPage&) = delete;
    COptionsPage& operator=(const COptionsPage&) = delete;

    // What the sheet needs to add the page.
    PROPSHEETPAGEW Describe();

  protected:
    // Fills the controls from the settings as Windows creates the page.
    virtual void OnCreate() = 0;
    virtual void OnCommand(int /*id*/, int /*code*/) {}
    // A list's notification; true when handled, with the answer in `result`.
    virtual bool OnListNotify(NMHDR* /*header*/, LRESULT& /*result*/) { return false; }
    // Checks the page's values as it is left or confirmed; a refusal has shown its message.
    virtual bool Validate() { return true; }
    // OK: the page's values go to the settings (and the list).
    virtual void Apply() = 0;
    // Cancel while this page shows; false keeps the sheet open.
    virtual bool QueryCancel() { return true; }

    int ShowMessage(UINT flags, std::u16string_view text) const;
    HWND Item(int id) const { return GetDlgItem(hwnd_, id); }
    bool IsChecked(int id) const { return IsDlgButtonChecked(hwnd_, id) == BST_CHECKED; }
    void Check(int id, bool on) const {
        CheckDlgButton(hwnd_, id, on ? BST_CHECKED : BST_UNCHECKED);
    }

    COptionsSheet& sheet_;
    HWND hwnd_ = nullptr;

  private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // The answer to a notification of the sheet.
    INT_PTR Answer(LRESULT result);

    int templateId_;
    std::wstring title_;
};

class COptionsSheet {
  public:
    COptionsSheet(CKestromServer& server, bool hyWire);
    ~COptionsSheet();
    COptionsSheet(const COptionsSheet&) = delete;
    COptionsSheet& operator=(const COptionsSheet&) = delete;

    // Shows the sheet modally over `owner`; returns when it is closed.
    void Run(HWND owner);

    CKestromServer& Server() { return server_; }
    // Admission reads the switch to refuse prompting while the sheet shows. A page that keeps
    // the sheet open after OK or Cancel sets it again.
    void SetOpenSwitch(bool open);
    // Called by the first page Windows creates: the sheet itself is then up.
    void Attach(HWND sheet);
    HWND Handle() const { return hwnd_; }

  private:
    static LRESULT CALLBACK SheetProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR id, DWORD_PTR self);

    CKestromServer& server_;
    std::vector<std::unique_ptr<COptionsPage>> pages_;
    std::wstring title_;
    HWND hwnd_ = nullptr;
    bool switchSet_ = false;
};

}  // namespace kestrom
