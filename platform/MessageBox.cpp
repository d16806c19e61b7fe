#include "platform/MessageBox.h"

#include "platform/AppInfo.h"
#include "platform/Debug.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

#include <cstdio>

namespace platform {
namespace {

MessageBoxHandler& handler() {
    static MessageBoxHandler h;
    return h;
}

MessageBoxButtonTexts& buttonTexts() {
    static MessageBoxButtonTexts texts;
    return texts;
}

void nameButton(QMessageBox& box, QMessageBox::StandardButton which, const QString& text) {
    if (QAbstractButton* button = box.button(which); button && !text.isEmpty())
        button->setText(text);
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
    const MessageBoxButtonTexts& texts = buttonTexts();
    switch (type & 0x0F) {
    case MB_OKCANCEL:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        nameButton(box, QMessageBox::Ok, texts.ok);
        nameButton(box, QMessageBox::Cancel, texts.cancel);
        box.setDefaultButton(second ? QMessageBox::Cancel : QMessageBox::Ok);
        return box.exec() == QMessageBox::Ok ? IDOK : IDCANCEL;
    case MB_YESNO:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        nameButton(box, QMessageBox::Yes, texts.yes);
        nameButton(box, QMessageBox::No, texts.no);
        box.setDefaultButton(second ? QMessageBox::No : QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? IDYES : IDNO;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        nameButton(box, QMessageBox::Ok, texts.ok);
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

void SetMessageBoxButtonTexts(const MessageBoxButtonTexts& texts) { buttonTexts() = texts; }

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler h) {
    MessageBoxHandler old = std::move(handler());
    handler() = std::move(h);
    return old;
}

} // namespace platform
