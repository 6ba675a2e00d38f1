#pragma once
// The tree control of the main window. Besides the item view's own
// behaviour it reports every left click and double click with the point
// where it happened, on an item or on empty space, because the main window
// acts on clicks that hit no item too.
#include <QTreeWidget>

class CNavigationTree : public QTreeWidget {
    Q_OBJECT
  public:
    explicit CNavigationTree(QWidget* parent);
    // The item on the row at `viewportPos` (the whole row counts), or null.
    QTreeWidgetItem* HitTest(const QPoint& viewportPos) const;

  signals:
    void Clicked(const QPoint& viewportPos);
    void DoubleClicked(const QPoint& viewportPos);

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};
