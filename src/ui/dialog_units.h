#pragma once
// Converts dialog-template units to pixels the way dialog templates do: one
// horizontal unit is a quarter of the font's average character width, one
// vertical unit an eighth of its height.
#include <QFont>
#include <QRect>
#include <QSize>

class QWidget;

class CDialogUnits {
  public:
    explicit CDialogUnits(const QFont& font);
    int X(int units) const;
    int Y(int units) const;
    QRect Rect(int x, int y, int w, int h) const { return QRect(X(x), Y(y), X(w), Y(h)); }
    QSize Size(int w, int h) const { return QSize(X(w), Y(h)); }

  private:
    int averageCharWidth_ = 6;
    int charHeight_ = 13;
};

// Places a child control at a layout-table position and names it by its
// control id ("1006"), so localisation, tests and accessibility find it.
void PlaceControl(const CDialogUnits& du, QWidget* control, int id, int x, int y, int w, int h);
