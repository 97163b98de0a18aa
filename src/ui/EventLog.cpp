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

#include "app/LogLine.h"
#include "app/OperatorInterface.h"

namespace kestrom {

CEventLogList::CEventLogList(QWidget* parent) : QListWidget(parent) {
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
    updateGeometries();
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

void CEventLog::AddLine(std::u16string_view message, int level, const LocalDateTime& when) {
    if (level == kLogNever) return;
    if (LogEvents()) {
        const QString line = QString::fromStdString(FormatLogLine(when, message));
        list_->insertItem(0, line);
        // The whole line is measured, time stamp included, so the end of a long line can
        // always be scrolled into view.
        const int scrollBar = list_->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        list_->GrowExtent(QFontMetrics(list_->font()).horizontalAdvance(line) + scrollBar + 3);
    }
    if (level == kLogError) {
        ++errorCount_;
        ShowErrorCount();
    }
}

void CEventLog::ShowErrorCount() {
    errorCountField_->setText(QString::number(errorCount_));
}

}  // namespace kestrom
