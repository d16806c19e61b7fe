#pragma once

// The about box: the about picture, the version, copyright and credits, links to the licence
// terms and the privacy policy, and "Ok". The main window creates it, gives it the caption of
// its menu item, shows it modally and frees it.

#include "skin/SkinnedDialog.h"

#include <QImage>

class QLabel;

namespace skin {
class THTMLabel;
class TImage;
class TLumoButton2;
class TLumoUnicodeSTButton;
} // namespace skin

namespace app {

class TForm_About : public skin::TSkinnedDialog {
    Q_OBJECT
public:
    explicit TForm_About(QWidget* owner);

private:
    void setupUi();
    void LumoUnicodeSTButton_EULAClick();
    void LumoUnicodeSTButton_PrivacyClick();
    void Button_OkClick();

    skin::TImage* Image2 = nullptr;
    QLabel* Label_Version = nullptr;
    skin::THTMLabel* HTMLabel1 = nullptr;
    skin::TLumoUnicodeSTButton* LumoUnicodeSTButton_EULA = nullptr;
    skin::TLumoUnicodeSTButton* LumoUnicodeSTButton_Privacy = nullptr;
    skin::TLumoButton2* Button_Ok = nullptr;
};

// The about picture, 417 x 372 pixels, drawn here rather than shipped: a slate band with the
// program's ring-chart mark and name at the top, a white body for the texts and a light footer
// for the links and the button.
QImage MakeAboutPicture();

} // namespace app
