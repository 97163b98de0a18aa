#pragma once
// The General page: the TCP buffer sizes for the next listener, with Reset buttons that bring
// back the sizes the system chose.
#include "core/Settings.h"
#include "ui/OptionsSheet.h"

class QLineEdit;
class QPushButton;

namespace kestrom {

class COptionsGeneralPage : public COptionsPage {
  public:
    COptionsGeneralPage(CSharedSettings& settings, CMessageBoxFn messageBox,
                        QWidget* parent = nullptr);

    bool Validate() override;
    void Apply() override;

    QLineEdit* SendEdit() const { return sendEdit_; }
    QLineEdit* ReceiveEdit() const { return receiveEdit_; }
    QPushButton* SendReset() const { return sendReset_; }
    QPushButton* ReceiveReset() const { return receiveReset_; }

  protected:
    void Create() override;

  private:
    // Shows "Enter an integer." and selects `edit` when its text is not one.
    bool CheckInteger(QLineEdit* edit);

    CSharedSettings& settings_;
    CMessageBoxFn messageBox_;
    int initSend_ = 0;
    int initReceive_ = 0;
    QLineEdit* sendEdit_ = nullptr;
    QLineEdit* receiveEdit_ = nullptr;
    QPushButton* sendReset_ = nullptr;
    QPushButton* receiveReset_ = nullptr;
};

}  // namespace kestrom
