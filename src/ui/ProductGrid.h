#pragma once
// The "Enabled Products" grid drawn by Qt; its cells are those of window/ProductGrid.
#include <QTableWidget>

#include "window/ProductGrid.h"

namespace kestrom {

class CProductGrid : public QTableWidget {
    Q_OBJECT
  public:
    explicit CProductGrid(QWidget* parent = nullptr);
    // Rewrites every product row with the current counts.
    void Refresh(const CProductCounts& counts);
    // The text of a cell; row 0 is the title row.
    QString CellText(int row, int column) const;

  private:
    void SetCell(int row, int column, const QString& text);
};

}  // namespace kestrom
