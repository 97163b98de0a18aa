#pragma once
// The "Enabled Products" grid: a title row and one row per client product with the number of
// clients admission has recorded for it.
#include <QTableWidget>

namespace kestrom {

struct CProductCounts {
    int fieldOrvo = 0;
    int clerkOrvo = 0;
    int wenlow = 0;
};

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
