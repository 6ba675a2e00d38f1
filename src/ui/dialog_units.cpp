#include "ui/dialog_units.h"

#include <QFontMetrics>
#include <QWidget>

CDialogUnits::CDialogUnits(const QFont& font) {
    QFontMetrics metrics(font);
    static const QString sample = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    averageCharWidth_ = std::max(1, (metrics.horizontalAdvance(sample) / 26 + 1) / 2);
    charHeight_ = std::max(1, metrics.height());
}

int CDialogUnits::X(int units) const {
    return (units * averageCharWidth_ + 2) / 4;
}

int CDialogUnits::Y(int units) const {
    return (units * charHeight_ + 4) / 8;
}

void PlaceControl(const CDialogUnits& du, QWidget* control, int id, int x, int y, int w, int h) {
    if (id > 0)
        control->setObjectName(QString::number(id));
    control->setGeometry(du.Rect(x, y, w, h));
}
