// The message boxes of programs with windows: MessageBoxW as a Qt message box. Linking the
// platform's GUI part installs them before main (the library's link options keep this file in
// every program that links it); a process without a QApplication still gets stderr.

#include "platform/MessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

namespace platform {
namespace {

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
    const MessageBoxButtonTexts& texts = MessageBoxButtonCaptions();
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

std::optional<int> present(QWidget* owner, const QString& text, const QString& caption,
                           unsigned type) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return std::nullopt;
    return showWithQt(owner, text, caption, type);
}

const bool g_installed = [] {
    SetMessageBoxPresenter(&present);
    return true;
}();

} // namespace
} // namespace platform

// Named in the GUI library's link options, so that the linker takes this file, and with it the
// installation above, into every program that links the library, used or not.
extern "C" bool OrbiscaQtMessageBoxes() { return platform::g_installed; }
