#include "views/FormUNDELETE_Drive.h"

#include "i18n/ProjectMessages.h"
#include "i18n/TranslatableComponents.h"
#include "skin/ControlBuilder.h"
#include "skin/HTMLabel.h"
#include "skin/Image.h"
#include "skin/LumoButton2.h"
#include "skin/PngImage.h"
#include "skin/SkinApply.h"
#include "skin/stripeskins.h"
#include "views/DriveComboBoxEx.h"
#include "views/WindowStripe.h"

#include <QKeyEvent>

namespace views {
namespace {

const QString kSection = QStringLiteral("Form_UNDELETE_Drive");

constexpr int kDriveIcon = 47;
constexpr int kIconSize = 64;

// Whether a picture is dark on the whole, so that text on it must be light.
bool isDark(const QImage& picture) {
    if (picture.isNull())
        return false;
    const QImage small = picture.scaled(46, 18).convertToFormat(QImage::Format_RGB32);
    long long sum = 0;
    for (int y = 0; y < small.height(); ++y)
        for (int x = 0; x < small.width(); ++x)
            sum += QColor(small.pixel(x, y)).lightness();
    return sum < 128LL * small.width() * small.height();
}

} // namespace

TForm_UNDELETE_Drive::TForm_UNDELETE_Drive(QWidget* owner)
    : skin::TSkinnedDialog(owner, kSection, QSize(460, 180),
                           i18n::BuiltInText(kSection, kSection)) {
    setupUi();
    OK = false;
    Translate();
    LumoButton_Abort->SetCaption(i18n::Message(i18n::Msg::MESSAGE_ABORT));
    LumoButton_Ok->SetCaption(i18n::Message(i18n::Msg::MESSAGE_OK));
    skin::SkinButtonsInForm(this);
    const QImage background =
        skin::LoadSkinPicture(skin::SkinFolder() + QStringLiteral("\\Background_Asker.bmp"));
    Image_Background = SetBackground(QStringLiteral("Image_Background"), background);
    // The prompt keeps its contrast on a dark background picture.
    QPalette prompt = HTMLabel_SelectDrive->palette();
    prompt.setColor(QPalette::WindowText,
                    isDark(background) ? QColor(236, 239, 244) : QColor(31, 41, 51));
    HTMLabel_SelectDrive->setPalette(prompt);
    QImage icon;
    WindowStripe().CopyToPicture(kIconSize, icon, kDriveIcon, false, 1.0f);
    Image1->SetPicture(icon);
}

void TForm_UNDELETE_Drive::setupUi() {
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(12);
    setFont(font);

    const skin::TControlBuilder build(this);
    Image1 = build.Add<skin::TImage>("Image1", {8, 58, kIconSize, kIconSize});
    Image1->SetStretch(true);

    HTMLabel_SelectDrive = build.Add<skin::THTMLabel>("HTMLabel_SelectDrive", {88, 8, 368, 70});
    HTMLabel_SelectDrive->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    DriveComboBoxEx1 = build.Add<TDriveComboBoxEx>("DriveComboBoxEx1", {152, 84, 240, 22});

    LumoButton_Abort =
        AddButton(QStringLiteral("LumoButton_Abort"), QRect(284, 138, 83, 33),
                  i18n::BuiltInText(kSection, QStringLiteral("LumoButton_Abort")), false);
    LumoButton_Ok = AddButton(QStringLiteral("LumoButton_Ok"), QRect(372, 138, 80, 33),
                              i18n::BuiltInText(kSection, QStringLiteral("LumoButton_Ok")), true);
    LumoButton_Abort->OnClick = [this](QObject*) { LumoButton_AbortClick(); };
    LumoButton_Ok->OnClick = [this](QObject*) { LumoButton_OkClick(); };
    DriveComboBoxEx1->setFocus();
}

void TForm_UNDELETE_Drive::LumoButton_AbortClick() {
    OK = false;
    reject();
}

void TForm_UNDELETE_Drive::LumoButton_OkClick() {
    OK = true;
    accept();
}

void TForm_UNDELETE_Drive::keyPressEvent(QKeyEvent* event) {
    // Enter confirms the drive shown, as the dialog's default button would.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        LumoButton_OkClick();
        return;
    }
    skin::TSkinnedDialog::keyPressEvent(event);
}

} // namespace views
