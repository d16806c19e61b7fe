#include "app/FormYesNo.h"

#include "i18n/ProjectMessages.h"
#include "platform/AppInfo.h"
#include "skin/ControlBuilder.h"
#include "skin/HTMLabel.h"
#include "skin/Image.h"
#include "skin/MainHost.h"
#include "skin/PngImage.h"
#include "skin/stripeskins.h"

#include <QCheckBox>
#include <QPushButton>

#include <memory>

namespace app {
namespace {

struct AskerBackground {
    QImage picture;
    bool loaded = false;
};

AskerBackground& background() {
    static AskerBackground b;
    return b;
}

QWidget* dialogOwner() {
    skin::TMainHost* host = skin::MainHost();
    return host ? host->MainWindow() : nullptr;
}

// What Ask and Tell share: the dialog filled with picture, text, caption and check box.
std::unique_ptr<TForm_YesNo> prepare(const QImage& icon, const QString& text,
                                     const QString& caption, bool showCheckBox,
                                     const QString& checkBoxText) {
    auto dialog = std::make_unique<TForm_YesNo>(dialogOwner());
    dialog->Fill(background().loaded ? &background().picture : nullptr, icon, text, caption,
                 showCheckBox, checkBoxText);
    dialog->CenterOn(nullptr);
    return dialog;
}

} // namespace

TForm_YesNo::TForm_YesNo(QWidget* owner)
    : TSkinnedDialog(owner, QStringLiteral("Form_YesNo"), QSize(460, 180), QStringLiteral("Frage")) {
    // No system buttons: only the dialog's own buttons end it.
    setWindowFlag(Qt::WindowCloseButtonHint, false);
    // Every text comes from the caller or the message catalogue, none from the window walk.
    setProperty("Tag", 0);
    setupUi();
    RefuseClose = [this] { return RESULT == kResultOpen; };
}

void TForm_YesNo::setupUi() {
    QFont font(QStringLiteral("Segoe UI"));
    font.setPointSize(9);
    setFont(font);

    Image_Back = SetBackground(QStringLiteral("Image_Back"), QImage());

    const skin::TControlBuilder build(this);
    Image1 = build.Add<skin::TImage>("Image1", {8, 16, 64, 64});
    Image1->SetAutoSize(true);

    HTMLabel1 = build.Add<skin::THTMLabel>("HTMLabel1", {88, 16, 368, 92});
    HTMLabel1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto makeButton = [this, &build](const char* name, const QRect& geometry, uint32_t result) {
        auto* button = build.Add<QPushButton>(name, geometry);
        connect(button, &QPushButton::clicked, this, [this, result] { answer(result); });
        return button;
    };
    Button_Ok = makeButton("Button_Ok", QRect(185, 79, 96, 27), kResultOk);
    Button_Ok->setText(QStringLiteral("Ok"));

    CheckBox_Remember = build.Add<QCheckBox>("CheckBox_Remember", {88, 114, 361, 17});

    Button_Ja = makeButton("Button_Ja", QRect(133, 140, 96, 29), kResultYes);
    Button_Ja->setText(QStringLiteral("Ja"));
    Button_Nein = makeButton("Button_Nein", QRect(237, 140, 96, 29), kResultNo);
    Button_Nein->setText(QStringLiteral("Nein"));
}

void TForm_YesNo::answer(uint32_t result) {
    RESULT = result;
    done(int(result));
}

void TForm_YesNo::Fill(const QImage* background, const QImage& icon, const QString& text,
                       const QString& caption, bool showCheckBox, const QString& checkBoxText) {
    if (background)
        Image_Back->SetPicture(*background);
    if (!icon.isNull())
        Image1->SetPicture(icon);
    HTMLabel1->SetHTMLText(text);
    skin::SpaceFormattedLines(this);
    CheckBox_Remember->setVisible(showCheckBox);
    CheckBox_Remember->setText(checkBoxText);
    if (!showCheckBox)
        HTMLabel1->resize(HTMLabel1->width(), 113);
    setWindowTitle(caption);
    Button_Ja->setText(i18n::Message(i18n::Msg::MESSAGE_ASKER_YES));
    Button_Nein->setText(i18n::Message(i18n::Msg::MESSAGE_ASKER_NO));
    Button_Ok->setText(i18n::Message(i18n::Msg::MESSAGE_ASKER_OK));
}

void TForm_YesNo::AskAsQuestion(int Default) {
    Button_Ok->hide();
    Button_Nein->move(Button_Nein->x(), Button_Ja->y());
    if (Default == int(kResultNo))
        Button_Nein->setFocus();
    else if (Default == int(kResultYes))
        Button_Ja->setFocus();
}

void TForm_YesNo::TellAsMessage() {
    Button_Ok->move(Button_Ok->x(), Button_Ja->y());
    Button_Ja->hide();
    Button_Nein->hide();
    Button_Ok->setFocus();
}

bool TForm_YesNo::Remembered() const { return CheckBox_Remember->isChecked(); }

uint32_t Ask(const QImage& Icon, const QString& Text, const QString& Caption, int Default,
             bool* Remember, bool ShowCheckBox, const QString& CheckBoxText) {
    auto dialog = prepare(Icon, Text, Caption, ShowCheckBox, CheckBoxText);
    dialog->AskAsQuestion(Default);
    dialog->exec();
    if (Remember)
        *Remember = dialog->Remembered();
    return dialog->RESULT;
}

void Tell(const QImage& Icon, const QString& Text, const QString& Caption, bool* Remember,
          bool ShowCheckBox, const QString& CheckBoxText) {
    auto dialog = prepare(Icon, Text, Caption, ShowCheckBox, CheckBoxText);
    dialog->TellAsMessage();
    dialog->exec();
    if (Remember)
        *Remember = dialog->Remembered();
}

void LoadAskerBackground() {
    if (background().loaded)
        return;
    background().picture =
        skin::LoadSkinPicture(skin::SkinFolder() + QStringLiteral("\\Background_Asker.bmp"));
    background().loaded = true;
}

bool AskerBackgroundLoaded() { return background().loaded; }

void ResetAskerBackground() { background() = AskerBackground(); }

QImage StripeIcon64(int cell) {
    QImage picture;
    if (const skin::TStripeSkinner* stripe = skin::CurrentStripe())
        stripe->CopyToPicture(64, picture, cell, false, 1.0f);
    return picture;
}

int AskYesOrNoDialog(const QString& Text, int Default) {
    LoadAskerBackground();
    return int(Ask(StripeIcon64(kIconQuestion), Text, platform::ApplicationTitle(), Default,
                   nullptr, false, QString()));
}

void ShowInfoDialog(const QString& Text) {
    LoadAskerBackground();
    Tell(StripeIcon64(kIconInformation), Text, platform::ApplicationTitle(), nullptr, false,
         QString());
}

void ShowWarningDialog(const QString& Text) {
    LoadAskerBackground();
    Tell(StripeIcon64(kIconWarning), Text, platform::ApplicationTitle(), nullptr, false, QString());
}

} // namespace app
