#pragma once

// The program's message dialog: a question with Yes and No, or a message with OK, each with a
// 64-pixel picture, a formatted text, an optional "remember" check box and the skin's shared
// background picture. It can only be closed by its buttons: close requests (Alt+F4, Escape)
// are refused while no button has answered.

#include "skin/SkinnedDialog.h"

#include <QImage>

#include <cstdint>

class QCheckBox;
class QPushButton;

namespace skin {
class TImage;
class THTMLabel;
} // namespace skin

namespace app {

// Answers (RESULT): 0 while open, then the Windows dialog results IDYES and IDNO, or OK.
constexpr uint32_t kResultOpen = 0;
constexpr uint32_t kResultYes = 6;
constexpr uint32_t kResultNo = 7;
constexpr uint32_t kResultOk = 99;

// Stripe cells of the dialog pictures.
constexpr int kIconQuestion = 2;
constexpr int kIconInformation = 3;
constexpr int kIconWarning = 4;

class TForm_YesNo : public skin::TSkinnedDialog {
    Q_OBJECT
public:
    explicit TForm_YesNo(QWidget* owner = nullptr);

    uint32_t RESULT = kResultOpen;

    // The contents: the background (null: the white design background), the picture (null:
    // none), the formatted text, the caption and the "remember" check box with its text; the
    // buttons' texts come from the message catalogue.
    void Fill(const QImage* background, const QImage& icon, const QString& text,
              const QString& caption, bool showCheckBox, const QString& checkBoxText);
    // A question: Yes and No side by side. Default 7 focuses No, 6 Yes, anything else leaves the
    // focus where the design has it.
    void AskAsQuestion(int Default);
    // A message: OK alone, where Yes would be.
    void TellAsMessage();
    bool Remembered() const;

private:
    void setupUi();
    void answer(uint32_t result);

    skin::TImage* Image_Back = nullptr;
    skin::TImage* Image1 = nullptr;
    skin::THTMLabel* HTMLabel1 = nullptr;
    QPushButton* Button_Ok = nullptr;
    QCheckBox* CheckBox_Remember = nullptr;
    QPushButton* Button_Ja = nullptr;
    QPushButton* Button_Nein = nullptr;
};

// The question dialog; returns RESULT (6 or 7). Default 7 focuses No, 6 Yes, anything else
// leaves the focus where the design has it. Remember (may be null) receives the check box.
uint32_t Ask(const QImage& Icon, const QString& Text, const QString& Caption, int Default,
             bool* Remember, bool ShowCheckBox, const QString& CheckBoxText);
// The message dialog with its OK button.
void Tell(const QImage& Icon, const QString& Text, const QString& Caption, bool* Remember,
          bool ShowCheckBox, const QString& CheckBoxText);

// The background shared by every dialog of the run: the skin's "Background_Asker.bmp", loaded
// on first use and kept. Ask and Tell use it once it has been loaded.
void LoadAskerBackground();
bool AskerBackgroundLoaded();
void ResetAskerBackground(); // tests

// A stripe cell at 64 pixels; a null picture without a stripe.
QImage StripeIcon64(int cell);

// The main window's entry points: the program title as caption, no check box.
int AskYesOrNoDialog(const QString& Text, int Default);
void ShowInfoDialog(const QString& Text);
void ShowWarningDialog(const QString& Text);

} // namespace app
