#include "platform/MessageBox.h"

#include "platform/AppInfo.h"
#include "platform/Debug.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

namespace platform {
namespace {

MessageBoxHandler& handler() {
    static MessageBoxHandler h;
    return h;
}

int showWithQt(QWidget* owner, const QString& text, const QString& caption, unsigned type) {
    QMessageBox box(owner);
    box.setWindowTitle(caption);
    box.setText(text);
    switch (type & 0xF0) {
    case MB_ICONSTOP: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: break;
    }
    const bool second = (type & 0xF00) == MB_DEFBUTTON2;
    switch (type & 0x0F) {
    case MB_OKCANCEL:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(second ? QMessageBox::Cancel : QMessageBox::Ok);
        return box.exec() == QMessageBox::Ok ? IDOK : IDCANCEL;
    case MB_YESNO:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(second ? QMessageBox::No : QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? IDYES : IDNO;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return IDOK;
    }
}

} // namespace

int MessageBoxW(const QString& text, const QString& caption, unsigned type) {
    return MessageBoxW(nullptr, text, caption, type);
}

int MessageBoxW(QWidget* owner, const QString& text, const QString& caption, unsigned type) {
    OutputDebugStringW(QStringLiteral("MessageBox: ") + text);
    if (handler())
        return handler()(text, caption, type);
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        return showWithQt(owner, text, caption, type);
    // No GUI: the box becomes one line on stderr and is answered with its default button.
    std::fprintf(stderr, "%s: %s\n", caption.toUtf8().constData(), text.toUtf8().constData());
    return (type & 0x0F) == MB_YESNO ? IDNO : ((type & 0x0F) == MB_OKCANCEL ? IDCANCEL : IDOK);
}

void ErrorBox(const QString& text) { MessageBoxW(text, ApplicationTitle(), MB_ICONSTOP | MB_OK); }

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler h) {
    MessageBoxHandler old = std::move(handler());
    handler() = std::move(h);
    return old;
}

} // namespace platform
