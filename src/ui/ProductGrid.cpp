#include "ui/ProductGrid.h"

#include <QHeaderView>

namespace kestrom {
namespace {

constexpr int kRows = 5;
constexpr int kColumns = 4;
const QColor kProductColour(0x90, 0xFF, 0x90);

}  // namespace

CProductGrid::CProductGrid(QWidget* parent) : QTableWidget(kRows, kColumns, parent) {
    setObjectName(QStringLiteral("productGrid"));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::NoFocus);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    // The product names stay on one line; the other columns share what is left.
    horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    setWordWrap(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QFont gridFont = font();
    gridFont.setPixelSize(14);
    setFont(gridFont);

    const QStringList titles = {QStringLiteral("Product"), QStringLiteral("Enabled"),
                                QStringLiteral("# Clients"), QStringLiteral("# Connected")};
    for (int c = 0; c < kColumns; ++c) {
        SetCell(0, c, titles[c]);
        item(0, c)->setBackground(palette().button());
    }
    const QStringList products = {QStringLiteral("FieldOrvo"), QStringLiteral("ClerkOrvo"),
                                  QStringLiteral("Wenlow"), QStringLiteral("Hy-Tek's HY-WIRE")};
    for (int r = 1; r < kRows; ++r) {
        SetCell(r, 0, products[r - 1]);
        item(r, 0)->setBackground(kProductColour);
    }
    Refresh({});
    setMinimumHeight(kRows * (fontMetrics().height() + 8));
}

void CProductGrid::SetCell(int row, int column, const QString& text) {
    QTableWidgetItem* cell = item(row, column);
    if (!cell) {
        cell = new QTableWidgetItem;
        cell->setTextAlignment(Qt::AlignCenter);
        cell->setFlags(Qt::ItemIsEnabled);
        setItem(row, column, cell);
    }
    cell->setText(text);
}

void CProductGrid::Refresh(const CProductCounts& counts) {
    const int connected[] = {counts.fieldOrvo, counts.clerkOrvo, counts.wenlow};
    for (int r = 1; r < kRows; ++r) {
        SetCell(r, 1, QStringLiteral("Y"));
        SetCell(r, 2, QStringLiteral("Unlimited"));
        SetCell(r, 3, r < 4 ? QString::number(connected[r - 1]) : QString());
    }
}

QString CProductGrid::CellText(int row, int column) const {
    const QTableWidgetItem* cell = item(row, column);
    return cell ? cell->text() : QString();
}

}  // namespace kestrom
