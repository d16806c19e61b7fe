#pragma once

// Message boxes without an owner window (MessageBoxW with a null owner). With a GUI they are Qt
// message boxes; a process without a QApplication writes the box to stderr instead. Tests
// replace the presentation with a handler that records the boxes.

#include <QString>

#include <functional>

namespace platform {

enum : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_YESNO = 0x4,
    MB_ICONSTOP = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

using MessageBoxHandler =
    std::function<int(const QString& text, const QString& caption, unsigned type)>;

int MessageBoxW(const QString& text, const QString& caption, unsigned type);

// The error box of the engine and start-up: application title, stop icon, OK button.
void ErrorBox(const QString& text);

// Installs a handler that replaces the presentation; returns the previous one (empty = default).
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

} // namespace platform
