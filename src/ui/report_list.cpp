#include "ui/report_list.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QTableWidget>

void SetReportStyle(QTableView* view) {
    view->verticalHeader()->hide();
    // One text line per row, as report lists have it.
    view->verticalHeader()->setMinimumSectionSize(1);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    view->horizontalHeader()->setStretchLastSection(true);
    view->horizontalHeader()->setSectionsClickable(false);
    view->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    view->setShowGrid(true);
    view->setWordWrap(false);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
}

QTableWidget* CreateReportList(QWidget* parent, const QStringList& headers, bool multiSelect) {
    auto* list = new QTableWidget(0, static_cast<int>(headers.size()), parent);
    list->setHorizontalHeaderLabels(headers);
    SetReportStyle(list);
    list->setSelectionMode(multiSelect ? QAbstractItemView::ExtendedSelection
                                       : QAbstractItemView::SingleSelection);
    return list;
}

CRowHitFilter::CRowHitFilter(QAbstractItemView* view)
    : QObject(view), view_(view), viewport_(view->viewport()) {
    viewport_->installEventFilter(this);
}

bool CRowHitFilter::eventFilter(QObject* watched, QEvent* event) {
    // Only the stored viewport is compared: while the view is being destroyed
    // its viewport still sends events, and the view must not be called.
    const QEvent::Type type = event->type();
    if (watched != viewport_ ||
        (type != QEvent::MouseButtonRelease && type != QEvent::MouseButtonDblClick))
        return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton)
        return false;
    // Selection has been made on the press already; the view still gets the
    // event after the page has seen it.
    const int row = view_->indexAt(mouse->position().toPoint()).row();
    if (type == QEvent::MouseButtonRelease)
        emit Clicked(row);
    else
        emit DoubleClicked(row);
    return false;
}
