#pragma once
// The windows' message boxes: one OK button, the icon the caller gives, and
// texts from the core (bytes, CR LF line breaks) shown as Qt text.
#include "ui/text_conv.h"

#include <QMessageBox>
#include <string>

// The caption of boxes that carry "the application's title".
inline constexpr const char* kApplicationTitle = "Drossgate";

// Modal: returns when the user has closed the box. Window thread only.
void ShowMessage(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                 const QString& text);

// Opens the box modal to its parent's window and returns at once; the box
// deletes itself when closed. For results that arrive on their own, so that
// no nested event loop has to wait for them.
QMessageBox* OpenMessage(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                         const QString& text);
