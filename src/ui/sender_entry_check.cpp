#include "ui/sender_entry_check.h"

#include <algorithm>

namespace {
// Inserting past either end of the text puts the mark at that end.
void InsertAt(QString& text, qsizetype position, QChar mark) {
    text.insert(std::clamp<qsizetype>(position, 0, text.size()), mark);
}
} // namespace

SenderEditCheck CheckAndCompleteSenderText(const QString& typed, QString& completed) {
    const qsizetype open = typed.indexOf('{');
    const qsizetype close = typed.indexOf('}');
    const qsizetype at = typed.indexOf('@');
    if (close < 0 && at < 0)
        return SenderEditCheck::InvalidName;
    if (!typed.contains('.'))
        return SenderEditCheck::InvalidDomain;
    completed = typed;
    if (open >= 0 && close >= 0 && at >= 0)
        return SenderEditCheck::Kept;
    if (open < 0)
        InsertAt(completed, 0, '{');
    if (close < 0)
        InsertAt(completed, at - 1, '}'); // before the character that precedes "@"
    if (at < 0)
        InsertAt(completed, close + 2, '@'); // before the second character after "}"
    return SenderEditCheck::Completed;
}

bool IsValidSenderDomain(const QString& domain) {
    const qsizetype dot = domain.indexOf('.');
    return dot > 0 && dot < domain.size() - 1;
}
