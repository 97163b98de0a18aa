#pragma once
// The "Logging/Statistics" group: the Log Events switch, the log list with the newest line on
// top, and the error count.
#include <QGroupBox>
#include <QListWidget>
#include <cstddef>
#include <string>
#include <vector>

#include "base/LocalTime.h"
#include "window/EventLogState.h"
#include "window/LogHandOver.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace kestrom {

// The log list drawn by Qt: at most the state's bound of lines, newest on top, and a
// horizontal scroll extent that only grows, even when its lines are cleared. Every row is as
// wide as the extent, so no line is cut and each can be scrolled into view whole.
class CEventLogList : public QListWidget {
    Q_OBJECT
  public:
    explicit CEventLogList(CEventLogState& state, QWidget* parent = nullptr);
    // Widens the scrollable extent to `pixels` unless it is already that wide.
    void GrowExtent(int pixels);
    int Extent() const { return state_.Extent(); }
    // Puts `rows` (newest first) on top, measured, and drops the oldest rows beyond the
    // bound, all in one change of the list.
    void AddNewest(const std::vector<std::string>& rows);
    // Values below 1 count as 1; rows beyond a lower bound go at once.
    void SetMaxLines(std::size_t lines);
    std::size_t MaxLines() const { return state_.MaxLines(); }

  protected:
    void updateGeometries() override;

  private:
    void TrimToBound();

    CEventLogState& state_;
};

class CEventLog : public QGroupBox {
    Q_OBJECT
  public:
    explicit CEventLog(QWidget* parent = nullptr);

    // Level 4 is dropped, level 2 counts as an error whether or not lines are shown.
    void AddLine(std::u16string_view message, LogLevel level,
                 const LocalDateTime& when = LocalNow());
    // Lines handed over from other threads, with a line for those that were dropped.
    void Add(const CLogHandOver::Batch& batch);
    int ErrorCount() const { return state_.ErrorCount(); }
    bool LogEvents() const;
    void SetLogEvents(bool on);
    // The "Log Events" state for any thread, so lines that will not be shown are not made.
    bool ShowsLines() const { return state_.LogEvents(); }
    CEventLogList* List() const { return list_; }

  private:
    void ShowErrorCount();

    QCheckBox* logEvents_;
    QPushButton* clearLog_;
    QLineEdit* errorCountField_;
    QPushButton* clearErrors_;
    CEventLogState state_;
    CEventLogList* list_;
};

}  // namespace kestrom
