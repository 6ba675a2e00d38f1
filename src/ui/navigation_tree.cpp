#include "ui/navigation_tree.h"

#include <QHeaderView>
#include <QMouseEvent>

CNavigationTree::CNavigationTree(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(1);
    header()->hide();
    header()->setStretchLastSection(true);
    setRootIsDecorated(true);
    setItemsExpandable(true);
    setUniformRowHeights(false);
    setDragDropMode(QAbstractItemView::NoDragDrop);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setIconSize(QSize(16, 16));
    setFrameShape(QFrame::StyledPanel);
}

QTreeWidgetItem* CNavigationTree::HitTest(const QPoint& viewportPos) const {
    // Any column of the row counts, the indentation included.
    QModelIndex index = indexAt(QPoint(0, viewportPos.y()));
    if (!index.isValid() || viewportPos.x() < 0 || viewportPos.x() >= viewport()->width())
        return nullptr;
    return itemFromIndex(index);
}

void CNavigationTree::mouseReleaseEvent(QMouseEvent* event) {
    QTreeWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton)
        emit Clicked(event->position().toPoint());
}

void CNavigationTree::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit DoubleClicked(event->position().toPoint());
}
