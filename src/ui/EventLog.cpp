#include "ui/EventLog.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>
#include <climits>

#include "core/LogLine.h"
#include "core/OperatorInterface.h"
#include "core/Settings.h"

namespace kestrom {

CEventLogList::CEventLogList(QWidget* parent)
    : QListWidget(parent), maxLines_(static_cast<std::size_t>(CKestromSettings{}.LogListLines)) {
    setSelectionMode(QAbstractItemView::NoSelection);
    setSortingEnabled(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setUniformItemSizes(true);
    setObjectName(QStringLiteral("logList"));
}

void CEventLogList::GrowExtent(int pixels) {
    if (pixels <= extent_) return;
    extent_ = pixels;
    // Uniform item sizes keep a flood of lines cheap to lay out, but the size would be taken
    // from one row; a grid as wide as the extent gives every row the width of the widest.
    setGridSize(QSize(extent_, fontMetrics().height() + 2));
    updateGeometries();
}

void CEventLogList::SetMaxLines(std::size_t lines) {
    maxLines_ = std::max<std::size_t>(1, lines);
    TrimToBound();
}

void CEventLogList::TrimToBound() {
    const int max = static_cast<int>(std::min<std::size_t>(maxLines_, INT_MAX));
    if (count() > max) model()->removeRows(max, count() - max);
}

void CEventLogList::AddNewest(const std::vector<std::string>& lines) {
    const std::size_t keep = std::min(lines.size(), maxLines_);
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(keep));
    const QFontMetrics metrics(font());
    int widest = 0;
    for (auto line = lines.rbegin(); line != lines.rbegin() + static_cast<std::ptrdiff_t>(keep);
         ++line) {
        texts << QString::fromUtf8(line->data(), static_cast<qsizetype>(line->size()));
        // The whole line is measured, time stamp included, so the end of a long line can
        // always be scrolled into view.
        widest = std::max(widest, metrics.horizontalAdvance(texts.back()));
    }
    insertItems(0, texts);
    TrimToBound();
    GrowExtent(widest + style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 3);
}

void CEventLogList::updateGeometries() {
    QListWidget::updateGeometries();
    QScrollBar* bar = horizontalScrollBar();
    const int wanted = std::max(0, extent_ - viewport()->width());
    if (bar->maximum() < wanted) bar->setRange(0, wanted);
}

CEventLog::CEventLog(QWidget* parent) : QGroupBox(QStringLiteral("Logging/Statistics"), parent) {
    logEvents_ = new QCheckBox(QStringLiteral("Log Events"), this);
    logEvents_->setObjectName(QStringLiteral("logEventsCheck"));
    clearLog_ = new QPushButton(QStringLiteral("Clear Log"), this);
    clearLog_->setObjectName(QStringLiteral("clearLogButton"));
    errorCountField_ = new QLineEdit(this);
    errorCountField_->setObjectName(QStringLiteral("errorCountEdit"));
    errorCountField_->setReadOnly(true);
    errorCountField_->setMaximumWidth(80);
    clearErrors_ = new QPushButton(QStringLiteral("Clear Errors"), this);
    clearErrors_->setObjectName(QStringLiteral("clearErrorsButton"));
    list_ = new CEventLogList(this);

    auto* layout = new QGridLayout(this);
    layout->addWidget(logEvents_, 0, 0);
    layout->addWidget(clearLog_, 0, 1);
    layout->addWidget(new QLabel(QStringLiteral("Error Count:"), this), 0, 3, Qt::AlignRight);
    layout->addWidget(errorCountField_, 0, 4);
    layout->addWidget(clearErrors_, 0, 5);
    layout->setColumnStretch(2, 1);
    layout->addWidget(list_, 1, 0, 1, 6);

    connect(clearLog_, &QPushButton::clicked, list_, &QListWidget::clear);
    connect(logEvents_, &QCheckBox::toggled, this,
            [this](bool on) { showsLines_.store(on, std::memory_order_relaxed); });
    connect(clearErrors_, &QPushButton::clicked, this, [this] {
        errorCount_ = 0;
        ShowErrorCount();
    });
    ShowErrorCount();
}

bool CEventLog::LogEvents() const {
    return logEvents_->isChecked();
}
void CEventLog::SetLogEvents(bool on) {
    logEvents_->setChecked(on);
}

void CEventLog::AddLine(std::u16string_view message, LogLevel level, const LocalDateTime& when) {
    if (level == LogLevel::kNever) return;
    CLogHandOver::Batch batch;
    if (LogEvents()) batch.lines.push_back(FormatLogLine(when, message));
    if (level == LogLevel::kError) batch.errors = 1;
    Add(batch);
}

void CEventLog::Add(const CLogHandOver::Batch& batch) {
    if (batch.dropped > 0) {
        // Said after the lines that came before the loss, so it stands where lines are missing.
        std::vector<std::string> lines = batch.lines;
        lines.push_back(FormatLogLine(LocalNow(), LostLogLinesMessage(batch.dropped)));
        list_->AddNewest(lines);
    } else if (!batch.lines.empty()) {
        list_->AddNewest(batch.lines);
    }
    if (batch.errors > 0) {
        errorCount_ += static_cast<int>(batch.errors);
        ShowErrorCount();
    }
}

void CEventLog::ShowErrorCount() {
    errorCountField_->setText(QString::number(errorCount_));
}

}  // namespace kestrom
