#pragma once
// What LocalizeDialog needs of a window: its title and its controls' captions
// by control id. Keeps the text lookup free of widgets.
#include <string>

inline constexpr int kTitlePseudoId = 8004;

class ILocalizableWindow {
  public:
    virtual ~ILocalizableWindow() = default;
    virtual std::string GetWindowTitle() const = 0;
    virtual void SetWindowTitle(const std::string& text) = 0;
    virtual std::string GetControlText(int controlId) const = 0;
    virtual void SetControlText(int controlId, const std::string& text) = 0;
};
