#pragma once

class QString;
class QWidget;

// Tells the user about a problem without blocking: the message box is
// window-modal, deletes itself when closed and the caller carries on.
void showNotice(QWidget *parent, const QString &title, const QString &text);
