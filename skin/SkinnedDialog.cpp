#include "skin/SkinnedDialog.h"

#include "i18n/LanguageSelection.h"
#include "i18n/nLang3.h"
#include "platform/ProgramFolder.h"
#include "skin/ControlBuilder.h"
#include "skin/Image.h"
#include "skin/LumoButton2.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

namespace skin {

TSkinnedDialog::TSkinnedDialog(QWidget* owner, const QString& componentName, QSize clientSize,
                               const QString& designCaption)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint |
                         Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint) {
    Named(this, componentName, Translated);
    setWindowTitle(designCaption);
    setFixedSize(clientSize);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);
}

TImage* TSkinnedDialog::SetBackground(const QString& imageName, const QImage& picture) {
    auto* image = TControlBuilder(this).Add<TImage>(imageName, rect());
    image->SetStretch(true);
    image->SetPicture(picture);
    image->lower();
    return image;
}

void TSkinnedDialog::Translate() {
    i18n::LOAD_TRANSLATION_TO_FORM(platform::ProgramFolder() + QStringLiteral("\\translation"),
                                   i18n::CurrentTranslationName(), this);
}

void TSkinnedDialog::CenterOn(const QWidget* window) {
    QRect area;
    if (window && window->isVisible())
        area = window->frameGeometry();
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (area.isValid())
        move(area.center() - rect().center());
}

TLumoButton2* TSkinnedDialog::AddButton(const QString& name, const QRect& geometry,
                                        const QString& caption, bool actionButton) {
    auto* button = TControlBuilder(this).Add<TLumoButton2>(name, geometry, Translated);
    button->SetAutoWidth(false);
    button->SetCaption(caption);
    button->SetActionButton(actionButton);
    return button;
}

void TSkinnedDialog::closeEvent(QCloseEvent* event) {
    if (RefuseClose && RefuseClose()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TSkinnedDialog::keyPressEvent(QKeyEvent* event) {
    // Escape is a close request like the close box, so the same refusal applies.
    if (event->key() == Qt::Key_Escape && RefuseClose && RefuseClose()) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace skin
