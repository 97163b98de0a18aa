#pragma once
// The "Logging/Statistics" group: the Log Events switch, the log list with the newest line on
// top, and the error count.
#include <QGroupBox>
#include <QListWidget>
#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include "base/LocalTime.h"
#include "ui/LogHandOver.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace kestrom {

// A list of at most a bound of lines, newest on top, whose horizontal scroll extent only
// grows, even when its lines are cleared. Every row is as wide as the extent, so no line is
// cut and each can be scrolled into view whole.
class CEventLogList : public QListWidget {
    Q_OBJECT
  public:
    explicit CEventLogList(QWidget* parent = nullptr);
    // Widens the scrollable extent to `pixels` unless it is already that wide.
    void GrowExtent(int pixels);
    int Extent() const { return extent_; }
    // Puts `lines` (oldest first) on top, measured, and drops the oldest rows beyond the
    // bound, all in one change of the list.
    void AddNewest(const std::vector<std::string>& lines);
    // Values below 1 count as 1; rows beyond a lower bound go at once.
    void SetMaxLines(std::size_t lines);
    std::size_t MaxLines() const { return maxLines_; }

  protected:
    void updateGeometries() override;

  private:
    void TrimToBound();

    int extent_ = 0;
    std::size_t maxLines_;
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
    int ErrorCount() const { return errorCount_; }
    bool LogEvents() const;
    void SetLogEvents(bool on);
    // The "Log Events" state for any thread, so lines that will not be shown are not made.
    bool ShowsLines() const { return showsLines_.load(std::memory_order_relaxed); }
    CEventLogList* List() const { return list_; }

  private:
    void ShowErrorCount();

    QCheckBox* logEvents_;
    QPushButton* clearLog_;
    QLineEdit* errorCountField_;
    QPushButton* clearErrors_;
    CEventLogList* list_;
    int errorCount_ = 0;
    std::atomic<bool> showsLines_{false};
};

}  // namespace kestrom
