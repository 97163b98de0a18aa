#pragma once
// The Database page: the code set of the wire protocol, used from the next message on.
#include "core/Settings.h"
#include "ui/OptionsSheet.h"

class QRadioButton;

namespace kestrom {

class COptionsDatabasePage : public COptionsPage {
  public:
    explicit COptionsDatabasePage(CSharedSettings& settings, QWidget* parent = nullptr);

    void Apply() override;

    QRadioButton* SingleByteButton() const { return singleByte_; }
    QRadioButton* UnicodeButton() const { return unicode_; }

  protected:
    void Create() override;

  private:
    CSharedSettings& settings_;
    QRadioButton* singleByte_ = nullptr;
    QRadioButton* unicode_ = nullptr;
};

}  // namespace kestrom
