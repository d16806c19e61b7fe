#include "dialogs/options/FormOptions.h"

#include "dialogs/options/ContextMenu.h"
#include "i18n/FileAccess.h"
#include "i18n/LanguageSelection.h"
#include "i18n/ProjectMessages.h"
#include "i18n/TranslatableComponents.h"
#include "i18n/nLang3.h"
#include "inet/OnlineHelp.h"
#include "inet/zel_inet2.h"
#include "platform/AppInfo.h"
#include "platform/MessageBox.h"
#include "platform/ProgramFolder.h"
#include "settings/KeptAnalyses.h"
#include "settings/Registry.h"
#include "skin/ControlBuilder.h"
#include "skin/HTMLabel.h"
#include "skin/Image.h"
#include "skin/LumoButton2.h"
#include "skin/MainHost.h"
#include "skin/Panel.h"
#include "skin/PngImage.h"
#include "skin/SkinApply.h"
#include "skin/SkinNavi.h"
#include "skin/TarviMouseImage3State.h"
#include "skin/ToolTips.h"
#include "skin/stripeskins.h"

#include <QCheckBox>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QSaveFile>
#include <QScreen>
#include <QShowEvent>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabBar>
#include <QTreeWidget>
#include <QValidator>

namespace settings {
namespace {

TForm_Options* g_instance = nullptr;

const QString kSection = QStringLiteral("Form_Options");

// Design geometry (client 860 x 520).
constexpr int kClientWidth = 860;
constexpr int kClientHeight = 520;
constexpr int kNaviWidth = 181;
constexpr int kBottomHeight = 48;
constexpr int kPageLeft = 188;
constexpr int kPageWidth = 663;
constexpr int kTabTop = 8;
constexpr int kTabHeight = 28;
// Inside a page: the icon on the left, everything else in a column right of it.
constexpr int kContentLeft = 66;
constexpr int kContentWidth = 651 - kContentLeft;
constexpr int kFieldLeft = 200;
constexpr int kFieldWidth = 651 - kFieldLeft;

// Stripe cells of the page icons and the navigation entries.
constexpr int kIconSkin = 24;
constexpr int kIconLanguage = 40;
constexpr int kIconContextMenu = 66;
constexpr int kIconOther = 22;
constexpr int kIconFormats = 101;
constexpr int kNaviCellGeneral = 127;
constexpr int kNaviCellAnalyser = 101;

QString builtIn(const char* component) {
    return i18n::BuiltInText(kSection, QLatin1String(component));
}

QLabel* heading(const skin::TControlBuilder& build, const char* name, const QRect& geometry) {
    auto* label = build.Add<QLabel>(name, geometry, skin::Translated);
    label->setText(builtIn(name));
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

QLabel* fieldLabel(const skin::TControlBuilder& build, const QString& name, int top) {
    auto* label = build.Add<QLabel>(
        name, QRect(kContentLeft, top, kFieldLeft - kContentLeft - 8, 22), skin::Translated);
    label->setText(i18n::BuiltInText(kSection, name));
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

skin::THTMLabel* htmlLabel(const skin::TControlBuilder& build, const char* name,
                           const QRect& geometry) {
    auto* label = build.Add<skin::THTMLabel>(name, geometry, skin::Translated);
    label->setText(builtIn(name));
    return label;
}

QLineEdit* edit(const skin::TControlBuilder& build, const QString& name, int top) {
    return build.Add<QLineEdit>(name, QRect(kFieldLeft, top, kFieldWidth, 22));
}

QCheckBox* checkBox(const skin::TControlBuilder& build, const char* name, const QRect& geometry) {
    auto* box = build.Add<QCheckBox>(name, geometry, skin::Translated);
    box->setText(builtIn(name));
    return box;
}

skin::TLumoButton2* button(const skin::TControlBuilder& build, const char* name,
                           const QRect& geometry) {
    auto* lumo = build.Add<skin::TLumoButton2>(name, geometry, skin::Translated);
    lumo->SetAutoWidth(false);
    lumo->SetCaption(builtIn(name));
    return lumo;
}

skin::TTabSheet* page(QStackedWidget* pages, const char* name) {
    auto* sheet = skin::TControlBuilder(pages).Add<skin::TTabSheet>(name, skin::Translated);
    sheet->SetCaption(builtIn(name));
    pages->addWidget(sheet);
    return sheet;
}

// The 48-pixel icon in the top-left corner of a page.
void pageIcon(const skin::TControlBuilder& build, int cell) {
    auto* image = build.Add<skin::TImage>(QStringLiteral("Image_") +
                                              build.Parent()->objectName().section(u'_', 1),
                                          QRect(6, 12, 48, 48));
    QImage picture;
    if (const skin::TStripeSkinner* stripe = skin::CurrentStripe())
        stripe->CopyToPicture(48, picture, cell, false, 1.0f);
    image->SetPicture(picture);
}

// Every letter typed into the field becomes a capital.
class TUpperCaseValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = input.toUpper();
        return Acceptable;
    }
};

QString dataFile(const char* name) {
    return platform::ProgramFolder() + QStringLiteral("\\data\\") + QLatin1String(name);
}

// Replaces `target` with a copy of `source`; the old file stays until the copy is complete.
void replaceWithCopy(const QString& target, const QString& source) {
    QByteArray bytes;
    QString error;
    if (!i18n::ReadWholeFile(source, &bytes, &error))
        return;
    QSaveFile out(QFile::decodeName(QByteArray::fromStdString(i18n::ResolveNativePath(target))));
    if (!out.open(QIODevice::WriteOnly))
        return;
    out.write(bytes);
    out.commit();
}

} // namespace

TForm_Options::TForm_Options(skin::TMainHost* host)
    : QDialog(host ? host->MainWindow() : nullptr, Qt::Dialog | Qt::WindowTitleHint |
                                                       Qt::CustomizeWindowHint |
                                                       Qt::WindowCloseButtonHint),
      FHost(host) {
    setObjectName(kSection);
    setProperty("Tag", 1);
    setWindowTitle(builtIn("Form_Options"));
    setFixedSize(kClientWidth, kClientHeight);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);
    setFont(QFont(QStringLiteral("Tahoma"), 9));

    setupUi();
    connectSignals();
    i18n::LOAD_TRANSLATION_TO_FORM(platform::ProgramFolder() + QStringLiteral("\\translation"),
                                   i18n::CurrentTranslationName(), this);
    skin::SpaceFormattedLines(this);
    applySkin();
    PageControl1->setCurrentIndex(0);
    Shape_TabLine->setGeometry(kPageLeft, AdvOfficeTabSet1->geometry().bottom() + 1,
                               PageControl1->width(), 1);
    fillLanguageList();
    TarviMouseImage3State1Click(TarviMouseImage3State1);
    LOAD_OPTIONS();
    installTooltipSwitch();
}

TForm_Options::~TForm_Options() {
    if (g_instance == this)
        g_instance = nullptr;
}

void TForm_Options::setupUi() {
    const skin::TControlBuilder build(this);
    setupNavigation();
    AdvOfficeTabSet1 =
        build.Add<QTabBar>("AdvOfficeTabSet1", {kPageLeft, kTabTop, kPageWidth, kTabHeight});
    AdvOfficeTabSet1->setDrawBase(false);
    AdvOfficeTabSet1->setExpanding(false);
    AdvOfficeTabSet1->setUsesScrollButtons(false);
    AdvOfficeTabSet1->setFocusPolicy(Qt::NoFocus);
    Shape_TabLine = build.Add<QWidget>("Shape_TabLine"); // placed once the tab bar has its height
    Shape_TabLine->setAutoFillBackground(true);

    PageControl1 = build.Add<QStackedWidget>(
        "PageControl1", {kPageLeft, kTabTop + kTabHeight + 1, kPageWidth,
                         kClientHeight - kBottomHeight - 4 - (kTabTop + kTabHeight + 1)});
    TabSheet_LANG = page(PageControl1, "TabSheet_LANG");
    TabSheet_OTHER = page(PageControl1, "TabSheet_OTHER");
    TabSheet_ORB1 = page(PageControl1, "TabSheet_ORB1");
    TabSheet_SKIN = page(PageControl1, "TabSheet_SKIN");
    TabSheet_CONTEXTMENU = page(PageControl1, "TabSheet_CONTEXTMENU");
    setupLanguagePage();
    setupOtherPage();
    setupFormatsPage();
    setupSkinPage();
    setupContextMenuPage();
    setupBottomBar();
}

void TForm_Options::setupNavigation() {
    Panel_Navi = skin::TControlBuilder(this).Add<QWidget>(
        "Panel_Navi", {0, 0, kNaviWidth, kClientHeight - kBottomHeight});
    const skin::TControlBuilder build(Panel_Navi);
    Image_NaviBackground = build.Add<skin::TImage>("Image_NaviBackground", Panel_Navi->rect());
    Image_NaviBackground->SetStretch(true);
    TarviMouseImage3State1 =
        build.Add<skin::TTarviMouseImage3State>("TarviMouseImage3State1", {0, 8, kNaviWidth, 40});
    TarviMouseImage3State8 =
        build.Add<skin::TTarviMouseImage3State>("TarviMouseImage3State8", {0, 48, kNaviWidth, 40});
}

void TForm_Options::setupBottomBar() {
    Panel_Unten = skin::TControlBuilder(this).Add<skin::TPanel>(
        "Panel_Unten", {0, kClientHeight - kBottomHeight, kClientWidth, kBottomHeight});
    Panel_Unten->SetColor(skin::RGB(0xF4, 0xF6, 0xF9));
    Panel_Unten->SetLineTopColor(skin::RGB(0xDD, 0xE2, 0xE8));
    const skin::TControlBuilder build(Panel_Unten);
    LumoButton_Reset = button(build, "LumoButton_Reset", {12, 10, 130, 28});
    LumoButton_Ok = button(build, "LumoButton_Ok", {kClientWidth - 12 - 110, 10, 110, 28});
    LumoButton_Ok->SetActionButton(true);
}

void TForm_Options::setupLanguagePage() {
    const skin::TControlBuilder build(TabSheet_LANG);
    htmlLabel(build, "HTMLabel_LANG_Info", {kContentLeft, 12, kContentWidth, 56});
    ListView_Options_Language = build.Add<QTreeWidget>(
        "ListView_Options_Language", {kContentLeft, 76, kContentWidth, 296}, skin::Translated);
    QTreeWidget* list = ListView_Options_Language;
    list->setColumnCount(3);
    list->setHeaderLabels(builtIn("ListView_Options_Language").split(QStringLiteral("\r\n")));
    list->setColumnWidth(0, 260);
    list->setColumnWidth(1, 300);
    list->setColumnHidden(2, true);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setIconSize(QSize(16, 16));
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->header()->setSectionsMovable(false);
    list->header()->setStretchLastSection(false);
    HTMLabel_LANG_Translate =
        htmlLabel(build, "HTMLabel_LANG_Translate", {kContentLeft, 384, kContentWidth, 36});
    pageIcon(build, kIconLanguage);
}

void TForm_Options::setupOtherPage() {
    const skin::TControlBuilder build(TabSheet_OTHER);
    htmlLabel(build, "HTMLabel_OTHER_Info", {kContentLeft, 12, kContentWidth, 56});
    heading(build, "Label_OTHER_ServiceChannel", {kContentLeft, 76, kContentWidth, 20});
    htmlLabel(build, "HTMLabel_OTHER_ServiceChannel", {kContentLeft, 100, kContentWidth, 48});
    LumoButton_ConfigureChannels =
        button(build, "LumoButton_ConfigureChannels", {kContentLeft, 156, 150, 28});
    CheckBox_Other_Tooltips =
        checkBox(build, "CheckBox_Other_Tooltips", {kContentLeft, 204, kContentWidth, 22});
    CheckBox_Other_Tooltips->setChecked(false);
    CheckBox_Other_Tooltips->setVisible(false);
    // Completed analyses are kept for reopening: how many of each drive, how much in all. None
    // switches keeping off.
    heading(build, "Label_OTHER_Kept", {kContentLeft, 204, kContentWidth, 20});
    const auto spin = [&build](const char* name, int top, int maximum) {
        fieldLabel(build, QStringLiteral("Label") + QLatin1String(name).mid(8), top);
        auto* box = build.Add<QSpinBox>(name, QRect(kFieldLeft, top, 110, 22));
        box->setRange(0, maximum);
        return box;
    };
    SpinEdit_ORB_KeepPerDrive = spin("SpinEdit_ORB_KeepPerDrive", 230, settings::kMaxKeptPerDrive);
    SpinEdit_ORB_KeepMaxMiB = spin("SpinEdit_ORB_KeepMaxMiB", 258, settings::kMaxKeptTotalMiB);
    SpinEdit_ORB_KeepMaxMiB->setSuffix(QStringLiteral(" MB"));
    pageIcon(build, kIconOther);
}

void TForm_Options::setupFormatsPage() {
    const skin::TControlBuilder build(TabSheet_ORB1);
    htmlLabel(build, "HTMLabel_ORB1_Info", {kContentLeft, 12, kContentWidth, 56});
    heading(build, "Label_ORB_Formats", {kContentLeft, 76, kContentWidth, 20});
    // A row per group: its edit is named as its value in the registry, its label likewise with
    // "Label" for "Edit". The own group's list comes below its switch and name.
    const auto row = [&build](const char* valueName, int top) {
        const QString name = QLatin1String(valueName);
        fieldLabel(build, QStringLiteral("Label") + name.mid(4), top);
        return edit(build, name, top);
    };
    int top = 102;
    for (const settings::FormatGroupInfo& group : settings::kFormatGroups) {
        if (group.id == settings::FormatGroupId::Own)
            continue;
        FFormatEdits[static_cast<size_t>(group.id)] = row(group.valueName, top);
        top += 28;
    }
    heading(build, "Label_ORB_OwnGroup", {kContentLeft, 282, kContentWidth, 20});
    CheckBox_ORB_ShowOwnGroup =
        checkBox(build, settings::kShowOwnGroupValue, {kContentLeft, 306, kContentWidth, 22});
    Edit_ORB_Name_OwnGroup = row(settings::kOwnGroupNameValue, 334);
    QLineEdit* ownList =
        row(settings::FormatGroupInfoOf(settings::FormatGroupId::Own).valueName, 362);
    ownList->setValidator(new TUpperCaseValidator(ownList));
    FFormatEdits[static_cast<size_t>(settings::FormatGroupId::Own)] = ownList;
    showFormatGroups(settings::FormatGroups());
    pageIcon(build, kIconFormats);
}

void TForm_Options::setupSkinPage() {
    const skin::TControlBuilder build(TabSheet_SKIN);
    ListBox_Skins = build.Add<QListWidget>("ListBox_Skins", {kContentLeft, 12, kContentWidth, 404});
    ListBox_Skins->setItemDelegate(new skin::TSkinListDelegate(ListBox_Skins));
    ListBox_Skins->setSelectionMode(QAbstractItemView::SingleSelection);
    pageIcon(build, kIconSkin);
}

void TForm_Options::setupContextMenuPage() {
    const skin::TControlBuilder build(TabSheet_CONTEXTMENU);
    const auto row = [](int top, int indent) {
        return QRect(kContentLeft + indent, top, kContentWidth - indent, 22);
    };
    CheckBox_ShowContextMenu = checkBox(build, "CheckBox_ShowContextMenu", row(12, 0));
    CheckBox_Context_DEFRAG = checkBox(build, "CheckBox_Context_DEFRAG", row(40, 20));
    CheckBox_Context_DL = checkBox(build, "CheckBox_Context_DL", row(64, 20));
    CheckBox_Context_FW = checkBox(build, "CheckBox_Context_FW", row(88, 20));
    CheckBox_Context_ED = checkBox(build, "CheckBox_Context_ED", row(112, 20));
    CheckBox_Context_FSJ = checkBox(build, "CheckBox_Context_FSJ", row(136, 20));
    CheckBox_Context_Recycle_FW = checkBox(build, "CheckBox_Context_Recycle_FW", row(172, 0));
    CheckBox_Context_Recycle_Undelete =
        checkBox(build, "CheckBox_Context_Recycle_Undelete", row(196, 0));
    // These three only show what is registered; the user cannot change that here.
    for (QCheckBox* box :
         {CheckBox_ShowContextMenu, CheckBox_Context_Recycle_FW, CheckBox_Context_Recycle_Undelete})
        box->setEnabled(false);
    // All groups are shown in the design.
    for (QCheckBox* box : contextGroupBoxes())
        box->setChecked(true);
    pageIcon(build, kIconContextMenu);
}

void TForm_Options::connectSignals() {
    TarviMouseImage3State1->OnClick = [this](QObject* sender) {
        TarviMouseImage3State1Click(sender);
    };
    TarviMouseImage3State8->OnClick = TarviMouseImage3State1->OnClick;
    connect(AdvOfficeTabSet1, &QTabBar::currentChanged, this,
            [this](int tab) { AdvOfficeTabSet1Change(tab); });
    LumoButton_Ok->OnClick = [this](QObject*) { LumoButton_OkClick(); };
    LumoButton_Reset->OnClick = [this](QObject*) { LumoButton_ResetClick(); };
    LumoButton_ConfigureChannels->OnClick = [this](QObject*) {
        LumoButton_ConfigureChannelsClick();
    };
    HTMLabel_LANG_Translate->OnAnchorClick = [this](const QString& href) {
        HTMLabel_LANG_TranslateAnchorClick(href);
    };
}

void TForm_Options::applySkin() {
    skin::SkinButtonsInPanel(Panel_Unten);

    Image_NaviBackground->SetPicture(
        skin::LoadSkinPicture(skin::SkinFolder() + QStringLiteral("\\navi_options.bmp")));
    Image_NaviBackground->lower();
    skin::MakeNaviImage(Image_NaviBackground->Picture(), TarviMouseImage3State1,
                        i18n::Message(i18n::Msg::MESSAGE_OPTIONS_NAVI1), kNaviCellGeneral);
    skin::MakeNaviImage(Image_NaviBackground->Picture(), TarviMouseImage3State8,
                        i18n::Message(i18n::Msg::MESSAGE_MODULNAME_OB), kNaviCellAnalyser);

    // The tab bar and its line take the skin's button colours: the action colour marks the
    // chosen tab.
    const QString ini = skin::SkinFolder() + QStringLiteral("\\skin.ini");
    const auto color = [&ini](const char* key) {
        return skin::ToQColor(
                   skin::ReadSkinColor(ini, QStringLiteral("LumoButtons2"), QLatin1String(key)))
            .name();
    };
    AdvOfficeTabSet1->setStyleSheet(
        QStringLiteral("QTabBar::tab { font-family: Tahoma; font-size: 9pt; color: #3A4452;"
                       " background: transparent; border: none; border-bottom: 3px solid"
                       " transparent; padding: 4px 14px 3px 14px; margin-right: 4px; }"
                       "QTabBar::tab:selected { color: %1; border-bottom: 3px solid %1; }"
                       "QTabBar::tab:hover:!selected { border-bottom: 3px solid %2; }")
            .arg(color("FaceColor_ActionButton"), color("BorderColor_Hover")));
    QPalette line = Shape_TabLine->palette();
    line.setColor(QPalette::Window, QColor(0xDD, 0xE2, 0xE8));
    Shape_TabLine->setPalette(line);
}

void TForm_Options::fillLanguageList() {
    QTreeWidget* list = ListView_Options_Language;
    list->clear();
    FImageList_Flags.clear();
    QMenu menu;
    i18n::BuildLanguageMenu(&menu, &FImageList_Flags);
    const QString folder = platform::ProgramFolder() + QStringLiteral("\\Translation\\");
    for (const QAction* entry : menu.actions()) {
        const int index = entry->data().toInt() - 1;
        auto* row = new QTreeWidgetItem(list);
        row->setText(0, entry->text());
        const QVariant image = entry->property("ImageIndex");
        if (image.isValid() && image.toInt() >= 0 && image.toInt() < FImageList_Flags.size())
            row->setIcon(0, QIcon(FImageList_Flags[image.toInt()]));
        i18n::TLang translation;
        translation.Load_Translation(folder + i18n::TranslationNames().value(index) +
                                         QStringLiteral(".nlang3"),
                                     folder + QStringLiteral("index.txt"));
        row->setText(1, translation.Get_StringW(QStringLiteral("MESSAGES"),
                                                QStringLiteral("MESSAGE_TRANSLATOR_NAME")));
        row->setText(2, QString::number(index));
    }
    list->clearSelection();
    list->setCurrentItem(nullptr);
}

void TForm_Options::installTooltipSwitch() {
    // The switch outlives this instance when the dialog is replaced after a reset; without the
    // box it answers "off", as the box does in its design state.
    const QPointer<QCheckBox> box = CheckBox_Other_Tooltips;
    skin::ToolTips().SetRegistrationSwitch([box] { return box && box->isChecked(); });
}

settings::FormatGroups TForm_Options::ShownFormatGroups() const {
    settings::FormatGroups groups;
    for (const settings::FormatGroupInfo& group : settings::kFormatGroups)
        groups.SetList(group.id, FormatEdit(group.id)->text());
    groups.ShowOwnGroup = CheckBox_ORB_ShowOwnGroup->isChecked();
    groups.OwnGroupName = Edit_ORB_Name_OwnGroup->text();
    return groups;
}

void TForm_Options::showFormatGroups(const settings::FormatGroups& groups) {
    for (const settings::FormatGroupInfo& group : settings::kFormatGroups) {
        // A list longer than its field shows from its start.
        FormatEdit(group.id)->setText(groups.List(group.id));
        FormatEdit(group.id)->setCursorPosition(0);
    }
    CheckBox_ORB_ShowOwnGroup->setChecked(groups.ShowOwnGroup);
    Edit_ORB_Name_OwnGroup->setText(groups.OwnGroupName);
}

QList<QCheckBox*> TForm_Options::contextGroupBoxes() const {
    return {CheckBox_Context_DEFRAG, CheckBox_Context_DL, CheckBox_Context_FW, CheckBox_Context_ED,
            CheckBox_Context_FSJ};
}

TContextMenuBoxes TForm_Options::contextBoxes() const {
    return {CheckBox_ShowContextMenu,
            {CheckBox_Context_DEFRAG, CheckBox_Context_DL, CheckBox_Context_FW, CheckBox_Context_ED,
             CheckBox_Context_FSJ},
            CheckBox_Context_Recycle_FW,
            CheckBox_Context_Recycle_Undelete};
}

void TForm_Options::LOAD_OPTIONS() {
    skin::FillSkinList(ListBox_Skins);
    LoadContextMenuBoxes(contextBoxes());
    FormatGroups formats = ShownFormatGroups();
    formats.Load();
    showFormatGroups(formats);
    const settings::KeptAnalysesSettings kept = settings::LoadKeptAnalysesSettings();
    SpinEdit_ORB_KeepPerDrive->setValue(kept.PerDrive);
    SpinEdit_ORB_KeepMaxMiB->setValue(kept.MaxTotalMiB);
}

void TForm_Options::SAVE_OPTIONS() {
    skin::SaveSkinChoice(ListBox_Skins);
    const QList<QTreeWidgetItem*> selected = ListView_Options_Language->selectedItems();
    if (!selected.isEmpty()) {
        bool ok = false;
        const int index = selected.first()->text(2).toInt(&ok);
        if (ok && index >= 0 && index < i18n::TranslationNames().size())
            i18n::SaveForcedLanguage(i18n::TranslationNames()[index]);
    }
    SaveContextMenuBoxes(contextBoxes());
    settings::SaveKeptAnalysesSettings(
        {SpinEdit_ORB_KeepPerDrive->value(), SpinEdit_ORB_KeepMaxMiB->value()});
    const FormatGroups formats = ShownFormatGroups();
    formats.Save();
    if (formats != ProgramFormatGroups()) {
        ProgramFormatGroups() = formats;
        emit FormatGroupsChanged();
    }
}

void TForm_Options::SelectNavigationGroup(int group) {
    TarviMouseImage3State1Click(group == 2 ? TarviMouseImage3State8 : TarviMouseImage3State1);
}

void TForm_Options::TarviMouseImage3State1Click(QObject* Sender) {
    skin::TTarviMouseImage3State* chosen =
        Sender == TarviMouseImage3State8 ? TarviMouseImage3State8 : TarviMouseImage3State1;
    skin::TTarviMouseImage3State* other =
        chosen == TarviMouseImage3State1 ? TarviMouseImage3State8 : TarviMouseImage3State1;
    TarviMouseImage3State1->setEnabled(true);
    TarviMouseImage3State8->setEnabled(true);
    chosen->setEnabled(false);
    chosen->SetPicture(chosen->Picture_Pressed());
    other->SetPicture(other->Picture_Normal());
    FNavigationGroup = chosen == TarviMouseImage3State1 ? 1 : 2;
    if (FNavigationGroup == 1)
        skin::FillTabSetFromPages(
            AdvOfficeTabSet1, PageControl1,
            {QStringLiteral("TabSheet_LANG"), QStringLiteral("TabSheet_OTHER")});
    else
        skin::FillTabSetFromPages(AdvOfficeTabSet1, PageControl1,
                                  {QStringLiteral("TabSheet_ORB1")});
}

void TForm_Options::AdvOfficeTabSet1Change(int tab) {
    if (tab < 0)
        return;
    const QVariant index = AdvOfficeTabSet1->tabData(tab);
    if (index.isValid())
        PageControl1->setCurrentIndex(index.toInt());
}

void TForm_Options::LumoButton_OkClick() {
    SAVE_OPTIONS();
    accept();
}

void TForm_Options::LumoButton_ResetClick() {
    const QString question = i18n::Message(i18n::Msg::MESSAGEHTML_OPTIONS_ASKER_SURETORESET);
    int answer = platform::IDNO;
    if (FHost)
        answer = FHost->AskYesOrNo(question, platform::IDNO);
    else
        answer = platform::MessageBoxW(question, platform::ApplicationTitle(),
                                       platform::MB_YESNO | platform::MB_ICONQUESTION);
    if (answer != platform::IDYES)
        return;
    RegDeleteKeyTree(HKEY_LOCAL_MACHINE, OptionsKey);
    RestoreDefaultDataFiles();
    // The program's groups go back to the built-in ones with the stored values gone.
    const bool formatsChanged = ProgramFormatGroups() != FormatGroups();
    ForgetProgramFormatGroups();
    if (formatsChanged)
        emit FormatGroupsChanged();
    SIGNAL_RECREATE_FORM = true;
    done(QDialog::Accepted);
}

void TForm_Options::LumoButton_ConfigureChannelsClick() {
    inet::zinet_StartInfoChannelsConfig(this);
}

void TForm_Options::HTMLabel_LANG_TranslateAnchorClick(const QString&) {
    inet::OpenLinkTarget(QStringLiteral("translation"));
}

void TForm_Options::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    // The page edits a copy of the program's groups, as they are stored now.
    ProgramFormatGroups().Load();
    showFormatGroups(ProgramFormatGroups());
    LOAD_OPTIONS();
    if (FHost && FHost->CurrentModuleClassName() == QLatin1String("TForm_ORB"))
        SelectNavigationGroup(2);
    // Centred on the main window, or on the screen when there is none to be seen.
    QRect area;
    if (QWidget* main = FHost ? FHost->MainWindow() : parentWidget(); main && main->isVisible())
        area = main->frameGeometry();
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (area.isValid())
        move(area.center() - rect().center());
    FShown = takeSnapshot();
}

int TForm_Options::ExecFor(QObject* sender) {
    FCurrentSender = sender;
    const int result = exec();
    FCurrentSender = nullptr;
    return result;
}

void TForm_Options::done(int result) {
    if (result != QDialog::Accepted && !SIGNAL_RECREATE_FORM)
        restoreSnapshot(FShown);
    QDialog::done(result);
}

TForm_Options::Snapshot TForm_Options::takeSnapshot() const {
    Snapshot s;
    s.formats = ShownFormatGroups();
    const QList<QTreeWidgetItem*> selected = ListView_Options_Language->selectedItems();
    s.languageRow =
        selected.isEmpty() ? -1 : ListView_Options_Language->indexOfTopLevelItem(selected.first());
    s.skinRow = ListBox_Skins->currentRow();
    for (const QCheckBox* box : contextGroupBoxes())
        s.contextGroups.append(box->isChecked());
    s.keepPerDrive = SpinEdit_ORB_KeepPerDrive->value();
    s.keepMaxMiB = SpinEdit_ORB_KeepMaxMiB->value();
    return s;
}

void TForm_Options::restoreSnapshot(const Snapshot& s) {
    if (s.contextGroups.isEmpty())
        return; // never shown
    showFormatGroups(s.formats);
    ListView_Options_Language->clearSelection();
    if (QTreeWidgetItem* row = ListView_Options_Language->topLevelItem(s.languageRow))
        row->setSelected(true);
    ListBox_Skins->setCurrentRow(s.skinRow);
    const QList<QCheckBox*> boxes = contextGroupBoxes();
    for (int i = 0; i < boxes.size() && i < s.contextGroups.size(); ++i)
        boxes[i]->setChecked(s.contextGroups[i]);
    SpinEdit_ORB_KeepPerDrive->setValue(s.keepPerDrive);
    SpinEdit_ORB_KeepMaxMiB->setValue(s.keepMaxMiB);
}

TForm_Options* Form_Options() {
    return g_instance;
}
void SetForm_Options(TForm_Options* form) {
    g_instance = form;
}

bool SkinOrLanguageChangeNeedsHint(const QString& runningTranslation, const QString& runningSkin,
                                   const QString& storedForceLanguage,
                                   const QString& storedUseSkin) {
    return (!storedUseSkin.isEmpty() && storedUseSkin != runningSkin) ||
           (!storedForceLanguage.isEmpty() && storedForceLanguage != runningTranslation);
}

bool SkinOrLanguageChangeNeedsHint(const QString& runningTranslation, const QString& runningSkin) {
    return SkinOrLanguageChangeNeedsHint(
        runningTranslation, runningSkin,
        RegReadString(HKEY_LOCAL_MACHINE, OptionsKey, QStringLiteral("ForceLanguage_LCID")),
        RegReadString(HKEY_LOCAL_MACHINE, OptionsKey, QStringLiteral("UseSkin")));
}

void RunOptionsDialog(QObject* sender, skin::TMainHost* host) {
    const QString runningTranslation = i18n::CurrentTranslationName();
    const QString runningSkin = skin::SkinFolder().section(u'\\', -1);
    if (!Form_Options())
        SetForm_Options(new TForm_Options(host));
    for (;;) {
        TForm_Options* form = Form_Options();
        form->ExecFor(sender);
        if (!form->SIGNAL_RECREATE_FORM) {
            if (SkinOrLanguageChangeNeedsHint(runningTranslation, runningSkin) && host)
                host->Show_Info(i18n::Message(i18n::Msg::MESSAGEHTML_OPTIONS_SKINORLANG_CHANGED));
            return;
        }
        delete form;
        SetForm_Options(new TForm_Options(host));
    }
}

void RestoreDefaultDataFiles() {
    static constexpr std::pair<const char*, const char*> kPairs[] = {
        {"DC-Files2.txt", "DC-Files2_default.txt"},
        {"DC-Folders2.txt", "DC-Folders2_default.txt"},
    };
    for (const auto& [file, shipped] : kPairs) {
        const QString target = dataFile(file);
        const QString source = dataFile(shipped);
        if (i18n::FileExists(target) && i18n::FileExists(source))
            replaceWithCopy(target, source);
    }
}

} // namespace settings
