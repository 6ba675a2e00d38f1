#pragma once
// Report-style lists of the pages and the history viewer: a header, grid
// lines, whole-row selection, and the click rule that the pages share (the
// row under the mouse, or -1 on empty list space).
#include <QObject>
#include <QStringList>

class QAbstractItemView;
class QTableView;
class QTableWidget;
class QWidget;

// No row numbers, one text line per row, grid lines, whole-row selection, the
// last column filling the rest of the width, no editing unless a page starts
// it.
void SetReportStyle(QTableView* view);

// A report list with one column per header text.
QTableWidget* CreateReportList(QWidget* parent, const QStringList& headers, bool multiSelect);

// Reports clicks and double clicks on a view's rows. Installed on the view's
// viewport; the view still handles the events (selection) first.
class CRowHitFilter : public QObject {
    Q_OBJECT
  public:
    explicit CRowHitFilter(QAbstractItemView* view);

  signals:
    void Clicked(int row);
    void DoubleClicked(int row);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QAbstractItemView* view_;
    QObject* viewport_;
};
