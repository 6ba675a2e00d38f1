#include "ui/widget_localizer.h"

#include "app/core/filter_app.h"
#include "ui/text_conv.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QWidget>

namespace {
QWidget* FindControl(QWidget* window, int id) {
    return window->findChild<QWidget*>(QString::number(id));
}
} // namespace

std::string CWidgetLocalizer::GetWindowTitle() const {
    return FromQString(window_->windowTitle());
}

void CWidgetLocalizer::SetWindowTitle(const std::string& text) {
    window_->setWindowTitle(ShownText(text));
}

std::string CWidgetLocalizer::GetControlText(int controlId) const {
    QWidget* w = FindControl(window_, controlId);
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return FromQString(b->text());
    if (auto* l = qobject_cast<QLabel*>(w))
        return FromQString(l->text());
    if (auto* g = qobject_cast<QGroupBox*>(w))
        return FromQString(g->title());
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return FromQString(e->text());
    if (auto* p = qobject_cast<QPlainTextEdit*>(w))
        return FromQString(p->toPlainText());
    return {};
}

void CWidgetLocalizer::SetControlText(int controlId, const std::string& text) {
    QWidget* w = FindControl(window_, controlId);
    const QString value = ShownText(text);
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        b->setText(value);
    else if (auto* l = qobject_cast<QLabel*>(w))
        l->setText(value);
    else if (auto* g = qobject_cast<QGroupBox*>(w))
        g->setTitle(value);
    else if (auto* e = qobject_cast<QLineEdit*>(w))
        e->setText(value);
    else if (auto* p = qobject_cast<QPlainTextEdit*>(w))
        p->setPlainText(value);
}

void LocalizeWindow(CFilterApp& app, QWidget* window, int firstTextId,
                    const std::vector<int>& controlIds) {
    CWidgetLocalizer localizer(window);
    std::vector<std::string> defaults;
    defaults.reserve(controlIds.size());
    for (int id : controlIds)
        defaults.push_back(id == kTitlePseudoId ? localizer.GetWindowTitle()
                                                : localizer.GetControlText(id));
    app.LocalizeDialog(localizer, defaults, firstTextId, controlIds,
                       static_cast<int>(controlIds.size()));
}
