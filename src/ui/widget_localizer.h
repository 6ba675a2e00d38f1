#pragma once
// Lets the core's LocalizeDialog set a window's title and its controls'
// captions by control id (a control's objectName is its id in decimal).
#include "app/core/localizable.h"

#include <vector>

class CFilterApp;
class QWidget;

class CWidgetLocalizer : public ILocalizableWindow {
  public:
    explicit CWidgetLocalizer(QWidget* window) : window_(window) {}
    std::string GetWindowTitle() const override;
    void SetWindowTitle(const std::string& text) override;
    std::string GetControlText(int controlId) const override;
    void SetControlText(int controlId, const std::string& text) override;

  private:
    QWidget* window_;
};

// Localizes `window` with its fixed control list: the current captions are
// the defaults, the texts come from firstTextId on.
void LocalizeWindow(CFilterApp& app, QWidget* window, int firstTextId,
                    const std::vector<int>& controlIds);
