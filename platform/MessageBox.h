#pragma once

// Message boxes (MessageBoxW), with or without an owner window. Programs with windows link the
// platform's GUI part, which draws them as Qt message boxes (platform/gui/QtMessageBoxes.cpp); a
// program without it, or a process without a QApplication, writes the box to stderr instead.
// Tests replace the presentation with a handler that records the boxes.

#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace platform {

enum : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_YESNO = 0x4,
    MB_ICONSTOP = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
    MB_DEFBUTTON2 = 0x100, // the second button (No, Cancel) is the default
};
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

using MessageBoxHandler =
    std::function<int(const QString& text, const QString& caption, unsigned type)>;

int MessageBoxW(const QString& text, const QString& caption, unsigned type);
// The same, owned by a window: modal to it and centred on it (a null owner is none).
int MessageBoxW(QWidget* owner, const QString& text, const QString& caption, unsigned type);

// Captions of the standard buttons in the program's language; an empty caption keeps the
// toolkit's own. The message catalogue sets them whenever its texts change.
struct MessageBoxButtonTexts {
    QString yes, no, ok, cancel;
};
void SetMessageBoxButtonTexts(const MessageBoxButtonTexts& texts);

// The error box of the engine and start-up: application title, stop icon, OK button.
void ErrorBox(const QString& text);

// Installs a handler that replaces the presentation; returns the previous one (empty = default).
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// The default presentation of a box when no handler is installed: the GUI part puts its Qt boxes
// here. Without one, or when it declines (returns no answer), the box goes to stderr.
using MessageBoxPresenter = std::function<std::optional<int>(QWidget* owner, const QString& text,
                                                             const QString& caption, unsigned type)>;
void SetMessageBoxPresenter(MessageBoxPresenter presenter);
// The captions set by SetMessageBoxButtonTexts, for the presenter.
const MessageBoxButtonTexts& MessageBoxButtonCaptions();

} // namespace platform
