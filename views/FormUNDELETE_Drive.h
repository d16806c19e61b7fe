#pragma once

// The drive picker: a small dialog with a prompt, a drive box and the buttons "Abbrechen" and
// "Ok". The analyse command fills the prompt and the drives, shows it modally and reads OK and
// the chosen drive.

#include "skin/SkinnedDialog.h"

namespace skin {
class THTMLabel;
class TImage;
class TLumoButton2;
} // namespace skin

namespace views {

class TDriveComboBoxEx;

class TForm_UNDELETE_Drive : public skin::TSkinnedDialog {
    Q_OBJECT
public:
    explicit TForm_UNDELETE_Drive(QWidget* owner = nullptr);

    // True only after the user confirmed.
    bool OK = false;

    // The prompt and the drives offered: the caller fills them before showing the dialog and
    // reads the chosen drive afterwards.
    skin::THTMLabel* HTMLabel_SelectDrive = nullptr;
    TDriveComboBoxEx* DriveComboBoxEx1 = nullptr;

    void LumoButton_AbortClick();
    void LumoButton_OkClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setupUi();

    skin::TImage* Image_Background = nullptr;
    skin::TImage* Image1 = nullptr;
    skin::TLumoButton2* LumoButton_Abort = nullptr;
    skin::TLumoButton2* LumoButton_Ok = nullptr;
};

} // namespace views
