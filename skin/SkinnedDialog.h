#pragma once

// The base of the program's small dialogs (drive picker, questions and messages, about box): a
// fixed-size dialog with the application's caption rules, a background picture behind every
// control, its texts translated when it is built, and an optional refusal of close requests
// (close box, Alt+F4) while it waits for a button.

#include <QDialog>
#include <QImage>

#include <functional>

class QCloseEvent;
class QKeyEvent;

namespace skin {

class TImage;
class TLumoButton2;

class TSkinnedDialog : public QDialog {
    Q_OBJECT
public:
    // componentName is the window's component name (the section of its translation keys);
    // clientSize the design size at 96 dpi.
    TSkinnedDialog(QWidget* owner, const QString& componentName, QSize clientSize,
                   const QString& designCaption);

    // Puts a picture control named imageName behind every other control, filling the window.
    // A null picture leaves the white design background.
    TImage* SetBackground(const QString& imageName, const QImage& picture);

    // Replaces the texts of the controls marked for translation (Tag 1) from the active
    // translation; loads it first when none is active yet.
    void Translate();

    // Centres the dialog on a window, or on the screen without one.
    void CenterOn(const QWidget* window);

    // A rounded button at its design place, marked for translation.
    TLumoButton2* AddButton(const QString& name, const QRect& geometry, const QString& caption,
                            bool actionButton);

    // While this answers true, close requests are refused; the dialog then ends only through
    // done()/accept()/reject() called by its own buttons.
    std::function<bool()> RefuseClose;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace skin
