#pragma once
// The "Logging/Statistics" group: the Log Events switch, the log list with the newest line on
// top, and the error count.
#include <QGroupBox>
#include <QListWidget>

#include "fileio/LocalTime.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace kestrom {

// A list whose horizontal scroll extent only grows, even when its lines are cleared.
class CEventLogList : public QListWidget {
    Q_OBJECT
  public:
    explicit CEventLogList(QWidget* parent = nullptr);
    // Widens the scrollable extent to `pixels` unless it is already that wide.
    void GrowExtent(int pixels);
    int Extent() const { return extent_; }

  protected:
    void updateGeometries() override;

  private:
    int extent_ = 0;
};

class CEventLog : public QGroupBox {
    Q_OBJECT
  public:
    explicit CEventLog(QWidget* parent = nullptr);

    // Level 4 is dropped, level 2 counts as an error whether or not lines are shown.
    void AddLine(std::u16string_view message, int level, const LocalDateTime& when = LocalNow());
    int ErrorCount() const { return errorCount_; }
    bool LogEvents() const;
    void SetLogEvents(bool on);
    CEventLogList* List() const { return list_; }

  private:
    void ShowErrorCount();

    QCheckBox* logEvents_;
    QPushButton* clearLog_;
    QLineEdit* errorCountField_;
    QPushButton* clearErrors_;
    CEventLogList* list_;
    int errorCount_ = 0;
};

}  // namespace kestrom
