#include "views/FormORB.h"

#include "analysis/ItemRemoval.h"
#include "analysis/nogui_Orbisca.h"
#include "i18n/LanguageSelection.h"
#include "i18n/ProjectMessages.h"
#include "i18n/TranslatableComponents.h"
#include "i18n/nLang3.h"
#include "inet/zel_inet2.h"
#include "platform/AppInfo.h"
#include "platform/CommandLine.h"
#include "platform/Debug.h"
#include "platform/DriveTable.h"
#include "platform/MessageBox.h"
#include "platform/ProgramFolder.h"
#include "platform/Pump.h"
#include "platform/Removal.h"
#include "platform/Shell.h"
#include "platform/Trash.h"
#include "saved/AnalysisStore.h"
#include "saved/OpenAnalysis.h"
#include "settings/EnvHelpers.h"
#include "settings/FormatGroups.h"
#include "settings/KeptAnalyses.h"
#include "settings/MapPane.h"
#include "skin/ControlBuilder.h"
#include "skin/HTMLabel.h"
#include "skin/Image.h"
#include "skin/LumoButton2.h"
#include "skin/LumoThreadTimer.h"
#include "skin/MainHost.h"
#include "skin/Panel.h"
#include "skin/SkinApply.h"
#include "skin/stripeskins.h"
#include "views/AnalyserStart.h"
#include "views/DirectoryListBox.h"
#include "views/DriveComboBoxEx.h"
#include "views/FileFormats.h"
#include "views/FilterRules.h"
#include "views/FormUNDELETE_Drive.h"
#include "views/GaugeBar.h"
#include "views/ItemActions.h"
#include "views/SplitterBar.h"
#include "views/StatusText.h"
#include "views/TreemapView.h"
#include "views/VTree_Kram.h"
#include "views/VirtualDrawTree.h"
#include "views/WindowStripe.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QShortcut>
#include <QSplitter>

#include <algorithm>
#include <chrono>
#include <future>
#include <optional>
#include <unordered_set>

namespace views {
namespace {

using analysis::PNode;
using i18n::Message;
using i18n::Msg;
using skin::RGB;

const QString kSection = QStringLiteral("Form_ORB");

// Design sizes of the bars, in pixels at 96 dpi.
constexpr int kBarHeight = 58;     // view bar and command bar
constexpr int kInfoBarHeight = 72; // information bar
constexpr int kButtonTop = 12;
constexpr int kButtonHeight = 33;
constexpr int kButtonGap = 8;
constexpr int kEdge = 12;
constexpr int kBoxHeight = 22;
constexpr int kNameBarBoxWidth = 248;
constexpr int kFilterBoxWidth = 179;
constexpr int kSplitterWidth = 5;

// Stripe cells of the 16-pixel image list, by position.
constexpr int kImageListCells[] = {166, 167, 168, 169, 49, 48,  94, 14,
                                   116, 186, 24,  106, 49, 137, 57};
// Positions in that list.
constexpr int kPicBarNone = 2, kPicBarAbsolute = 1, kPicBarRelative = 5;
constexpr int kPicOpenFile = 4, kPicFolder = 5, kPicDelete = 7;
constexpr int kAnalyserIcon = 101;

// The filter box's item data: a group's id, or this for "all files".
constexpr int kAllFilesItem = -1;

QString groupCaption(const settings::FormatGroupInfo& group) {
    return Message(QLatin1String(group.messageKey));
}

// The own group's name when the filter box offers it, else empty.
QString offeredOwnGroup() {
    const settings::FormatGroups& groups = settings::ProgramFormatGroups();
    return groups.OwnGroupOffered() ? groups.OwnGroupName : QString();
}

// What a text of the filter box stands for: the item showing it, or the own group by its name
// even when the box does not offer it; nothing (a typed filter) otherwise.
// A group without a caption or name is no group: an empty box is a typed filter.
std::optional<int> filterChoice(const QComboBox* box, const QString& text) {
    if (const int item = box->findText(text); item >= 0) {
        const int choice = box->itemData(item).toInt();
        if (!text.isEmpty() || choice == kAllFilesItem)
            return choice;
    }
    const QString& own = settings::ProgramFormatGroups().OwnGroupName;
    if (!own.isEmpty() && text == own)
        return int(settings::FormatGroupId::Own);
    return std::nullopt;
}

QString builtIn(const char* component) {
    return i18n::BuiltInText(kSection, QLatin1String(component));
}

QIcon iconOf(const skin::TPngImageList& list, int index) {
    if (index < 0 || index >= list.Count())
        return {};
    return QIcon(QPixmap::fromImage(list.Image(index).ToQImage()));
}

QImage stripePicture(int cell, int size) {
    QImage picture;
    WindowStripe().CopyToPicture(size, picture, cell, false, 1.0f);
    return picture;
}

// When an analysis was made, to the second: two of one minute must not look alike.
QString madeAtText(const QDateTime& at, const QLocale& locale) {
    const QDateTime local = at.toLocalTime();
    return locale.toString(local.date(), QLocale::ShortFormat) + u' ' +
           local.time().toString(QStringLiteral("HH:mm:ss"));
}

QString languageCode() {
    const platform::LCID lcid = i18n::CurrentLanguageLCID();
    return lcid == 0 ? QStringLiteral("de-de") : i18n::LCIDToLanguageCode(lcid);
}

// Counts a long run for as long as it lives.
class BusyScope {
public:
    explicit BusyScope(int& counter) : counter_(counter) { ++counter_; }
    ~BusyScope() { --counter_; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    int& counter_;
};

// Sets a flag for as long as it lives and then gives it its earlier value back.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : flag_(flag), was_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = was_; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& flag_;
    bool was_;
};

} // namespace

// ---- creation ---------------------------------------------------------------------------------

TForm_ORB::TForm_ORB(QWidget* parent, skin::TMainHost* host) : QWidget(parent), host_(host) {
    setupUi();
    i18n::LOAD_TRANSLATION_TO_FORM(platform::ProgramFolder() + QStringLiteral("\\translation"),
                                   i18n::CurrentTranslationName(), this);

    skin::SkinButtonsInPanel(Panel_Unten);
    skin::SkinButtonsInPanel(Panel_Oben);
    skin::SkinInfobarPanel(AdvSmoothPanel_InfoBar);
    // The status text keeps its contrast on a dark information bar.
    const QColor bar = skin::ToQColor(skin::ColorToRGB(AdvSmoothPanel_InfoBar->Color()));
    QPalette statusColours = HTMLabel_Status->palette();
    statusColours.setColor(QPalette::WindowText,
                           bar.lightness() < 128 ? QColor(236, 239, 244) : QColor(31, 41, 51));
    HTMLabel_Status->setPalette(statusColours);
    if (skin::TMainHost* host = host_)
        SizeGripCopy = skin::AddSizeGripCopy(Panel_Unten, host->SizeGrip());

    fillImageList();

    Orbisca = std::make_unique<analysis::TOrbisca>(&VirtualDrawTree1);
    Orbisca->PNGImageList = &PngImageList_16;
    // The list's columns were translated above; attaching the engine sets the built-in captions
    // again, so the translated ones are put back.
    QStringList captions;
    for (int c = 0; c < VirtualDrawTree_ORB_QO16->ColumnCount(); ++c)
        captions << VirtualDrawTree_ORB_QO16->ColumnCaption(c);
    ConfigureAnalysisList(VirtualDrawTree_ORB_QO16, Orbisca.get(), &ListState);
    for (int c = 0; c < captions.size(); ++c)
        VirtualDrawTree_ORB_QO16->SetColumnCaption(c, captions[c]);

    Panel_NothingDoneYet->raise();
    Image_NothingDoneYet->SetPicture(stripePicture(kAnalyserIcon, 64));
    centreNothingDoneYet();

    {
        const FlagScope ownChanges(READING_SETTINGS_NOW);
        fillNameBarBox();
        ComboBox_ORB_NameBalken->setCurrentIndex(0);
        ListState.FLAG_NAMEBALKEN = 0;
        fillFilterBox();
        ComboBox_ORB_Filter->setCurrentIndex(0);
    }

    Panel_Rechts->hide();
    JvDirectoryListBox1->hide();
    AdvSplitter1->hide();
    ComboBox_ORB_Filter->setEnabled(true);
    ComboBox_ORB_NameBalken->setEnabled(true);

    Image_InfoBar->SetPicture(stripePicture(kAnalyserIcon, 48));
    setStatus(Message(Msg::MESSAGEHTML_ORB_STATUS_WELCOME));

    updateCommands();
    setViewControls(true, true, false);
    DriveComboBoxEx1->FillFromDriveTable();
    connectSignals();
    alignControls();
    pump();
}

TForm_ORB::~TForm_ORB() {
    LumoThreadTimer_ContextCheck->SetEnabled(false);
    releaseEngine();
}

void TForm_ORB::setupUi() {
    setObjectName(kSection);
    setWindowTitle(QStringLiteral("Orbisca"));
    resize(900, 569);
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(12);
    setFont(font);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);

    const skin::TControlBuilder build(this);

    // View bar.
    Panel_Oben = build.Add<skin::TPanel>("Panel_Oben");
    Panel_Oben->SetColor(RGB(243, 243, 243));
    Panel_Oben->SetLineBottomColor(RGB(160, 160, 160));
    const skin::TControlBuilder viewBar(Panel_Oben);
    const auto viewButton = [&](const char* name) {
        auto* b = viewBar.Add<skin::TLumoButton2>(name, skin::Translated);
        b->SetCaption(builtIn(name));
        b->resize(80, kButtonHeight);
        b->SetAutoWidthMin(80);
        return b;
    };
    LumoButton_Files = viewButton("LumoButton_Files");
    LumoButton_Folders = viewButton("LumoButton_Folders");
    LumoButton_Formats = viewButton("LumoButton_Formats");
    Label_ORB_NameBalkenDESC = viewBar.Add<QLabel>("Label_ORB_NameBalkenDESC", skin::Translated);
    Label_ORB_NameBalkenDESC->setText(builtIn("Label_ORB_NameBalkenDESC"));
    Label_ORB_NameBalkenDESC->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ComboBox_ORB_NameBalken = viewBar.Add<QComboBox>("ComboBox_ORB_NameBalken");
    ComboBox_ORB_NameBalken->setIconSize(QSize(16, 16));
    Label_ORB_FilterDESC = viewBar.Add<QLabel>("Label_ORB_FilterDESC", skin::Translated);
    Label_ORB_FilterDESC->setText(builtIn("Label_ORB_FilterDESC"));
    Label_ORB_FilterDESC->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ComboBox_ORB_Filter = viewBar.Add<QComboBox>("ComboBox_ORB_Filter");
    ComboBox_ORB_Filter->setEditable(true);
    // Typed text is a filter only on Enter: no inline completion, no new items.
    ComboBox_ORB_Filter->setCompleter(nullptr);
    ComboBox_ORB_Filter->setInsertPolicy(QComboBox::NoInsert);
    ComboBox_ORB_Filter->setMaxVisibleItems(12);
    CheckBox_ORB_Map = viewBar.Add<QCheckBox>("CheckBox_ORB_Map", skin::Translated);
    CheckBox_ORB_Map->setText(builtIn("CheckBox_ORB_Map"));
    CheckBox_ORB_Map->setToolTip(Message(Msg::MESSAGE_ORB_MAP_HINT));
    ProgressBar_Auswertung = viewBar.Add<TGaugeBar>("ProgressBar_Auswertung");
    ProgressBar_Auswertung->resize(88, 17);
    ProgressBar_Auswertung->hide();

    // Directory box, splitter and the list.
    JvDirectoryListBox1 = build.Add<TDirectoryListBox>("JvDirectoryListBox1");
    JvDirectoryListBox1->resize(directoryWidth_, 300);
    AdvSplitter1 = build.Add<TSplitterBar>("AdvSplitter1");
    Panel_Rechts = build.Add<skin::TPanel>("Panel_Rechts");
    Panel_Rechts->SetColor(RGB(255, 255, 255));
    // The list above, the map below, with a splitter between them.
    Splitter_ORB_Map = skin::TControlBuilder(Panel_Rechts).Add<QSplitter>("Splitter_ORB_Map");
    Splitter_ORB_Map->setOrientation(Qt::Vertical);
    Splitter_ORB_Map->setChildrenCollapsible(false);
    Splitter_ORB_Map->setHandleWidth(kSplitterWidth);
    VirtualDrawTree_ORB_QO16 =
        skin::TControlBuilder(Splitter_ORB_Map)
            .Add<TVirtualDrawTree>("VirtualDrawTree_ORB_QO16", skin::Translated);
    TreemapView_ORB = skin::TControlBuilder(Splitter_ORB_Map).Add<TTreemapView>("TreemapView_ORB");
    TreemapView_ORB->setMinimumHeight(60);
    Splitter_ORB_Map->addWidget(VirtualDrawTree_ORB_QO16);
    Splitter_ORB_Map->addWidget(TreemapView_ORB);
    {
        const settings::MapPaneSettings pane = settings::LoadMapPaneSettings();
        CheckBox_ORB_Map->setChecked(pane.Shown);
        TreemapView_ORB->setVisible(pane.Shown);
        mapListPermille_ = pane.ListPermille;
    }
    {
        const QStringList captions =
            i18n::SplitItems(builtIn("VirtualDrawTree_ORB_QO16"), analysis::kColumnCount);
        VirtualDrawTree_ORB_QO16->SetColumns(captions, {236, 68, 68, 80, 92, 120});
    }

    // The panel shown until the first analysis.
    Panel_NothingDoneYet = build.Add<skin::TPanel>("Panel_NothingDoneYet");
    Panel_NothingDoneYet->SetColor(RGB(255, 255, 255));
    Panel_NothingDoneYet->resize(500, 213);
    const skin::TControlBuilder nothingDoneYet(Panel_NothingDoneYet);
    HTMLabel_NothingDoneYet_QO15 =
        nothingDoneYet.Add<skin::THTMLabel>("HTMLabel_NothingDoneYet_QO15", skin::Translated);
    HTMLabel_NothingDoneYet_QO15->SetHTMLText(builtIn("HTMLabel_NothingDoneYet_QO15"));
    QFont big(QStringLiteral("Segoe UI"));
    big.setPixelSize(19);
    HTMLabel_NothingDoneYet_QO15->setFont(big);
    HTMLabel_NothingDoneYet_QO15->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    HTMLabel_NothingDoneYet_QO15->setGeometry(0, 24, 500, 60);
    Image_NothingDoneYet =
        nothingDoneYet.Add<skin::TImage>("Image_NothingDoneYet", {(500 - 64) / 2, 100, 64, 64});
    Image_NothingDoneYet->SetStretch(true);

    // Information bar.
    AdvSmoothPanel_InfoBar = build.Add<skin::TPanel>("AdvSmoothPanel_InfoBar");
    AdvSmoothPanel_InfoBar->SetColor(RGB(236, 236, 236));
    AdvSmoothPanel_InfoBar->SetLineTopColor(RGB(200, 200, 200));
    const skin::TControlBuilder infoBar(AdvSmoothPanel_InfoBar);
    Image_InfoBar = infoBar.Add<skin::TImage>("Image_InfoBar");
    Image_InfoBar->SetStretch(true);
    HTMLabel_Status = infoBar.Add<skin::THTMLabel>("HTMLabel_Status");
    HTMLabel_Status->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    ProgressBar1 = infoBar.Add<TGaugeBar>("ProgressBar1");
    ProgressBar1->hide();

    // Command bar.
    Panel_Unten = build.Add<skin::TPanel>("Panel_Unten");
    Panel_Unten->SetColor(RGB(243, 243, 243));
    Panel_Unten->SetLineTopColor(RGB(160, 160, 160));
    const skin::TControlBuilder commandBar(Panel_Unten);
    LumoButton_MainMenu = commandBar.Add<skin::TLumoButton2>("LumoButton_MainMenu");
    LumoButton_MainMenu->SetAutoWidth(false);
    LumoButton_MainMenu->resize(40, kButtonHeight);
    LumoButton_MainMenu->hide();
    LumoButton_Options = commandBar.Add<skin::TLumoButton2>("LumoButton_Options", skin::Translated);
    LumoButton_Options->SetCaption(builtIn("LumoButton_Options"));
    LumoButton_Options->resize(80, kButtonHeight);
    LumoButton_Analyse = commandBar.Add<skin::TLumoButton2>("LumoButton_Analyse", skin::Translated);
    LumoButton_Analyse->SetCaption(builtIn("LumoButton_Analyse"));
    LumoButton_Analyse->SetActionButton(true);
    LumoButton_Analyse->resize(110, kButtonHeight);
    LumoButton_Saved = commandBar.Add<skin::TLumoButton2>("LumoButton_Saved", skin::Translated);
    LumoButton_Saved->SetCaption(builtIn("LumoButton_Saved"));
    LumoButton_Saved->resize(150, kButtonHeight);
    PopupMenu_Saved = build.AddMenu("PopupMenu_Saved");
    DriveComboBoxEx1 = commandBar.Add<TDriveComboBoxEx>("DriveComboBoxEx1");
    DriveComboBoxEx1->hide();

    LumoThreadTimer_ContextCheck =
        skin::Named(new TLumoThreadTimer(this), "LumoThreadTimer_ContextCheck");
    LumoThreadTimer_ContextCheck->SetInterval(200);
    LumoThreadTimer_ContextCheck->SetEnabled(false);

    // The list's context menu (its items act on the selected rows).
    AdvPopupMenu_ORB = build.AddMenu("AdvPopupMenu_ORB");
    const auto item = [&](const char* name) {
        return build.AddAction(AdvPopupMenu_ORB, name, builtIn(name), skin::Translated);
    };
    PopUp_OpenFile = item("PopUp_OpenFile");
    PopUp_ShowFolder = item("PopUp_ShowFolder");
    PopUp_OpenFolder = item("PopUp_OpenFolder");
    AdvPopupMenu_ORB->addSeparator();
    PopUp_Delete = item("PopUp_Delete");
    PopUp_DeletePermanently = item("PopUp_DeletePermanently");
}

void TForm_ORB::fillImageList() {
    PngImageList_16.BeginUpdate();
    for (int cell : kImageListCells)
        WindowStripe().AddOneToImageList(PngImageList_16, cell, false, 1.0f);
    PngImageList_16.EndUpdate();
    PopUp_OpenFile->setIcon(iconOf(PngImageList_16, kPicOpenFile));
    PopUp_ShowFolder->setIcon(iconOf(PngImageList_16, kPicFolder));
    PopUp_OpenFolder->setIcon(iconOf(PngImageList_16, kPicFolder));
    PopUp_Delete->setIcon(iconOf(PngImageList_16, kPicDelete));
    PopUp_DeletePermanently->setIcon(iconOf(PngImageList_16, kPicDelete));
}

void TForm_ORB::fillNameBarBox() {
    ComboBox_ORB_NameBalken->clear();
    ComboBox_ORB_NameBalken->addItem(iconOf(PngImageList_16, kPicBarNone),
                                     Message(Msg::MESSAGE_ORB_BALKEN_NONE));
    ComboBox_ORB_NameBalken->addItem(iconOf(PngImageList_16, kPicBarAbsolute),
                                     Message(Msg::MESSAGE_ORB_BALKEN_ABSOLUT));
    ComboBox_ORB_NameBalken->addItem(iconOf(PngImageList_16, kPicBarRelative),
                                     Message(Msg::MESSAGE_ORB_BALKEN_RELATIVE));
}

void TForm_ORB::fillFilterBox() {
    ComboBox_ORB_Filter->clear();
    ComboBox_ORB_Filter->addItem(Message(Msg::MESSAGE_ORB_FILTER_ALL), kAllFilesItem);
    for (const settings::FormatGroupInfo& group : settings::kFormatGroups)
        if (group.messageKey)
            ComboBox_ORB_Filter->addItem(groupCaption(group), int(group.id));
    offeredOwnGroup_ = offeredOwnGroup();
    if (!offeredOwnGroup_.isEmpty())
        ComboBox_ORB_Filter->addItem(offeredOwnGroup_, int(settings::FormatGroupId::Own));
}

void TForm_ORB::connectSignals() {
    LumoButton_Files->OnClick = [this](QObject*) { AdvGlowButton_FilesClick(); };
    LumoButton_Folders->OnClick = [this](QObject*) { AdvGlowButton_FoldersClick(); };
    LumoButton_Formats->OnClick = [this](QObject*) { AdvGlowButton_FormatsClick(); };
    LumoButton_Options->OnClick = [this](QObject*) { AdvGlowButton_OptionsClick(); };
    LumoButton_Analyse->OnClick = [this](QObject*) { AdvToolBarButton_AnalyseClick(); };
    LumoButton_Saved->OnClick = [this](QObject*) { LumoButton_SavedClick(); };
    connect(ComboBox_ORB_NameBalken, &QComboBox::currentIndexChanged, this,
            [this] { ComboBox_ORB_NameBalkenChange(); });
    // An editable box reports typed text through the same signal as a chosen item.
    connect(ComboBox_ORB_Filter, &QComboBox::currentTextChanged, this,
            [this] { ComboBox_ORB_FilterChange(); });
    ComboBox_ORB_Filter->installEventFilter(this);
    if (ComboBox_ORB_Filter->lineEdit())
        ComboBox_ORB_Filter->lineEdit()->installEventFilter(this);
    JvDirectoryListBox1->OnChange = [this] { JvDirectoryListBox1Change(); };
    AdvSplitter1->ControlWidth = [this] { return directoryWidth_; };
    AdvSplitter1->MaxSize = [this] { return width() - 200; };
    AdvSplitter1->OnMoved = [this](int w) {
        directoryWidth_ = w;
        alignControls();
        FormResize();
    };
    LumoThreadTimer_ContextCheck->SetOnTimer(
        [this](QObject*) { LumoThreadTimer_ContextCheckTimer(); });
    VirtualDrawTree_ORB_QO16->OnDblClick = [this](TVirtualDrawTree*) {
        VirtualDrawTree_ORB_QO16DblClick();
    };
    VirtualDrawTree_ORB_QO16->OnContextPopup = [this](TVirtualDrawTree*, const QPoint& at) {
        AdvPopupMenu_ORB->popup(at);
    };
    connect(VirtualDrawTree_ORB_QO16->selectionModel(), &QItemSelectionModel::selectionChanged,
            this, [this] { highlightSelectionInMap(); });
    connect(CheckBox_ORB_Map, &QCheckBox::clicked, this, [this] { CheckBox_ORB_MapClick(); });
    connect(Splitter_ORB_Map, &QSplitter::splitterMoved, this, [this] { storeMapPane(); });
    TreemapView_ORB->OnTileClicked = [this](PNode node) { selectRowOfTile(node); };
    TreemapView_ORB->OnTileDoubleClicked = [this](PNode node) { descendIntoTile(node); };
    TreemapView_ORB->OnContextMenu = [this](PNode node, QPoint at) {
        selectRowOfTile(node);
        if (menuState().Delete) // a row stands for the tile
            AdvPopupMenu_ORB->popup(at);
    };
    TreemapView_ORB->TipText = [](const TTreemapTip& tip) {
        const analysis::NumberFormat format = analysis::UserNumberFormat();
        // A path is one line however long: the tooltip would break it at its first colon.
        const QString path =
            QStringLiteral("<nobr>") + tip.path.toHtmlEscaped() + QStringLiteral("</nobr>");
        if (tip.kind != TTileKind::SmallFiles)
            return QStringLiteral("<b>") + path + QStringLiteral("</b><br>") +
                   analysis::SizeText(tip.bytes, format) + QStringLiteral(" (") +
                   analysis::FormatNumber(tip.share * 100.0, 1, format) + QStringLiteral(" %)");
        QString text = Message(Msg::MESSAGEHTML_ORB_MAP_SMALL_FILES);
        text = ReplaceFirstIgnoreCase(text, QStringLiteral("%1"), QString::number(tip.files));
        text = ReplaceFirstIgnoreCase(text, QStringLiteral("%2"), path);
        text = ReplaceFirstIgnoreCase(text, QStringLiteral("%3"),
                                      analysis::SizeText(tip.bytes, format));
        return ReplaceFirstIgnoreCase(text, QStringLiteral("%4"),
                                      analysis::FormatNumber(tip.share * 100.0, 1, format) +
                                          QStringLiteral(" %"));
    };
    TreemapView_ORB->SetColours(
        TreemapColoursFromSkin(skin::SkinFolder() + QStringLiteral("\\skin.ini")));
    connect(AdvPopupMenu_ORB, &QMenu::aboutToShow, this, [this] { AdvPopupMenu_ORBPopup(); });
    connect(PopUp_OpenFile, &QAction::triggered, this, [this] { PopUp_OpenFileClick(); });
    connect(PopUp_ShowFolder, &QAction::triggered, this, [this] { PopUp_ShowFolderClick(); });
    connect(PopUp_OpenFolder, &QAction::triggered, this, [this] { PopUp_OpenFolderClick(); });
    connect(PopUp_Delete, &QAction::triggered, this, [this] { PopUp_DeleteClick(); });
    connect(PopUp_DeletePermanently, &QAction::triggered, this,
            [this] { PopUp_DeletePermanentlyClick(); });
    setupKeyboard();
    // Buttons size themselves to their captions; their neighbours move along.
    for (QWidget* w :
         {static_cast<QWidget*>(LumoButton_Files), static_cast<QWidget*>(LumoButton_Folders),
          static_cast<QWidget*>(LumoButton_Formats), static_cast<QWidget*>(LumoButton_Options),
          static_cast<QWidget*>(LumoButton_Analyse), static_cast<QWidget*>(LumoButton_Saved)})
        w->installEventFilter(this);
}

// ---- layout -----------------------------------------------------------------------------------

void TForm_ORB::alignControls() {
    const int w = width();
    const int h = height();
    Panel_Oben->setGeometry(0, 0, w, kBarHeight);
    Panel_Unten->setGeometry(0, h - kBarHeight, w, kBarHeight);
    AdvSmoothPanel_InfoBar->setGeometry(0, h - kBarHeight - kInfoBarHeight, w, kInfoBarHeight);
    const int top = kBarHeight;
    const int clientHeight = std::max(0, h - 2 * kBarHeight - kInfoBarHeight);
    int left = 0;
    if (!JvDirectoryListBox1->isHidden()) {
        directoryWidth_ = std::max(AdvSplitter1->MinSize, std::min(directoryWidth_, w - 200));
        JvDirectoryListBox1->setGeometry(0, top, directoryWidth_, clientHeight);
        left = directoryWidth_;
    }
    if (!AdvSplitter1->isHidden()) {
        AdvSplitter1->setGeometry(left, top, kSplitterWidth, clientHeight);
        left += kSplitterWidth;
    }
    Panel_Rechts->setGeometry(left, top, std::max(0, w - left), clientHeight);
    {
        // The list keeps its share of the height as the panel grows or shrinks.
        Splitter_ORB_Map->setGeometry(0, 0, Panel_Rechts->width(), Panel_Rechts->height());
        const int height = Panel_Rechts->height();
        const int listHeight = int(int64_t(height) * mapListPermille_ / 1000);
        Splitter_ORB_Map->setSizes({listHeight, height - listHeight});
    }
    centreNothingDoneYet();
    alignTopBar();
    alignBottomBar();
    alignInfoBar();
}

void TForm_ORB::alignTopBar() {
    int x = kEdge;
    for (skin::TLumoButton2* b : {LumoButton_Files, LumoButton_Folders, LumoButton_Formats}) {
        if (b->isHidden())
            continue;
        b->setGeometry(x, kButtonTop, b->width(), kButtonHeight);
        x += b->width() + kButtonGap;
    }
    {
        const QSize hint = CheckBox_ORB_Map->sizeHint();
        CheckBox_ORB_Map->setGeometry(x + kButtonGap, (kBarHeight - hint.height()) / 2,
                                      hint.width(), hint.height());
    }
    // Labels in a right-aligned column, boxes in a left-aligned column, both anchored to the
    // bar's right edge; a single row sits in the middle of the bar.
    const int boxLeft = Panel_Oben->width() - kEdge - kNameBarBoxWidth;
    const bool nameBar = !ComboBox_ORB_NameBalken->isHidden();
    const bool filter = !ComboBox_ORB_Filter->isHidden();
    const int singleRow = (kBarHeight - kBoxHeight) / 2;
    const int row1 = nameBar && filter ? 5 : singleRow;
    const int row2 = nameBar && filter ? 31 : singleRow;
    int leftmost = Panel_Oben->width() - kEdge;
    const auto place = [&](QLabel* label, QComboBox* box, int y, int boxWidth) {
        box->setGeometry(boxLeft, y, boxWidth, kBoxHeight);
        const int labelWidth = label->fontMetrics().horizontalAdvance(label->text()) + 4;
        label->setGeometry(boxLeft - 8 - labelWidth, y, labelWidth, kBoxHeight);
        leftmost = std::min(leftmost, label->x());
    };
    if (nameBar)
        place(Label_ORB_NameBalkenDESC, ComboBox_ORB_NameBalken, row1, kNameBarBoxWidth);
    if (filter)
        place(Label_ORB_FilterDESC, ComboBox_ORB_Filter, row2, kFilterBoxWidth);
    const int barLeft = (nameBar || filter)
                            ? leftmost - 16 - ProgressBar_Auswertung->width()
                            : Panel_Oben->width() - kEdge - ProgressBar_Auswertung->width();
    ProgressBar_Auswertung->move(barLeft, (kBarHeight - ProgressBar_Auswertung->height()) / 2);
}

void TForm_ORB::alignBottomBar() {
    int x = kEdge;
    for (skin::TLumoButton2* b :
         {LumoButton_MainMenu, LumoButton_Options, LumoButton_Analyse, LumoButton_Saved}) {
        if (b->isHidden())
            continue;
        b->setGeometry(x, kButtonTop, b->width(), kButtonHeight);
        x += b->width() + kButtonGap;
    }
}

void TForm_ORB::alignInfoBar() {
    const int w = AdvSmoothPanel_InfoBar->width();
    Image_InfoBar->setGeometry(kEdge, (kInfoBarHeight - 48) / 2, 48, 48);
    const int textLeft = kEdge + 48 + kEdge;
    const int textWidth = std::max(0, w - textLeft - kEdge);
    const int barTop = kInfoBarHeight - 17 - 10;
    if (ProgressBar1->isHidden()) {
        HTMLabel_Status->setGeometry(textLeft, 3, textWidth, kInfoBarHeight - 6);
        HTMLabel_Status->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    } else {
        // The text stands above the bar (its trailing blank lines make room for it).
        HTMLabel_Status->setGeometry(textLeft, 4, textWidth, barTop - 4);
        HTMLabel_Status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    ProgressBar1->setGeometry(textLeft, barTop, std::min(textWidth, 480), 17);
}

void TForm_ORB::centreNothingDoneYet() {
    Panel_NothingDoneYet->move(width() / 2 - Panel_NothingDoneYet->width() / 2,
                               height() / 2 - Panel_NothingDoneYet->height() / 2);
}

void TForm_ORB::setViewControls(bool nameBar, bool filter, bool directory) {
    Label_ORB_NameBalkenDESC->setVisible(nameBar);
    ComboBox_ORB_NameBalken->setVisible(nameBar);
    Label_ORB_FilterDESC->setVisible(filter);
    ComboBox_ORB_Filter->setVisible(filter);
    JvDirectoryListBox1->setVisible(directory);
    AdvSplitter1->setVisible(directory);
    alignControls();
}

void TForm_ORB::updateCommands() {
    const bool free = busy_ == 0 && Orbisca != nullptr;
    const bool views = free && analysedOnce_;
    LumoButton_Folders->setEnabled(views && ListState.View != TListView::Structure);
    LumoButton_Files->setEnabled(views && ListState.View != TListView::Files);
    LumoButton_Formats->setEnabled(views && ListState.View != TListView::Formats);
    LumoButton_Analyse->setEnabled(free);
    LumoButton_Saved->setEnabled(free);
    DriveComboBoxEx1->setEnabled(free);
    JvDirectoryListBox1->setEnabled(free);
    ComboBox_ORB_Filter->setEnabled(free);
    ComboBox_ORB_NameBalken->setEnabled(free);
}

void TForm_ORB::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    alignControls();
    inResizeEvent_ = true;
    FormResize();
    inResizeEvent_ = false;
}

bool TForm_ORB::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize) {
        if (watched == LumoButton_Options || watched == LumoButton_Analyse ||
            watched == LumoButton_Saved)
            alignBottomBar();
        else if (watched == LumoButton_Files || watched == LumoButton_Folders ||
                 watched == LumoButton_Formats)
            alignTopBar();
        return false;
    }
    if (event->type() == QEvent::KeyPress &&
        (watched == ComboBox_ORB_Filter || watched == ComboBox_ORB_Filter->lineEdit())) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            ComboBox_ORB_FilterKeyPress(QChar(13));
            return true;
        }
        // Escape goes back to all files, as choosing that item does.
        if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
            if (ComboBox_ORB_Filter->currentText() != ComboBox_ORB_Filter->itemText(0)) {
                ComboBox_ORB_Filter->setCurrentIndex(0);
                ComboBox_ORB_Filter->setEditText(ComboBox_ORB_Filter->itemText(0));
            }
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TForm_ORB::pump(bool force) {
    if (!inResizeEvent_)
        platform::ProcessMessages(force);
}

// ---- show, close ------------------------------------------------------------------------------

void TForm_ORB::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (ONSHOW_DONE)
        return;
    ONSHOW_DONE = true;
    DriveComboBoxEx1->RemoveEntriesWhere([](char16_t letter) { return !IsOfferedDrive(letter); });
    if (DriveComboBoxEx1->count() > 0)
        DriveComboBoxEx1->setCurrentIndex(0);
    LumoThreadTimer_ContextCheck->SetEnabled(true);
}

void TForm_ORB::closeEvent(QCloseEvent* event) {
    LumoThreadTimer_ContextCheck->SetEnabled(false);
    if (busy_ > 0) {
        // The engine is in use further up the stack: stop the scan and let the run end first.
        closePending_ = true;
        if (Orbisca)
            Orbisca->RequestStop();
        event->accept();
        return;
    }
    releaseEngine();
    event->accept();
}

void TForm_ORB::releaseEngine() {
    if (closed_)
        return;
    closed_ = true;
    TreemapView_ORB->Clear(); // stops its worker: the tree goes next
    WaitForKeeping();
    VirtualDrawTree_ORB_QO16->Clear();
    VirtualDrawTree_ORB_QO16->OnDrawNode = nullptr;
    VirtualDrawTree_ORB_QO16->OnCompareNodes = nullptr;
    VirtualDrawTree1.Clear();
    ListState.Current_RootNode = PNode::None;
    Orbisca.reset();
    settings::TrimWorkingSet();
}

// ---- options ----------------------------------------------------------------------------------

std::array<QStringList, kGroupCount> TForm_ORB::formatLists() {
    const settings::FormatGroups& groups = settings::ProgramFormatGroups();
    std::array<QStringList, kGroupCount> lists;
    for (const settings::FormatGroupInfo& group : settings::kFormatGroups)
        Read_Filter_From_Edit(lists[GroupIndex(group.id)], groups.List(group.id));
    return lists;
}

void TForm_ORB::AdvGlowButton_OptionsClick() {
    skin::TMainHost* host = host_;
    if (!host)
        return;
    QPointer<TForm_ORB> self(this);
    host->SetCurrentModuleForm_OnOptionsChanged([self] {
        if (self)
            self->OnOptionsChanged();
    });
    host->ClickOptionsMenuItem();
}

void TForm_ORB::OnOptionsChanged() {
    // A changed own group shows in the filter box at once, not only in the next window.
    const QString offered = offeredOwnGroup();
    if (offered != offeredOwnGroup_) {
        const QString text = ComboBox_ORB_Filter->currentText();
        const FlagScope ownChanges(READING_SETTINGS_NOW);
        fillFilterBox();
        const int again = ComboBox_ORB_Filter->findText(text);
        if (again >= 0)
            ComboBox_ORB_Filter->setCurrentIndex(again);
        else
            ComboBox_ORB_Filter->setEditText(text);
    }
    FormResize();
    pump();
}

// ---- start-up timer and the analyse command ---------------------------------------------------

void TForm_ORB::LumoThreadTimer_ContextCheckTimer() {
    LumoThreadTimer_ContextCheck->SetEnabled(false);
    if (timerFired_)
        return; // a tick already on its way when the timer was switched off
    timerFired_ = true;
    skin::TMainHost* host = host_;
    inet::zinet_Initialize(host ? host->MainWindow() : window(), languageCode());
    if (analysis::ProgramClosing) {
        QCoreApplication::quit();
        return;
    }
    if (host)
        host->INIT_INTERNETMENU();
    const TStartRequest request = StartRequestFor(platform::ProgramArguments());
    if (!request.Analyse)
        return;
    if (!request.Drive.isNull()) {
        // A drive the analyser does not offer is not swapped silently for another one: the
        // user hears which drive it was and chooses.
        if (!DriveComboBoxEx1->SetDrive(request.Drive)) {
            if (host)
                host->Show_Warning(
                    ReplaceFirstIgnoreCase(Message(Msg::MESSAGE_ORB_DRIVE_NOT_OFFERED),
                                           QStringLiteral("%1"), QString(request.Drive) + u':'));
            return;
        }
        pump();
    }
    LumoButton_Analyse->Click();
}

void TForm_ORB::AdvToolBarButton_AnalyseClick() {
    if (analysis::ProgramClosing) {
        QCoreApplication::quit();
        return;
    }
    if (!Orbisca || busy_ > 0)
        return;
    const std::optional<QChar> letter = pickDrive();
    if (!letter)
        return;
    analysis::TScanVerdict verdict;
    if (!runLongStep([&] { verdict = scanDrive(*letter); }))
        return;
    showAnalysis(verdict);
}

std::optional<QChar> TForm_ORB::pickDrive() {
    skin::TMainHost* host = host_;
    QWidget* owner = host ? host->MainWindow() : window();
    bool ok = true;
    QChar letter;
    {
        TForm_UNDELETE_Drive picker(owner);
        picker.HTMLabel_SelectDrive->SetHTMLText(Message(Msg::MESSAGEHTML_ORB_SELECTDRIVE));
        picker.DriveComboBoxEx1->AssignFrom(*DriveComboBoxEx1);
        if (picker.DriveComboBoxEx1->count() >= 2) {
            picker.CenterOn(owner);
            picker.exec();
            ok = picker.OK;
        }
        letter = picker.DriveComboBoxEx1->Drive();
    }
    if (!ok || closed_)
        return std::nullopt;
    DriveComboBoxEx1->SetDrive(letter);
    if (!checkMedium(letter))
        return std::nullopt;
    return letter;
}

bool TForm_ORB::checkMedium(QChar letter) {
    const char16_t root[] = {letter.unicode(), u':', u'\\', 0};
    uint64_t freeForCaller = 0, total = 0, totalFree = 0;
    if (letter.isNull() ||
        !platform::GetDiskFreeSpaceExW(root, &freeForCaller, &total, &totalFree) || total == 0) {
        if (host_)
            host_->Show_Warning(Message(Msg::MESSAGE_ORB_NO_MEDIA_IN_DRIVE));
        return false;
    }
    return true;
}

analysis::TScanVerdict TForm_ORB::scanDrive(QChar letter) {
    skin::TMainHost* host = host_;
    settings::ProgramFormatGroups().Load();
    Panel_NothingDoneYet->hide();
    Orbisca->ClearStopRequest();
    setStatus(Message(Msg::MESSAGEHTML_ORB_STATUS_SCANNING) + QStringLiteral("<br> <br> "));
    JvDirectoryListBox1->hide();
    AdvSplitter1->hide();
    Panel_Rechts->hide();
    ListState.View = TListView::None;
    updateCommands();
    ProgressBar1->SetPosition(0);
    ProgressBar1->show();
    VirtualDrawTree_ORB_QO16->Clear();
    alignControls();
    pump();

    Orbisca->ProgressBar = ProgressBar1;
    QString root = QString(letter) + QStringLiteral(":\\");
    if (root == QStringLiteral(":\\"))
        root = DriveComboBoxEx1->currentText().left(3);
    ListState.CURRENT_FILTER.clear();
    ListState.CURRENT_FILTER_TOTALFILESIZE = 0;
    {
        const FlagScope ownChanges(READING_SETTINGS_NOW);
        if (offeredOwnGroup() != offeredOwnGroup_)
            fillFilterBox();
        selectAllFilesSilently();
    }
    if (host)
        host->EnableDisable_Modulwechsel(false);
    pump();

    // The tree is about to be replaced: nothing may point into the old one.
    ListState.Current_RootNode = PNode::None;
    verdict_ = {};
    Orbisca->DO_Drive(analysis::UpperAZ(root));
    analysis::TScanVerdict verdict = Orbisca->ScanVerdict();
    if (Orbisca->StopRequested())
        verdict.Stopped = true;
    return verdict;
}

void TForm_ORB::showAnalysis(const analysis::TScanVerdict& verdict) {
    skin::TMainHost* host = host_;
    if (host)
        host->EnableDisable_Modulwechsel(true);
    pump();
    settings::TrimWorkingSet();
    analysedOnce_ = true;
    verdict_ = verdict;
    history_.clear();
    historyAt_ = 0;
    updateCommands();
    pump();
    JvDirectoryListBox1->show();
    AdvSplitter1->show();
    Panel_Rechts->show();
    alignControls();
    pump();
    // A saved analysis lists its own folders; a scan lists the drive's.
    if (Orbisca->Origin().Loaded) {
        JvDirectoryListBox1->SubFolderSource = [this](const QString& folder) {
            QStringList names;
            const PNode node = Orbisca ? Orbisca->FindRootNodeForDir(folder) : PNode::None;
            if (node == PNode::None)
                return names;
            for (PNode c = VirtualDrawTree1.GetFirstChild(node); c != PNode::None;
                 c = VirtualDrawTree1.GetNextSibling(c))
                if (VirtualDrawTree1.IsFolder(c))
                    names << VirtualDrawTree1.Path(c);
            std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
                const int r = a.compare(b, Qt::CaseInsensitive);
                return r != 0 ? r < 0 : a < b;
            });
            return names;
        };
    } else {
        JvDirectoryListBox1->SubFolderSource = nullptr;
    }
    JvDirectoryListBox1->SetDirectory(Orbisca->Analysed_Drive());
    ProgressBar1->hide();
    alignInfoBar();
    pump();
    pump();
    if (host)
        host->BringToFront();
    LumoButton_Folders->Click();
    if (!Orbisca->Origin().Loaded)
        keepAnalysis();
    // The keyboard starts in the list.
    VirtualDrawTree_ORB_QO16->setFocus(Qt::OtherFocusReason);
    warnIfIncomplete();
}

bool TForm_ORB::runLongStep(const std::function<void()>& step) {
    // A long step may change the tree: the map lets go of it first.
    mapLetGo();
    // The controls are disabled meanwhile, which takes the focus away from them: it goes back
    // where it was, so that a keyboard user goes on where they were.
    QPointer<QWidget> focus = QApplication::focusWidget();
    if (focus && !isAncestorOf(focus))
        focus = nullptr;
    {
        BusyScope busy(busy_);
        updateCommands();
        step();
    }
    if (closePending_) {
        releaseEngine();
        return false;
    }
    updateCommands();
    if (focus && focus->isEnabled() && focus->isVisible() && window()->isActiveWindow())
        focus->setFocus(Qt::OtherFocusReason);
    return true;
}

void TForm_ORB::ReportVerdict(const analysis::TScanVerdict& verdict) {
    verdict_ = verdict;
    RefreshStatusLine();
    warnIfIncomplete();
}

void TForm_ORB::warnIfIncomplete() {
    if (verdict_.IsComplete() || analysis::ProgramClosing)
        return;
    skin::TMainHost* host = host_;
    if (!host)
        return;
    host->Show_Warning(ReplaceFirstIgnoreCase(Message(Msg::MESSAGEHTML_ORB_WARN_INCOMPLETE),
                                              QStringLiteral("%1"), IncompleteReasons(verdict_)));
}

// ---- views ------------------------------------------------------------------------------------

void TForm_ORB::selectAllFilesSilently() {
    const FlagScope ownChanges(READING_SETTINGS_NOW);
    ComboBox_ORB_Filter->setCurrentIndex(0);
    ComboBox_ORB_Filter->setEditText(ComboBox_ORB_Filter->itemText(0)); // also over typed text
}

void TForm_ORB::AdvGlowButton_FoldersClick() {
    if (!Orbisca || busy_ > 0)
        return;
    TVirtualDrawTree* list = VirtualDrawTree_ORB_QO16;
    ListState.FLAG_SHOW_FULLPATH = false;
    for (int c : {analysis::kColFolders, analysis::kColFiles, analysis::kColFolderPercent})
        list->SetColumnVisible(c, true);
    ListState.View = TListView::Structure;
    updateCommands();
    setViewControls(true, true, true);
    ComboBox_ORB_NameBalkenChange();
    JvDirectoryListBox1Change();
    ComboBox_ORB_FilterChange();
    list->scrollToTop(); // a view chosen starts at its top
    FitColumnsToWidth(list, {analysis::kColName});
}

void TForm_ORB::AdvGlowButton_FilesClick() {
    if (!Orbisca || busy_ > 0)
        return;
    TVirtualDrawTree* list = VirtualDrawTree_ORB_QO16;
    ListState.FLAG_SHOW_FULLPATH = true;
    for (int c : {analysis::kColFolders, analysis::kColFiles, analysis::kColFolderPercent})
        list->SetColumnVisible(c, false);
    ListState.View = TListView::Files;
    updateCommands();
    setViewControls(false, true, false);
    ListState.FLAG_NAMEBALKEN = 0;
    // The files view lists every file: the filter state goes with the box back to all files, so
    // that box, marks and list agree.
    ListState.CURRENT_FILTER.clear();
    ListState.CURRENT_FILTER_TOTALFILESIZE = 0;
    mapLetGo();
    ShowAllNodes(&VirtualDrawTree1);
    selectAllFilesSilently();
    ListState.Current_RootNode = Orbisca->FindRootNodeForDir(Orbisca->Analysed_Drive());
    {
        // The box follows without raising its change: the list below replaces what it would show.
        auto change = std::move(JvDirectoryListBox1->OnChange);
        JvDirectoryListBox1->SetDirectory(Orbisca->Analysed_Drive());
        JvDirectoryListBox1->OnChange = std::move(change);
    }
    listAllFiles();
    list->scrollToTop();
    FormResize();
}

void TForm_ORB::listAllFiles() {
    TVirtualDrawTree* list = VirtualDrawTree_ORB_QO16;
    std::vector<PNode> files;
    Orbisca->Copy_All_Files(&VirtualDrawTree1, files);
    list->BeginUpdate();
    list->Clear();
    list->ReserveRows(files.size());
    for (PNode n : files)
        list->AddNodeRow(n);
    list->EndUpdate(); // sorts by the header's column and direction
    refreshMap();
}

void TForm_ORB::AdvGlowButton_FormatsClick() {
    if (!Orbisca || busy_ > 0)
        return;
    TVirtualDrawTree* list = VirtualDrawTree_ORB_QO16;
    const std::array<QStringList, kGroupCount> lists = formatLists();
    list->SetColumnVisible(analysis::kColFolders, false);
    list->SetColumnVisible(analysis::kColFolderPercent, false);
    list->SetColumnVisible(analysis::kColFiles, true); // each group's file count
    ListState.View = TListView::Formats;
    setViewControls(false, false, false);
    ListState.FLAG_NAMEBALKEN = 0;

    TFormatTotals totals;
    const bool stillOpen = runLongStep([&] {
        ProgressBar_Auswertung->SetPosition(0);
        ProgressBar_Auswertung->SetMax(static_cast<int>(VirtualDrawTree1.NodeCount()));
        ProgressBar_Auswertung->show();
        setStatus(Message(Msg::MESSAGEHTML_ORB_STATUS_FILTERING));
        list->Clear();
        list->viewport()->repaint();
        pump();
        VirtualDrawTree1.BeginUpdate();
        totals = AggregateFormats(VirtualDrawTree1, lists, ProgressBar_Auswertung);
        VirtualDrawTree1.EndUpdate();
        ProgressBar_Auswertung->hide();
    });
    if (!stillOpen)
        return;

    // The rows in the order they are added, which groups of equal size keep.
    using settings::FormatGroupId;
    std::vector<FormatGroupId> rows = {FormatGroupId::Video,     FormatGroupId::Audio,
                                       FormatGroupId::Pictures,  FormatGroupId::Archives,
                                       FormatGroupId::Documents, FormatGroupId::Applications};
    const settings::FormatGroups& groups = settings::ProgramFormatGroups();
    if (groups.OwnGroupShown())
        rows.push_back(FormatGroupId::Own);
    list->BeginUpdate();
    list->Clear();
    for (const FormatGroupId id : rows) {
        const settings::FormatGroupInfo& group = settings::FormatGroupInfoOf(id);
        analysis::TNodeData d;
        d.Path = id == FormatGroupId::Own ? groups.OwnGroupName : groupCaption(group);
        d.IsFolder = 0;
        d.FileCount = totals.Count[GroupIndex(id)];
        d.Size = totals.Size[GroupIndex(id)];
        d.FolderCount = 0;
        d.ImageIndex = group.picture;
        list->AddRow(d);
    }
    ListState.FormatsTotal = totals.GrandTotal;
    list->EndUpdate(); // sorts
    FitColumnsToWidth(list, {analysis::kColName});
    FormResize();
    refreshMap(); // the formats view has none
}

void TForm_ORB::JvDirectoryListBox1Change() {
    if (!Orbisca)
        return;
    TVirtualDrawTree* list = VirtualDrawTree_ORB_QO16;
    const PNode node = Orbisca->FindRootNodeForDir(JvDirectoryListBox1->Directory());
    const bool otherFolder = node != ListState.Current_RootNode;
    ListState.Current_RootNode = node;
    // A folder newly shown in the structure view joins the way back; a step back or forward
    // only moves along it.
    if (structureActive() && node != PNode::None && !movingInHistory_) {
        const QString shown = JvDirectoryListBox1->Directory();
        if (history_.empty() || history_[historyAt_] != shown) {
            if (!history_.empty())
                history_.resize(historyAt_ + 1);
            history_.push_back(shown);
            historyAt_ = history_.size() - 1;
        }
    }
    if (node == PNode::None) {
        list->Clear();
        FormResize();
        refreshMap();
        return;
    }
    list->BeginUpdate();
    list->Clear();
    CopyChildrenToList(list, node, !ListState.CURRENT_FILTER.isEmpty());
    list->EndUpdate(); // sorts by the header's column and direction
    if (otherFolder)
        list->scrollToTop(); // another folder's list starts at its top
    FormResize();
    refreshMap();
}

void TForm_ORB::CopyChildrenToList(TVirtualDrawTree* List, PNode Node, bool Flatten) {
    const analysis::TAnalysisTree& tree = VirtualDrawTree1;
    // Depth first, each child before its own subtree and its subtree before its next sibling;
    // the stack holds the next sibling to visit at every open level.
    std::vector<PNode> pending{tree.GetFirstChild(Node)};
    while (!pending.empty()) {
        const PNode c = pending.back();
        if (c == PNode::None) {
            pending.pop_back();
            continue;
        }
        pending.back() = tree.GetNextSibling(c);
        if (tree.IsVisible(c))
            List->AddNodeRow(c);
        if (Flatten && tree.IsFolder(c))
            pending.push_back(tree.GetFirstChild(c));
    }
}

void TForm_ORB::ComboBox_ORB_NameBalkenChange() {
    if (READING_SETTINGS_NOW || Panel_Rechts->isHidden() || !Orbisca)
        return;
    ListState.FLAG_NAMEBALKEN = std::max(0, ComboBox_ORB_NameBalken->currentIndex());
    VirtualDrawTree_ORB_QO16->viewport()->update();
    FormResize();
    Panel_Rechts->update();
}

void TForm_ORB::ComboBox_ORB_FilterChange(bool returnPressed) {
    if (READING_SETTINGS_NOW || Panel_Rechts->isHidden() || !Orbisca || busy_ > 0)
        return;
    const QString text = ComboBox_ORB_Filter->currentText();
    const std::optional<int> choice = filterChoice(ComboBox_ORB_Filter, text);
    if (choice == kAllFilesItem) {
        ListState.CURRENT_FILTER.clear();
        ListState.CURRENT_FILTER_TOTALFILESIZE = 0;
        mapLetGo();
        ShowAllNodes(&VirtualDrawTree1);
        if (structureActive())
            JvDirectoryListBox1Change();
        if (filesActive()) {
            listAllFiles();
            FormResize();
        }
    }
    if (choice && *choice != kAllFilesItem) {
        QStringList list;
        Read_Filter_From_Edit(list, settings::ProgramFormatGroups().List(
                                        static_cast<settings::FormatGroupId>(*choice)));
        Auswertung(list);
    }
    // A typed filter applies only with its own Enter.
    if (!choice && returnPressed)
        Auswertung({TypedFilterEntry(text)});
}

void TForm_ORB::ComboBox_ORB_FilterKeyPress(QChar key) {
    if (key.unicode() == 13)
        ComboBox_ORB_FilterChange(true);
}

void TForm_ORB::Auswertung(const QStringList& Filter) {
    if (!Orbisca)
        return;
    const QString text = FilterText(Filter);
    if (text == ListState.CURRENT_FILTER)
        return;
    TVirtualDrawTree* list = VirtualDrawTree_ORB_QO16;
    int64_t total = 0;
    const bool stillOpen = runLongStep([&] {
        ListState.CURRENT_FILTER = text;
        setStatus(Message(Msg::MESSAGEHTML_ORB_STATUS_FILTERING));
        list->Clear();
        list->viewport()->repaint();
        ProgressBar_Auswertung->SetPosition(0);
        ProgressBar_Auswertung->SetMax(static_cast<int>(VirtualDrawTree1.NodeCount()));
        ProgressBar_Auswertung->show();
        pump();
        total = ApplyExtensionFilter(VirtualDrawTree1, Filter, ProgressBar_Auswertung);
    });
    if (!stillOpen)
        return;
    ListState.CURRENT_FILTER_TOTALFILESIZE = total;
    JvDirectoryListBox1Change();
    ProgressBar_Auswertung->hide();
    FormResize();
}

// ---- item actions -----------------------------------------------------------------------------

std::optional<analysis::TNodeData> TForm_ORB::firstSelected() const {
    const RowId first = VirtualDrawTree_ORB_QO16->GetFirstSelected();
    if (first == RowId::None)
        return std::nullopt;
    return VirtualDrawTree_ORB_QO16->RowData(first);
}

TItemMenuState TForm_ORB::menuState() const {
    if (!Orbisca || busy_ > 0 || Panel_Rechts->isHidden())
        return {};
    const std::optional<analysis::TNodeData> first = firstSelected();
    return ItemMenuState(first ? &*first : nullptr, VirtualDrawTree_ORB_QO16->SelectedCount());
}

void TForm_ORB::AdvPopupMenu_ORBPopup() {
    const TItemMenuState state = menuState();
    PopUp_OpenFile->setEnabled(state.OpenFile);
    PopUp_ShowFolder->setEnabled(state.ShowFolder);
    PopUp_OpenFolder->setEnabled(state.OpenFolder);
    PopUp_Delete->setEnabled(state.Delete);
    PopUp_DeletePermanently->setEnabled(state.Delete);
    showMenuKeys();
}

void TForm_ORB::showMenuKeys() {
    // The text after a tab is the menu's column of keys. The caption is the translated one, kept
    // up to the tab.
    const auto withKey = [](QAction* action, Msg key) {
        QString text = action->text();
        if (const qsizetype tab = text.indexOf(u'\t'); tab >= 0)
            text.truncate(tab);
        action->setText(text + u'\t' + Message(key));
    };
    withKey(PopUp_OpenFile, Msg::MESSAGE_ORB_KEY_ENTER);
    withKey(PopUp_Delete, Msg::MESSAGE_ORB_KEY_DELETE);
    withKey(PopUp_DeletePermanently, Msg::MESSAGE_ORB_KEY_SHIFT_DELETE);
}

bool TForm_ORB::desktopUserKnown() {
    const platform::UserSession& user = platform::CurrentUserSession();
    if (user.CanActForUser())
        return true;
    platform::MessageBoxW(window(),
                          ReplaceFirstIgnoreCase(Message(Msg::MESSAGE_ORB_NO_DESKTOP_USER),
                                                 QStringLiteral("%1"),
                                                 QString::fromLocal8Bit(user.refusal)),
                          platform::ApplicationTitle(), platform::MB_OK | platform::MB_ICONSTOP);
    return false;
}

void TForm_ORB::openInShell(bool reveal) {
    const RowId first = VirtualDrawTree_ORB_QO16->GetFirstSelected();
    const PNode node =
        first == RowId::None ? PNode::None : VirtualDrawTree_ORB_QO16->RowNode(first);
    if (node == PNode::None || !desktopUserKnown())
        return;
    // The desktop gets the path only once the walk from the drive's root has found the very item
    // analysed there; the user's program then opens it with the user's own rights.
    const platform::ListedItem item = ListedItemOf(VirtualDrawTree1, node);
    platform::ReachedItem reached;
    platform::ReachResult reach;
    if (itemsChangedSince({node}).front())
        reach = {platform::ReachFailure::Changed, "the drive is not what the saved analysis saw"};
    else
        reach = platform::ReachListedItem(item, &reached);
    if (!reach) {
        const QString listed = VirtualDrawTree1.Path(node);
        platform::OutputDebugStringW(QStringLiteral("Not opened: ") + listed +
                                     QStringLiteral(": ") + QString::fromUtf8(reach.reason));
        const QString text = ReplaceFirstIgnoreCase(Message(Msg::MESSAGE_ORB_OPEN_REFUSED),
                                                    QStringLiteral("%1"), ElidedPath(listed));
        platform::MessageBoxW(
            window(),
            ReplaceFirstIgnoreCase(text, QStringLiteral("%2"),
                                   TrashFailureReason(platform::TrashFailureOf(reach.failure),
                                                      QString::fromUtf8(reach.reason))),
            platform::ApplicationTitle(), platform::MB_OK | platform::MB_ICONWARNING);
        return;
    }
    // The desktop reports its own trouble; whether it managed to open the item is not ours.
    if (reveal)
        platform::ShellRevealItem(item.Path());
    else
        platform::ShellOpenPath(item.Path());
}

void TForm_ORB::PopUp_OpenFileClick() {
    if (menuState().OpenFile)
        openInShell(false);
}

void TForm_ORB::PopUp_ShowFolderClick() {
    // The file manager shows the file's folder with the file selected (a file in a drive root:
    // the root).
    if (menuState().ShowFolder)
        openInShell(true);
}

void TForm_ORB::PopUp_OpenFolderClick() {
    if (menuState().OpenFolder)
        openInShell(false);
}

void TForm_ORB::VirtualDrawTree_ORB_QO16DblClick() {
    if (!Orbisca || busy_ > 0)
        return;
    const std::optional<analysis::TNodeData> item = firstSelected();
    if (!item || !item->IsFolder || item->ImageIndex > 0)
        return;
    // The box's change shows the folder and makes it the current one.
    JvDirectoryListBox1->SetDirectory(item->Path);
}

// ---- saved analyses ---------------------------------------------------------------------------

template <typename Work> auto TForm_ORB::offThread(Work work) {
    // Moving or removing thousands of items takes a while on a disk.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    auto done = std::async(std::launch::async, std::move(work));
    while (done.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
        pump();
    QGuiApplication::restoreOverrideCursor();
    return done.get();
}

void TForm_ORB::keepAnalysis() {
    WaitForKeeping();
    const settings::KeptAnalysesSettings keep = settings::LoadKeptAnalysesSettings();
    if (keep.PerDrive <= 0 || keep.MaxTotalMiB <= 0)
        return; // keeping is switched off
    saved::TRetention retention;
    retention.KeepPerDrive = keep.PerDrive;
    retention.MaxTotalBytes = uint64_t(keep.MaxTotalMiB) << 20;
    // The keeping reads the tree on a helper thread; whatever changes the tree waits for it
    // first (mapLetGo), which takes a tenth of the analysis at most.
    keeper_ = std::thread([this, summary = Orbisca->Summary(), retention] {
        QString error;
        if (!saved::KeepAnalysis(VirtualDrawTree1, summary, retention, nullptr, &error))
            platform::OutputDebugStringW(QStringLiteral("Analysis not kept: ") + error);
    });
}

void TForm_ORB::WaitForKeeping() {
    if (keeper_.joinable())
        keeper_.join();
}

void TForm_ORB::LumoButton_SavedClick() {
    if (!Orbisca || busy_ > 0)
        return;
    PopupMenu_Saved->clear();
    QString error;
    const std::vector<saved::TKeptAnalysis> kept = saved::ListKeptAnalyses(&error);
    if (!error.isEmpty())
        platform::OutputDebugStringW(QStringLiteral("Kept analyses: ") + error);
    const analysis::NumberFormat format = analysis::UserNumberFormat();
    const QLocale locale(languageCode());
    for (const saved::TKeptAnalysis& k : kept) {
        QString text = Message(Msg::MESSAGE_ORB_SAVED_ITEM);
        text = ReplaceFirstIgnoreCase(text, QStringLiteral("%1"), k.Drive());
        text = ReplaceFirstIgnoreCase(text, QStringLiteral("%2"), madeAtText(k.MadeAt(), locale));
        text = ReplaceFirstIgnoreCase(text, QStringLiteral("%3"),
                                      analysis::FormatNumber(double(k.Files()), 0, format));
        text = ReplaceFirstIgnoreCase(text, QStringLiteral("%4"),
                                      analysis::SizeText(k.Size(), format));
        if (!k.Complete())
            text += QStringLiteral("   ") + Message(Msg::MESSAGE_ORB_SAVED_INCOMPLETE);
        const std::string file = k.File;
        connect(PopupMenu_Saved->addAction(text), &QAction::triggered, this,
                [this, file] { OpenSavedAnalysis(file); });
    }
    if (kept.empty())
        PopupMenu_Saved->addAction(Message(Msg::MESSAGE_ORB_SAVED_NONE))->setEnabled(false);
    PopupMenu_Saved->addSeparator();
    connect(PopupMenu_Saved->addAction(Message(Msg::MESSAGE_ORB_SAVED_OPEN_FILE)),
            &QAction::triggered, this, [this] {
                const QString chosen =
                    QFileDialog::getOpenFileName(window(), builtIn("LumoButton_Saved"), QString(),
                                                 Message(Msg::MESSAGE_ORB_SAVED_FILTER));
                if (!chosen.isEmpty())
                    OpenSavedAnalysis(chosen.toLocal8Bit().toStdString());
            });
    // The menu opens above the button: the command bar is the window's lowest.
    const QPoint corner = LumoButton_Saved->mapToGlobal(QPoint(0, 0));
    PopupMenu_Saved->popup(corner - QPoint(0, PopupMenu_Saved->sizeHint().height()));
}

bool TForm_ORB::OpenSavedAnalysis(const std::string& file) {
    if (!Orbisca || busy_ > 0)
        return false;
    QString error;
    saved::TOpened opened;
    bool ok = false;
    const bool stillOpen = runLongStep([&] {
        // Nothing may point into the tree that the file replaces.
        setStatus(Message(Msg::MESSAGEHTML_ORB_STATUS_SCANNING));
        VirtualDrawTree_ORB_QO16->Clear();
        ListState.Current_RootNode = PNode::None;
        ListState.CURRENT_FILTER.clear();
        ListState.CURRENT_FILTER_TOTALFILESIZE = 0;
        ShowAllNodes(&VirtualDrawTree1);
        {
            const FlagScope ownChanges(READING_SETTINGS_NOW);
            selectAllFilesSilently();
        }
        analysis::TAnalysisTree loaded;
        ok = offThread([&] { return saved::OpenAnalysisFile(file, loaded, &opened, &error); });
        if (ok) {
            VirtualDrawTree1.Swap(loaded);
            Orbisca->AdoptAnalysis(opened.Summary);
        }
    });
    if (!stillOpen)
        return false;
    if (!ok) {
        platform::MessageBoxW(
            window(),
            ReplaceFirstIgnoreCase(
                ReplaceFirstIgnoreCase(Message(Msg::MESSAGE_ORB_SAVED_OPEN_FAILED),
                                       QStringLiteral("%1"), QString::fromLocal8Bit(file)),
                QStringLiteral("%2"), error),
            platform::ApplicationTitle(), platform::MB_OK | platform::MB_ICONWARNING);
        if (analysedOnce_)
            JvDirectoryListBox1Change(); // the analysis shown before stays
        RefreshStatusLine();
        return false;
    }
    for (const QString& note : opened.Notes)
        platform::OutputDebugStringW(QStringLiteral("Opened ") + QString::fromLocal8Bit(file) +
                                     QStringLiteral(": ") + note);
    Panel_NothingDoneYet->hide();
    showAnalysis(opened.Summary.Verdict);
    return true;
}

std::vector<bool> TForm_ORB::itemsChangedSince(const std::vector<PNode>& items) {
    std::vector<bool> changed(items.size(), false);
    const analysis::TAnalysisOrigin& origin = Orbisca->Origin();
    if (!origin.Loaded)
        return changed; // a scan of now: the walk checks every item
    QString why;
    const bool here = saved::LoadedDriveIsHere(origin, Orbisca->Analysed_Drive(),
                                               VirtualDrawTree1.Device(), &why);
    if (!here)
        platform::OutputDebugStringW(QStringLiteral("Saved analysis: ") + why);
    for (size_t i = 0; i < items.size(); ++i)
        changed[i] = !here || !saved::WayIsRecorded(VirtualDrawTree1, items[i]);
    return changed;
}

// ---- the map ----------------------------------------------------------------------------------

bool TForm_ORB::mapWanted() const {
    return Orbisca && analysedOnce_ && !closed_ && CheckBox_ORB_Map->isChecked() &&
           (structureActive() || filesActive());
}

void TForm_ORB::refreshMap() {
    CheckBox_ORB_Map->setVisible(analysedOnce_ && (structureActive() || filesActive()));
    const bool wanted = mapWanted();
    TreemapView_ORB->setVisible(wanted);
    if (!wanted) {
        TreemapView_ORB->Clear();
        return;
    }
    const PNode root = structureActive() ? ListState.Current_RootNode
                                         : Orbisca->FindRootNodeForDir(Orbisca->Analysed_Drive());
    if (root == PNode::None) {
        TreemapView_ORB->Clear();
        return;
    }
    TreemapView_ORB->SetSource(&VirtualDrawTree1, root, !ListState.CURRENT_FILTER.isEmpty(),
                               GroupsByExtension(formatLists()));
    highlightSelectionInMap();
}

void TForm_ORB::mapLetGo() {
    TreemapView_ORB->CancelAndWait();
    WaitForKeeping();
}

void TForm_ORB::CheckBox_ORB_MapClick() {
    storeMapPane();
    refreshMap();
    alignControls(); // the list's share again, as stored
}

void TForm_ORB::storeMapPane() {
    settings::MapPaneSettings pane;
    pane.Shown = CheckBox_ORB_Map->isChecked();
    const QList<int> parts = Splitter_ORB_Map->sizes();
    if (TreemapView_ORB->isVisible() && parts.size() == 2 && parts[0] > 0 && parts[1] > 0)
        mapListPermille_ = int(int64_t(parts[0]) * 1000 / (int64_t(parts[0]) + parts[1]));
    pane.ListPermille = mapListPermille_;
    settings::SaveMapPaneSettings(pane);
}

void TForm_ORB::highlightSelectionInMap() {
    if (!TreemapView_ORB->isVisible())
        return;
    // Outlines are for what the eye can follow: a selection of thousands outlines its first.
    constexpr size_t kMaxOutlined = 4096;
    std::vector<PNode> nodes;
    for (RowId r : VirtualDrawTree_ORB_QO16->SelectedRows()) {
        if (const PNode n = VirtualDrawTree_ORB_QO16->RowNode(r); n != PNode::None)
            nodes.push_back(n);
        if (nodes.size() == kMaxOutlined)
            break;
    }
    TreemapView_ORB->SetHighlighted(std::move(nodes));
}

void TForm_ORB::selectRowOfTile(PNode node) {
    if (!Orbisca || busy_ > 0 || node == PNode::None)
        return;
    TVirtualDrawTree* list = VirtualDrawTree_ORB_QO16;
    // The node's own row when the list has one (a flat list), else the row of the deepest
    // ancestor that is listed (the shown folder's child holding it): one pass over the rows.
    std::vector<PNode> way; // the node first, then its ancestors
    for (PNode n = node; n != PNode::None; n = VirtualDrawTree1.GetParent(n))
        way.push_back(n);
    RowId best = RowId::None;
    size_t bestDepth = way.size();
    for (int i = 0, count = list->VisibleRowCount(); i < count && bestDepth > 0; ++i) {
        const RowId row = list->VisibleRow(i);
        const PNode n = list->RowNode(row);
        for (size_t d = 0; d < bestDepth; ++d) {
            if (way[d] == n) {
                best = row;
                bestDepth = d;
                break;
            }
        }
    }
    if (best != RowId::None)
        list->MakeCurrent(best);
}

void TForm_ORB::descendIntoTile(PNode node) {
    if (!Orbisca || busy_ > 0 || node == PNode::None)
        return;
    // The folder the tile lies in (a folder tile is that folder); nothing for a tile directly in
    // the folder shown.
    const PNode folder = VirtualDrawTree1.IsFolder(node) ? node : VirtualDrawTree1.GetParent(node);
    if (folder == PNode::None || (structureActive() && folder == ListState.Current_RootNode))
        return;
    if (!structureActive()) {
        if (!LumoButton_Folders->isEnabled())
            return;
        LumoButton_Folders->Click();
    }
    JvDirectoryListBox1->SetDirectory(VirtualDrawTree1.Path(folder)); // shows it through its change
}

// ---- keyboard ---------------------------------------------------------------------------------

void TForm_ORB::setupKeyboard() {
    // Tab runs through the view buttons, the two boxes, the folders, the list and the commands;
    // Qt skips what is hidden or disabled.
    for (skin::TLumoButton2* b : {LumoButton_Files, LumoButton_Folders, LumoButton_Formats,
                                  LumoButton_Options, LumoButton_Analyse, LumoButton_Saved})
        b->SetTakesFocus(true);
    const std::vector<QWidget*> order = {
        LumoButton_Files,        LumoButton_Folders,  LumoButton_Formats,  CheckBox_ORB_Map,
        ComboBox_ORB_NameBalken, ComboBox_ORB_Filter, JvDirectoryListBox1, VirtualDrawTree_ORB_QO16,
        LumoButton_Options,      LumoButton_Analyse,  LumoButton_Saved};
    for (size_t i = 0; i + 1 < order.size(); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);

    VirtualDrawTree_ORB_QO16->OnKeyDown = [this](TVirtualDrawTree*, QKeyEvent* event) {
        return listKeyDown(event);
    };
    // Keys of the whole window (while it or one of its controls has the focus).
    const auto key = [this](QKeySequence keys, std::function<void()> run) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, std::move(run));
    };
    key(QKeySequence(Qt::CTRL | Qt::Key_F), [this] {
        if (ComboBox_ORB_Filter->isVisible() && ComboBox_ORB_Filter->isEnabled()) {
            ComboBox_ORB_Filter->setFocus(Qt::ShortcutFocusReason);
            if (QLineEdit* edit = ComboBox_ORB_Filter->lineEdit())
                edit->selectAll();
        }
    });
    key(QKeySequence(Qt::Key_F5), [this] { analyseAgain(); });
    key(QKeySequence(Qt::CTRL | Qt::Key_M), [this] {
        if (CheckBox_ORB_Map->isVisible() && CheckBox_ORB_Map->isEnabled())
            CheckBox_ORB_Map->click();
    });
    const auto view = [this](skin::TLumoButton2* button) {
        return [this, button] {
            if (!button->isEnabled())
                return; // the view shown, or the window busy
            button->Click();
            VirtualDrawTree_ORB_QO16->setFocus(Qt::ShortcutFocusReason);
        };
    };
    key(QKeySequence(Qt::CTRL | Qt::Key_1), view(LumoButton_Folders));
    key(QKeySequence(Qt::CTRL | Qt::Key_2), view(LumoButton_Files));
    key(QKeySequence(Qt::CTRL | Qt::Key_3), view(LumoButton_Formats));
    key(QKeySequence(Qt::ALT | Qt::Key_Up), [this] { goToParentFolder(); });
    key(QKeySequence(Qt::ALT | Qt::Key_Left), [this] { goThroughHistory(-1); });
    key(QKeySequence(Qt::ALT | Qt::Key_Right), [this] { goThroughHistory(+1); });
}

bool TForm_ORB::listKeyDown(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (mods != Qt::NoModifier)
            return false;
        activateCurrentRow();
        return true;
    case Qt::Key_Backspace:
        if (mods != Qt::NoModifier)
            return false;
        goToParentFolder();
        return true;
    case Qt::Key_Delete:
        if (mods == Qt::NoModifier)
            PopUp_DeleteClick();
        else if (mods == Qt::ShiftModifier)
            PopUp_DeletePermanentlyClick();
        else
            return false;
        return true;
    default:
        return false;
    }
}

void TForm_ORB::activateCurrentRow() {
    if (!Orbisca || busy_ > 0)
        return;
    TVirtualDrawTree* list = VirtualDrawTree_ORB_QO16;
    const RowId current = list->CurrentRow();
    if (current == RowId::None)
        return;
    // The row Enter acts on is the one the keyboard is on, alone.
    if (list->SelectedCount() != 1 || list->GetFirstSelected() != current)
        list->MakeCurrent(current);
    const analysis::TNodeData item = list->RowData(current);
    if (item.ImageIndex > 0)
        return; // a formats group
    if (item.IsFolder)
        showFolderFromKeyboard(item.Path, PNode::None);
    else
        PopUp_OpenFileClick();
}

void TForm_ORB::showFolderFromKeyboard(const QString& folder, PNode current) {
    if (!structureActive() || !Orbisca)
        return;
    JvDirectoryListBox1->SetDirectory(folder); // lists it through its change
    TVirtualDrawTree* list = VirtualDrawTree_ORB_QO16;
    RowId row = list->VisibleRowCount() > 0 ? list->VisibleRow(0) : RowId::None;
    for (int i = 0; current != PNode::None && i < list->VisibleRowCount(); ++i) {
        if (list->RowNode(list->VisibleRow(i)) == current) {
            row = list->VisibleRow(i);
            break;
        }
    }
    if (row != RowId::None)
        list->MakeCurrent(row);
    list->setFocus(Qt::OtherFocusReason);
}

void TForm_ORB::goToParentFolder() {
    if (!Orbisca || busy_ > 0 || !structureActive())
        return;
    const PNode shown = ListState.Current_RootNode;
    if (shown == PNode::None)
        return;
    const PNode parent = VirtualDrawTree1.GetParent(shown);
    if (parent == PNode::None)
        return; // the drive's root
    showFolderFromKeyboard(VirtualDrawTree1.Path(parent), shown);
}

void TForm_ORB::goThroughHistory(int step) {
    if (!Orbisca || busy_ > 0 || !structureActive() || history_.empty())
        return;
    // Folders deleted since they were shown are passed over.
    size_t at = historyAt_;
    while ((step < 0 && at > 0) || (step > 0 && at + 1 < history_.size())) {
        at = step < 0 ? at - 1 : at + 1;
        if (Orbisca->FindRootNodeForDir(history_[at]) == PNode::None)
            continue;
        const PNode left = ListState.Current_RootNode;
        historyAt_ = at;
        movingInHistory_ = true;
        // Back up: the folder left behind, if it lies in the one shown, is the current row.
        showFolderFromKeyboard(history_[at], left);
        movingInHistory_ = false;
        return;
    }
}

void TForm_ORB::analyseAgain() {
    if (!Orbisca || busy_ > 0)
        return;
    if (!analysedOnce_) {
        AdvToolBarButton_AnalyseClick();
        return;
    }
    const QChar letter = DriveComboBoxEx1->Drive();
    if (!checkMedium(letter))
        return;
    analysis::TScanVerdict verdict;
    if (!runLongStep([&] { verdict = scanDrive(letter); }))
        return;
    showAnalysis(verdict);
}

void TForm_ORB::PopUp_DeleteClick() {
    deleteSelection(false);
}

void TForm_ORB::PopUp_DeletePermanentlyClick() {
    deleteSelection(true);
}

void TForm_ORB::deleteSelection(bool permanently) {
    if (!menuState().Delete || !desktopUserKnown())
        return;
    const uint64_t treeAsked = VirtualDrawTree1.ChangeCount();
    QString question = Message(Msg::MESSAGE_ORB_DELETE_ASK_SURE);
    if (permanently) {
        // The outermost items, named with their total: what is asked is what goes.
        std::vector<PNode> selected;
        for (RowId r : VirtualDrawTree_ORB_QO16->SelectedRows())
            if (const PNode n = VirtualDrawTree_ORB_QO16->RowNode(r); n != PNode::None)
                selected.push_back(n);
        const TOutermostItems outermost = OutermostItems(VirtualDrawTree1, selected);
        std::vector<QString> paths;
        int64_t total = 0;
        for (PNode n : outermost.Items) {
            paths.push_back(VirtualDrawTree1.Path(n));
            total += VirtualDrawTree1.Size(n);
        }
        question = PermanentDeleteQuestion(paths, total);
    }
    const int answer = platform::MessageBoxW(window(), question, platform::ApplicationTitle(),
                                             platform::MB_YESNO | platform::MB_ICONWARNING |
                                                 platform::MB_DEFBUTTON2);
    if (answer != platform::IDYES)
        return;
    // The question let the event loop run: act only on the analysis it was asked about.
    if (closed_ || !Orbisca || busy_ > 0 || VirtualDrawTree1.ChangeCount() != treeAsked)
        return;
    TTrashOutcome outcome;
    if (!runLongStep([&] { outcome = trashSelection(permanently); }))
        return;
    FormResize();
    if (!outcome.Stayed.empty())
        platform::MessageBoxW(window(),
                              permanently ? RemovalFailureMessage(outcome.Stayed)
                                          : TrashFailureMessage(outcome.Stayed),
                              platform::ApplicationTitle(),
                              platform::MB_OK | platform::MB_ICONWARNING);
    if (!outcome.ToAdministrator.empty())
        platform::MessageBoxW(
            window(),
            AdministratorTrashMessage(outcome.ToAdministrator,
                                      QString::fromLocal8Bit(platform::CurrentUserSession().name)),
            platform::ApplicationTitle(), platform::MB_OK | platform::MB_ICONINFORMATION);
}

namespace {

// What became of one outermost item of a delete, from the trash or the permanent delete.
struct TItemOutcome {
    bool Ok = false;
    bool ToAdministrator = false; // the trash: it went to the administrator's
    QString TrashFolder;          // the trash: the folder it went to
    platform::TrashFailure Failure = platform::TrashFailure::Other;
    QString Detail;
    // The permanent delete of a folder that went in part: what stayed, by names from the item.
    bool Partly = false;
    std::vector<std::vector<std::string>> Stayed;
};

TItemOutcome outcomeOf(const platform::TrashResult& r) {
    return {r.ok,
            r.administratorTrash,
            QString::fromUtf8(r.trashFolder),
            r.failure,
            r.reason.isEmpty() ? r.error : r.reason,
            false,
            {}};
}

TItemOutcome outcomeOf(const platform::RemovalResult& r) {
    return {r.ok,     false,   {}, r.failure, r.reason.isEmpty() ? r.error : r.reason,
            r.partly, r.stayed};
}

// The nodes below a partly deleted folder that left the disk: every subtree that holds none of
// the entries that stayed. An entry that stayed keeps its subtree; the folders on its way stay.
std::vector<PNode> goneBelow(const analysis::TAnalysisTree& tree, PNode item,
                             const std::vector<std::vector<std::string>>& stayed) {
    // Stayed entries and the folders on their ways, as names joined by '/' (no name holds one).
    std::unordered_set<std::string> entries, ways;
    for (const std::vector<std::string>& names : stayed) {
        std::string key;
        for (size_t i = 0; i < names.size(); ++i) {
            key += (i ? "/" : "") + names[i];
            (i + 1 == names.size() ? entries : ways).insert(key);
        }
    }
    std::vector<PNode> gone;
    std::vector<std::pair<PNode, std::string>> pending{{item, std::string()}};
    while (!pending.empty()) {
        const auto [folder, key] = pending.back();
        pending.pop_back();
        for (PNode c = tree.GetFirstChild(folder); c != PNode::None; c = tree.GetNextSibling(c)) {
            const platform::ListedItem listed = ListedItemOf(tree, c);
            if (listed.names.empty())
                continue; // not reachable: it stays as it is
            const std::string childKey = key + (key.empty() ? "" : "/") + listed.names.back();
            if (entries.count(childKey))
                continue;
            if (ways.count(childKey))
                pending.emplace_back(c, childKey);
            else
                gone.push_back(c);
        }
    }
    return gone;
}

} // namespace

TForm_ORB::TTrashOutcome TForm_ORB::trashSelection(bool permanently) {
    TVirtualDrawTree* list = VirtualDrawTree_ORB_QO16;
    analysis::TAnalysisTree& tree = VirtualDrawTree1;
    std::vector<PNode> selected;
    for (RowId r : list->SelectedRows()) {
        const PNode n = list->RowNode(r);
        if (n != PNode::None)
            selected.push_back(n);
    }
    // Only the outermost items go to the trash; what lies inside them goes along.
    const TOutermostItems outermost = OutermostItems(tree, selected);
    std::vector<platform::ListedItem> items;
    std::vector<QString> listed;
    items.reserve(outermost.Items.size());
    listed.reserve(outermost.Items.size());
    for (PNode item : outermost.Items) {
        items.push_back(ListedItemOf(tree, item));
        listed.push_back(tree.Path(item));
        platform::PumpPoint();
    }
    if (items.empty() || closePending_)
        return {};
    std::vector<TItemOutcome> results(items.size());
    // Items of a saved analysis that cannot be checked against the drive as it is now stay; the
    // others go on as after a scan.
    const std::vector<bool> changedSince = itemsChangedSince(outermost.Items);
    std::vector<size_t> acting;
    std::vector<platform::ListedItem> actingItems;
    for (size_t i = 0; i < items.size(); ++i) {
        if (changedSince[i]) {
            results[i].Failure = platform::TrashFailure::Changed;
            continue;
        }
        acting.push_back(i);
        actingItems.push_back(items[i]);
    }
    // One run for the items that go, on a helper thread; each result in its item's place.
    const auto act = [&](Msg status, auto run) {
        setStatus(Message(status));
        const auto done = offThread([&actingItems, run] { return run(actingItems); });
        for (size_t k = 0; k < done.size() && k < acting.size(); ++k)
            results[acting[k]] = outcomeOf(done[k]);
    };
    if (!acting.empty() && permanently)
        act(Msg::MESSAGEHTML_ORB_STATUS_DELETING, [](const std::vector<platform::ListedItem>& i) {
            return platform::ShellRemovePermanently(i);
        });
    else if (!acting.empty())
        act(Msg::MESSAGEHTML_ORB_STATUS_TRASHING, [](const std::vector<platform::ListedItem>& i) {
            return platform::ShellMoveToTrash(i);
        });
    if (closePending_)
        return {};

    // Items that were not removed stay in the tree and the list, and are named afterwards; of a
    // folder deleted in part, what left the disk leaves the tree.
    std::vector<PNode> trashed;
    std::vector<bool> stayed(outermost.Items.size(), false);
    TTrashOutcome outcome;
    bool foldersTrashed = false;
    for (size_t i = 0; i < outermost.Items.size(); ++i) {
        const TItemOutcome& result = results[i];
        if (result.Ok) {
            if (result.ToAdministrator)
                outcome.ToAdministrator.push_back({listed[i], result.TrashFolder});
            trashed.push_back(outermost.Items[i]);
            foldersTrashed = foldersTrashed || tree.IsFolder(outermost.Items[i]);
            continue;
        }
        stayed[i] = true;
        if (result.Partly) {
            for (PNode n : goneBelow(tree, outermost.Items[i], result.Stayed)) {
                trashed.push_back(n);
                foldersTrashed = foldersTrashed || tree.IsFolder(n);
            }
        }
        outcome.Stayed.push_back(
            {listed[i], permanently
                            ? RemovalFailureReason(result.Failure, result.Detail, result.Partly)
                            : TrashFailureReason(result.Failure, result.Detail)});
        platform::OutputDebugStringW(
            (permanently ? QStringLiteral("Not deleted: ") : QStringLiteral("Not trashed: ")) +
            listed[i] + QStringLiteral(": ") + result.Detail);
    }
    // The trashed nodes marked by index: the files view asks about each of its rows.
    std::vector<bool> goneMarks;
    for (PNode n : trashed) {
        const auto i = static_cast<size_t>(n);
        if (i >= goneMarks.size())
            goneMarks.resize(i + 1);
        goneMarks[i] = true;
    }
    const auto gone = [&goneMarks](PNode n) {
        const auto i = static_cast<size_t>(n);
        return i < goneMarks.size() && goneMarks[i];
    };
    // The folder shown may go with an item: its nearest surviving folder takes its place.
    PNode survivor = ListState.Current_RootNode;
    for (PNode p = ListState.Current_RootNode; p != PNode::None; p = tree.GetParent(p)) {
        if (gone(p))
            survivor = tree.GetParent(p);
    }
    const QString survivingFolder =
        survivor == PNode::None ? Orbisca->Analysed_Drive() : tree.Path(survivor);

    // The files view stays the files view. Its rows are files whose sizes do not change, so the
    // order stands and only the rows of trashed files go, before the tree changes (the window
    // is painted in between); a trashed folder (no row here) takes rows of its files along,
    // which a new list of all files covers.
    const bool allFiles = filesActive() && ListState.CURRENT_FILTER.isEmpty();
    if (allFiles && !foldersTrashed) {
        list->DeleteNodeRows(gone);
        pump();
    }
    analysis::RemoveItems(
        *Orbisca, trashed,
        ListState.CURRENT_FILTER.isEmpty() ? nullptr : &ListState.CURRENT_FILTER_TOTALFILESIZE);
    if (allFiles) {
        if (foldersTrashed)
            listAllFiles();
    } else {
        showFolderAgain(survivingFolder);
    }

    // The rows whose items stayed are selected, as they were.
    std::unordered_set<PNode> keep;
    for (size_t i = 0; i < selected.size(); ++i) {
        if (stayed[outermost.OwnerOf[i]])
            keep.insert(selected[i]);
    }
    if (!keep.empty())
        list->SelectNodeRows([&keep](PNode n) { return keep.count(n) > 0; });
    refreshMap();
    return outcome;
}

void TForm_ORB::showFolderAgain(const QString& survivingFolder) {
    // A folder's list (the structure view, or a filtered list of the drive), with the folder
    // sizes as they are now. The directory box forgets trashed folders too.
    if (structureActive() &&
        analysis::UpperAZ(JvDirectoryListBox1->Directory()) != analysis::UpperAZ(survivingFolder)) {
        JvDirectoryListBox1->SetDirectory(survivingFolder); // shows it through its change
        return;
    }
    JvDirectoryListBox1->Refresh();
    JvDirectoryListBox1Change();
}

// ---- resize handling and the status line ------------------------------------------------------

void TForm_ORB::FormResize() {
    FitColumnsToWidth(VirtualDrawTree_ORB_QO16, {analysis::kColName});
    pump(false);
    RefreshStatusLine();
    pump(false);
}

void TForm_ORB::setStatus(const QString& html) {
    // A little more room between the lines than the face has: the label is a three-line block.
    HTMLabel_Status->SetHTMLText(QStringLiteral("<div style=\"line-height:120%\">") + html +
                                 QStringLiteral("</div>"));
}

void TForm_ORB::RefreshStatusLine() {
    if (!Orbisca)
        return;
    if (!ProgressBar_Auswertung->isHidden()) {
        setStatus(Message(Msg::MESSAGEHTML_ORB_STATUS_FILTERING));
        return;
    }
    // Until the first analysis the welcome text stays: there is nothing to sum up yet.
    if (!ProgressBar1->isHidden() || !analysedOnce_)
        return;
    const bool allFiles =
        ComboBox_ORB_Filter->currentText() == Message(Msg::MESSAGE_ORB_FILTER_ALL);
    const uint64_t shown = allFiles
                               ? Orbisca->TotalFiles()
                               : static_cast<uint64_t>(VirtualDrawTree_ORB_QO16->VisibleRowCount());
    const int64_t size = allFiles ? Orbisca->TotalSize() : ListState.ShownTotal();
    const analysis::NumberFormat format = analysis::UserNumberFormat();
    QString text;
    if (verdict_.IsComplete()) {
        text = StatusSummary(Message(Msg::MESSAGEHTML_ORB_STATUS_DONE), shown,
                             Orbisca->TotalFiles(), size, format);
    } else {
        text = StatusSummary(Message(Msg::MESSAGEHTML_ORB_STATUS_INCOMPLETE), shown,
                             Orbisca->TotalFiles(), size, format);
        text = ReplaceFirstIgnoreCase(text, QStringLiteral("%4"), IncompleteReasons(verdict_));
    }
    // A saved analysis says which it is and when it was made, in place of the hint.
    if (const analysis::TAnalysisOrigin& origin = Orbisca->Origin(); origin.Loaded) {
        const qsizetype lineEnd = text.indexOf(QStringLiteral("<br>"));
        if (lineEnd >= 0)
            text.truncate(lineEnd);
        const QDateTime made =
            (origin.Ended.isValid() ? origin.Ended : origin.Started).toLocalTime();
        QString loaded = Message(Msg::MESSAGEHTML_ORB_STATUS_LOADED);
        loaded = ReplaceFirstIgnoreCase(loaded, QStringLiteral("%1"),
                                        Orbisca->Analysed_Drive().toHtmlEscaped());
        loaded = ReplaceFirstIgnoreCase(loaded, QStringLiteral("%2"),
                                        made.isValid() ? madeAtText(made, QLocale(languageCode()))
                                                       : QStringLiteral("?"));
        // The file, and the program whose export it was when it was not ours.
        QString from = QString::fromLocal8Bit(origin.File).section(u'/', -1);
        if (origin.Source != QLatin1String("scan"))
            from += QStringLiteral(", ") + origin.Source;
        loaded = ReplaceFirstIgnoreCase(loaded, QStringLiteral("%3"), from.toHtmlEscaped());
        text += QStringLiteral("<br>") + loaded;
    }
    setStatus(text);
}

} // namespace views
