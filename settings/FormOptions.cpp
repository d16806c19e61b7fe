#include "settings/FormOptions.h"

#include "settings/Registry.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QStackedWidget>

namespace settings {
namespace {

TForm_Options* g_instance = nullptr;

QLineEdit* makeEdit(QWidget* page, const char* name, const char* text) {
    auto* edit = new QLineEdit(page);
    edit->setObjectName(QLatin1String(name));
    edit->setText(QString::fromUtf8(text));
    return edit;
}

} // namespace

TForm_Options::TForm_Options(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("Form_Options"));
    setupUi();
    LOAD_OPTIONS();
}

TForm_Options::~TForm_Options() {
    if (g_instance == this)
        g_instance = nullptr;
}

void TForm_Options::setupUi() {
    PageControl1 = new QStackedWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    auto* page = new QWidget(PageControl1);
    page->setObjectName(QStringLiteral("TabSheet_ORB1"));
    PageControl1->addWidget(page);

    Edit_ORB_Audio = makeEdit(page, "Edit_ORB_Audio", "MP3 ; OGG ; WAV ; MID ; WMA");
    Edit_ORB_Video =
        makeEdit(page, "Edit_ORB_Video", "AVI ; MPG ; MPEG ; RM ; WMV ; MOV ; VOB ; MP4 ; MKV");
    Edit_ORB_Bild = makeEdit(page, "Edit_ORB_Bild", "BMP ; JPG ; JPEG ; PNG ; GIF ; PSD ; TGA ; TIF");
    Edit_ORB_Archive = makeEdit(page, "Edit_ORB_Archive", "ZIP ; RAR ; CAB ; 7Z ; ACE ; GZIP ; TAR");
    Edit_ORB_Docs = makeEdit(page, "Edit_ORB_Docs", "DOC ; XLS ; XLM ; PPT ; RTF ; HTM ; HTML");
    Edit_ORB_Apps = makeEdit(page, "Edit_ORB_Apps", "EXE ; COM ; BAT ; DLL ; OCX");
    CheckBox_ORB_ShowOwnGroup = new QCheckBox(page);
    CheckBox_ORB_ShowOwnGroup->setObjectName(QStringLiteral("CheckBox_ORB_ShowOwnGroup"));
    Edit_ORB_Name_OwnGroup = makeEdit(page, "Edit_ORB_Name_OwnGroup", "");
    Edit_ORB_Formate_OwnGroup = makeEdit(page, "Edit_ORB_Formate_OwnGroup", "");
}

void TForm_Options::LOAD_OPTIONS() {
    for (QLineEdit* edit : {Edit_ORB_Audio, Edit_ORB_Video, Edit_ORB_Bild, Edit_ORB_Archive,
                            Edit_ORB_Docs, Edit_ORB_Apps})
        LoadEditText(HKEY_LOCAL_MACHINE, OptionsKey, edit);
    LoadCheckBoxState(HKEY_LOCAL_MACHINE, OptionsKey, CheckBox_ORB_ShowOwnGroup);
    LoadEditText(HKEY_LOCAL_MACHINE, OptionsKey, Edit_ORB_Name_OwnGroup);
    LoadEditText(HKEY_LOCAL_MACHINE, OptionsKey, Edit_ORB_Formate_OwnGroup);
}

TForm_Options* Form_Options() { return g_instance; }
void SetForm_Options(TForm_Options* form) { g_instance = form; }

} // namespace settings
