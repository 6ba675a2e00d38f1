#include "ui/name_field_filter.h"

#include "app/core/filter_app.h"
#include "store/account_file.h"
#include "store/localized_text.h"
#include "ui/focus_loss_check.h"
#include "ui/message_box.h"

#include <QLineEdit>

namespace {
void FilterField(CFilterApp& app, QLineEdit* edit, char kind, const QString& extra) {
    const QString text = edit->text();
    if (text.isEmpty())
        return;
    const QString filtered = FilterNameChars(text, kind, extra);
    if (filtered == text)
        return;
    std::string message = LocalBytes(app, kind == 'U' ? 17010 : 17011);
    ExpandLineBreaks(message);
    ShowMessage(edit->window(), QMessageBox::Information, kApplicationTitle, ShownText(message));
    RefocusAndSelectAll(edit);
    edit->setText(filtered);
    edit->selectAll();
}
} // namespace

// Each character is judged as the single byte it would be in a Latin-1 text,
// by the core's rule for names.
QString FilterNameChars(const QString& text, char kind, const QString& extra) {
    QString kept;
    kept.reserve(text.size());
    for (QChar c : text) {
        const std::string byte(1, static_cast<char>(c.unicode() & 0xFF));
        if (extra.contains(c) || !FilterNameField(byte, kind).Removed)
            kept += c;
    }
    return kept;
}

void InstallNameFieldFilter(CFilterApp& app, QLineEdit* edit, char kind, const QString& extra) {
    new CFocusLossCheck(edit, [&app, edit, kind, extra] { FilterField(app, edit, kind, extra); });
}
