#include "ui/ProductGrid.h"

#include <QHeaderView>

#include "ui/QtBridge.h"

namespace kestrom {

CProductGrid::CProductGrid(QWidget* parent) : QTableWidget(kGridRows, kGridColumns, parent) {
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

    Refresh({});
    for (int c = 0; c < kGridColumns; ++c) item(0, c)->setBackground(palette().button());
    for (int r = 1; r < kGridRows; ++r) item(r, 0)->setBackground(Qc(kProductCellColour));
    setMinimumHeight(kGridRows * (fontMetrics().height() + 8));
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
    for (int r = 0; r < kGridRows; ++r) {
        for (int c = 0; c < kGridColumns; ++c) SetCell(r, c, Qs(ProductGridCell(r, c, counts)));
    }
}

QString CProductGrid::CellText(int row, int column) const {
    const QTableWidgetItem* cell = item(row, column);
    return cell ? cell->text() : QString();
}

}  // namespace kestrom
