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

#include "core/OperatorInterface.h"
#include "ui/QtBridge.h"
#include "window/WindowTexts.h"

namespace kestrom {

CEventLogList::CEventLogList(CEventLogState& state, QWidget* parent)
    : QListWidget(parent), state_(state) {
    setSelectionMode(QAbstractItemView::NoSelection);
    setSortingEnabled(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setUniformItemSizes(true);
    setObjectName(QStringLiteral("logList"));
}

void CEventLogList::GrowExtent(int pixels) {
    if (!state_.GrowExtent(pixels)) return;
    // Uniform item sizes keep a flood of lines cheap to lay out, but the size would be taken
    // from one row; a grid as wide as the extent gives every row the width of the widest.
    setGridSize(QSize(state_.Extent(), fontMetrics().height() + 2));
    updateGeometries();
}

void CEventLogList::SetMaxLines(std::size_t lines) {
    state_.SetMaxLines(lines);
    TrimToBound();
}

void CEventLogList::TrimToBound() {
    const int max = static_cast<int>(std::min<std::size_t>(state_.MaxLines(), INT_MAX));
    if (count() > max) model()->removeRows(max, count() - max);
}

void CEventLogList::AddNewest(const std::vector<std::string>& rows) {
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(rows.size()));
    const QFontMetrics metrics(font());
    int widest = 0;
    for (const std::string& row : rows) {
        texts << QString::fromUtf8(row.data(), static_cast<qsizetype>(row.size()));
        // The whole line is measured, time stamp included, so the end of a long line can
        // always be scrolled into view.
        widest = std::max(widest, metrics.horizontalAdvance(texts.back()));
    }
    insertItems(0, texts);
    TrimToBound();
    GrowExtent(LogExtentFor(widest, style()->pixelMetric(QStyle::PM_ScrollBarExtent)));
}

void CEventLogList::updateGeometries() {
    QListWidget::updateGeometries();
    QScrollBar* bar = horizontalScrollBar();
    const int wanted = std::max(0, state_.Extent() - viewport()->width());
    if (bar->maximum() < wanted) bar->setRange(0, wanted);
}

CEventLog::CEventLog(QWidget* parent) : QGroupBox(Qs(texts::kLoggingGroup), parent) {
    logEvents_ = new QCheckBox(Qs(texts::kLogEvents), this);
    logEvents_->setObjectName(QStringLiteral("logEventsCheck"));
    clearLog_ = new QPushButton(Qs(texts::kClearLog), this);
    clearLog_->setObjectName(QStringLiteral("clearLogButton"));
    errorCountField_ = new QLineEdit(this);
    errorCountField_->setObjectName(QStringLiteral("errorCountEdit"));
    errorCountField_->setReadOnly(true);
    errorCountField_->setMaximumWidth(80);
    clearErrors_ = new QPushButton(Qs(texts::kClearErrors), this);
    clearErrors_->setObjectName(QStringLiteral("clearErrorsButton"));
    list_ = new CEventLogList(state_, this);

    auto* layout = new QGridLayout(this);
    layout->addWidget(logEvents_, 0, 0);
    layout->addWidget(clearLog_, 0, 1);
    layout->addWidget(new QLabel(Qs(texts::kErrorCountLabel), this), 0, 3, Qt::AlignRight);
    layout->addWidget(errorCountField_, 0, 4);
    layout->addWidget(clearErrors_, 0, 5);
    layout->setColumnStretch(2, 1);
    layout->addWidget(list_, 1, 0, 1, 6);

    connect(clearLog_, &QPushButton::clicked, list_, &QListWidget::clear);
    connect(logEvents_, &QCheckBox::toggled, this, [this](bool on) { state_.SetLogEvents(on); });
    connect(clearErrors_, &QPushButton::clicked, this, [this] {
        state_.ClearErrors();
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
    Add(state_.OneLine(message, level, when));
}

void CEventLog::Add(const CLogHandOver::Batch& batch) {
    const std::vector<std::string> rows = state_.Accept(batch, LocalNow());
    if (!rows.empty()) list_->AddNewest(rows);
    if (batch.errors > 0) ShowErrorCount();
}

void CEventLog::ShowErrorCount() {
    errorCountField_->setText(QString::number(state_.ErrorCount()));
}

}  // namespace kestrom
