#include "SkinTestSupport.h"

#include "platform/Debug.h"
#include "settings/Registry.h"
#include "skin/IniFile.h"
#include "skin/SkinFiles.h"

#include <QListWidget>
#include <QPainter>

using namespace skin;

namespace {

TEST(SkinColors, TextRules) {
    const struct {
        const char* text;
        std::optional<TColor> value;
    } cases[] = {
        {"$FF8000", RGB(255, 128, 0)},         // rule 1: HTML order
        {"$00FF00", RGB(0, 255, 0)},
        {"$ff8000", RGB(255, 128, 0)},
        {"$FF102030", 0xFF000000u | RGB(16, 32, 48)}, // rule 2: high byte first
        {"$FF", RGB(255, 0, 0)},                 // rule 3: raw value
        {"$0FF0000", RGB(0, 0, 255)},            // 8 characters: raw
        {"12632256", RGB(192, 192, 192)},
        {"0", 0u},
        {"-1", 0xFFFFFFFFu},
        {"0x10", 16u},
        {"clBlack", 0u},
        {"clWhite", RGB(255, 255, 255)},
        {"CLRED", RGB(255, 0, 0)},
        {"clNavy", RGB(0, 0, 128)},
        {"clBtnFace", 0x8000000Fu},
        {"clHighlight", 0x8000000Du},
        {"clNone", 0x1FFFFFFFu},
        {"clDefault", 0x20000000u},
        {"$GG0000", std::nullopt},
        {"$12345G78", std::nullopt},
        {"chartreuse", std::nullopt},
        {"4294967296", std::nullopt},
        {"-2147483649", std::nullopt},
        {"$", std::nullopt},
        {"12 34", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StringToSkinColor(QString::fromLatin1(c.text)), c.value) << c.text;
}

TEST(SkinColors, PlainAndArgbUse) {
    EXPECT_EQ(ToQColor(RGB(255, 128, 0)), QColor(255, 128, 0));
    EXPECT_EQ(ToQColor(0x8000000F), QColor(240, 240, 240)); // clBtnFace
    EXPECT_EQ(ToQColor(0x80000005), QColor(255, 255, 255)); // clWindow
    EXPECT_EQ(ToQColor(0x800000FF), QColor(0, 0, 0));       // no such system colour
    EXPECT_EQ(ToQColor(0x12345678), QColor(0x78, 0x56, 0x34));
    // As an ARGB word: $FF102030 is opaque red 48, green 32, blue 16; rule 1 values are invisible.
    EXPECT_EQ(ArgbToQColor(*StringToSkinColor(u"$FF102030")), QColor(48, 32, 16, 255));
    EXPECT_EQ(ArgbToQColor(*StringToSkinColor(u"$FF8000")).alpha(), 0);
}

TEST(IniFile, WindowsProfileRules) {
    const TIniFile ini = TIniFile::FromBytes(
        "\xEF\xBB\xBF; comment\r\n"
        "orphan=1\r\n"
        "[ Header ]\r\n"
        "  Color  =  $112233  \r\n"
        "color=$445566\r\n"
        "Quoted=\"  spaced  \"\r\n"
        "Single='x'\r\n"
        "Empty=\r\n"
        "noequals\r\n"
        "[header]\r\n"
        "Other=2\r\n"
        "[SkinInfo]\r\n"
        "DisplayName=K\xC3\xBChl\r\n");
    EXPECT_EQ(ini.Value(u"HEADER", u"COLOR"), QStringLiteral("$112233"));
    EXPECT_EQ(ini.Value(u"Header", u"Quoted"), QStringLiteral("  spaced  "));
    EXPECT_EQ(ini.Value(u"Header", u"Single"), QStringLiteral("x"));
    EXPECT_EQ(ini.Value(u"Header", u"Empty"), QString());
    EXPECT_TRUE(ini.ValueExists(u"Header", u"Empty"));
    EXPECT_FALSE(ini.ValueExists(u"Header", u"Other")); // a repeated section is ignored
    EXPECT_FALSE(ini.ValueExists(u"Header", u"noequals"));
    EXPECT_FALSE(ini.ValueExists(u"", u"orphan"));
    EXPECT_EQ(ini.ReadString(u"SkinInfo", u"DisplayName", {}), QStringLiteral("K\u00fchl"));
    EXPECT_EQ(ini.ReadString(u"SkinInfo", u"Missing", QStringLiteral("fb")), QStringLiteral("fb"));

    QByteArray utf16("\xFF\xFE", 2);
    for (QChar c : QStringLiteral("[A]\r\nb=\u00e9t\u00e9\r\n"))
        utf16.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    EXPECT_EQ(TIniFile::FromBytes(utf16).Value(u"a", u"B"), QStringLiteral("\u00e9t\u00e9"));
    // Not UTF-8: read as Windows-1252.
    EXPECT_EQ(TIniFile::FromBytes("[A]\nb=\xE9t\xE9\n").Value(u"a", u"b"),
              QStringLiteral("\u00e9t\u00e9"));
}

TEST(SkinStore, ReadSkinColor) {
    TempProgramFolder folder;
    folder.Write("skins/x/skin.ini", "[Header]\nColor=$00FF00\n[Infobar]\nColor=12632256\n"
                                     "[Empty]\nColor=\n[Bad]\nColor=$GG0000\n");
    const QString ini = folder.Windows("skins/x/skin.ini");
    EXPECT_EQ(ReadSkinColor(ini, "Header", "Color"), RGB(0, 255, 0));
    EXPECT_EQ(ReadSkinColor(ini, "infobar", "color"), RGB(192, 192, 192));
    EXPECT_EQ(ReadSkinColor(ini, "Empty", "Color"), 0u);
    EXPECT_EQ(ReadSkinColor(ini, "LumoButtons2", "BorderColor"), 0u);
    EXPECT_EQ(ReadSkinColor(folder.Windows("skins/x/none.ini"), "Header", "Color"), 0u);
    platform::DebugCapture capture;
    EXPECT_EQ(ReadSkinColor(ini, "Bad", "Color"), 0u);
    EXPECT_TRUE(capture.contains("*** ReadSkinColor -> not a colour: [Bad] Color=$GG0000"));
}

TEST(SkinStore, FillSkinListKeepsOnlySkins) {
    TempProgramFolder folder;
    folder.Write("skins/default/skin.ini", "");
    folder.Write("skins/.git/skin.ini", "");
    folder.MakeFolder("skins/Dark");
    folder.Write("skins/Blue/skin.ini", "[SkinInfo]\n");
    folder.Write("skins/stripe.png", "not a folder");
    folder.Write("skins/skin.ini", "not in a folder");

    QListWidget list;
    list.addItem("stale");
    SetSkinFolder(SkinsFolder() + "BLUE");
    FillSkinList(&list);
    QStringList names;
    for (int i = 0; i < list.count(); ++i)
        names << list.item(i)->text();
    names.sort();
    EXPECT_EQ(names, (QStringList{"Blue", "default"}));
    ASSERT_NE(list.currentItem(), nullptr);
    EXPECT_EQ(list.currentItem()->text(), QStringLiteral("Blue"));

    SetSkinFolder(SkinsFolder() + "gone");
    FillSkinList(&list);
    EXPECT_EQ(list.count(), 2);
    EXPECT_EQ(list.currentItem(), nullptr);
}

TEST(SkinStore, DrawSkinListItem) {
    TempProgramFolder folder;
    folder.Write("skins/Plain/skin.ini", "[SkinInfo]\nDisplay1=\n");
    folder.Write("skins/Named/skin.ini", "[SkinInfo]\nDisplayName=Plain\nDisplay1=Line\n");
    folder.Write("skins/Named/preview_small.png",
                 StripePng(20, 10, [](uint32_t, uint32_t) { return 0xFF00C000u; }));
    QListWidget list;
    list.addItem("Plain");
    list.addItem("Named");
    QPalette pal = list.palette();
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::Text, Qt::black);
    pal.setColor(QPalette::Highlight, QColor(0, 0, 200));
    list.setPalette(pal);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    list.setFont(font);

    const auto draw = [&](int index) {
        QImage img(300, kSkinListItemHeight, QImage::Format_ARGB32);
        img.fill(0xFFFF00FF);
        QPainter p(&img);
        DrawSkinListItem(&list, index, QRect(0, 0, 300, kSkinListItemHeight), p);
        return img;
    };
    const QImage plain = draw(0), named = draw(1);
    const auto inkIn = [](const QImage& img, QRect band) {
        int ink = 0;
        for (int y = band.top(); y <= band.bottom(); ++y)
            for (int x = band.left(); x <= band.right(); ++x)
                ink += qRed(img.pixel(x, y)) < 128;
        return ink;
    };
    // The title band of both reads "Plain": the folder name, or the DisplayName.
    EXPECT_EQ(plain.copy(130, 18, 170, 16), named.copy(130, 18, 170, 16));
    EXPECT_GT(inkIn(plain, QRect(140, 20, 160, 14)), 0);
    EXPECT_EQ(inkIn(plain, QRect(0, 0, 139, 92)), 0); // text starts at x = 140
    EXPECT_EQ(plain.pixel(2, 2), 0xFFFFFFFFu); // filled with the list's base colour
    // Description line only where present; the preview unscaled at (4, 4).
    EXPECT_EQ(inkIn(plain, QRect(140, 36, 160, 14)), 0);
    EXPECT_GT(inkIn(named, QRect(140, 36, 160, 14)), 0);
    EXPECT_EQ(named.pixel(4, 4), 0xFF00C000u);
    EXPECT_EQ(named.pixel(23, 13), 0xFF00C000u);
    EXPECT_EQ(named.pixel(24, 14), 0xFFFFFFFFu);
    EXPECT_EQ(plain.pixel(4, 4), 0xFFFFFFFFu);

    list.item(1)->setSelected(true);
    EXPECT_EQ(draw(1).pixel(100, 80), QColor(0, 0, 200).rgb());
}

// Pictures that are missing or broken come back as null images with a debug line.
TEST(SkinStore, MissingPicturesFallBack) {
    TempProgramFolder folder;
    folder.Write("skins/default/broken.png", "\x89PNG\r\n\x1a\nxx");
    folder.Write("skins/default/broken.bmp", "BMxx");
    QImage bmp(3, 2, QImage::Format_RGB32);
    bmp.fill(Qt::red);
    bmp.save(folder.Native("skins/default/ok.bmp"), "BMP");
    for (const char* name : {"none.png", "broken.png", "broken.bmp"}) {
        platform::DebugCapture capture;
        EXPECT_TRUE(LoadSkinPicture(SkinFolder() + "\\" + name).isNull()) << name;
        EXPECT_TRUE(capture.contains("*** Skin picture not loaded: ")) << name;
    }
    EXPECT_EQ(LoadSkinPicture(SkinFolder() + "\\ok.bmp").pixel(1, 1), 0xFFFF0000u);
}

} // namespace

namespace {

TEST(SkinStore, SelectSkinAtStart) {
    TempProgramFolder folder;
    TempSkinHive hive;
    folder.Write("skins/Blue/skin.ini", "");
    folder.MakeFolder("skins/Empty");
    folder.Write("skin.ini", ""); // ProgramFolder\skin.ini, reachable only through ".."
    const QString def = folder.Windows("skins") + "\\default";
    const struct {
        const char* stored; // nullptr: no value
        QString chosen;
    } cases[] = {
        {nullptr, def},
        {"", def},
        {"Default", def}, // even though no default folder exists
        {"DEFAULT", def},
        {"Blue", folder.Windows("skins") + "\\Blue"},
        {"Empty", def},
        {"Gone", def},
        {"..", def},
        {"..\\skins\\Blue", def},
    };
    for (const auto& c : cases) {
        settings::RegRemoveValue(settings::HKEY_LOCAL_MACHINE, settings::OptionsKey, "UseSkin");
        if (c.stored) {
            ASSERT_TRUE(settings::RegWriteString(settings::HKEY_LOCAL_MACHINE,
                                                 settings::OptionsKey, "UseSkin", c.stored));
        }
        SetSkinFolder("elsewhere");
        EXPECT_EQ(SelectSkinAtStart(), c.chosen) << c.stored;
        EXPECT_EQ(SkinFolder(), c.chosen) << c.stored;
    }
}

// Without a skins folder the default skin built into the program stands in for it, exactly as
// shipped; a skins folder on disk, even an incomplete one, is used as it is.
TEST(SkinStore, MissingSkinsFolderUsesTheBuiltInDefault) {
    TempProgramFolder folder;
    TempSkinHive hive;
    ASSERT_TRUE(settings::RegWriteString(settings::HKEY_LOCAL_MACHINE, settings::OptionsKey,
                                         "UseSkin", "Dark"));
    EXPECT_TRUE(SkinsFolderMissing());
    EXPECT_EQ(SelectSkinAtStart(), SkinsFolder() + "default");

    for (const char* file : {"default/skin.ini", "default/stripe.png", "default/head_logo.bmp",
                             "default/but_close.png", "back.png"}) {
        QFile shipped(QStringLiteral(ORBISCA_ASSETS "/skins/") + file);
        ASSERT_TRUE(shipped.open(QIODevice::ReadOnly)) << file;
        const QString path = SkinsFolder() + QString::fromLatin1(file).replace('/', '\\');
        QByteArray bytes;
        EXPECT_TRUE(FileExists(path)) << file;
        EXPECT_TRUE(ReadFileBytes(path, bytes, 1 << 20)) << file;
        EXPECT_EQ(bytes, shipped.readAll()) << file;
        EXPECT_FALSE(ReadFileBytes(path, bytes, 8)) << file; // the size limit holds here too
    }
    EXPECT_FALSE(FileExists(SkinsFolder() + "default\\none.png"));
    EXPECT_FALSE(FileExists(SkinsFolder() + "default"));
    EXPECT_TRUE(DirectoryExists(SkinsFolder() + "default"));
    EXPECT_EQ(ReadSkinColor(SkinFolder() + "\\skin.ini", "Header", "Color"), RGB(0x2B, 0x3A, 0x55));
    EXPECT_FALSE(LoadSkinPicture(SkinFolder() + "\\navi_options.bmp").isNull());
    EXPECT_GT(CreateSkinStripe()->Images(), 0);
    QListWidget list;
    FillSkinList(&list);
    ASSERT_EQ(list.count(), 1);
    EXPECT_EQ(list.item(0)->text(), "default");

    folder.Write("skins/Blue/skin.ini", "[Header]\nColor=$0000FF\n");
    EXPECT_FALSE(SkinsFolderMissing());
    EXPECT_FALSE(FileExists(SkinsFolder() + "default\\skin.ini"));
    EXPECT_EQ(ReadSkinColor(SkinsFolder() + "default\\skin.ini", "Header", "Color"), 0u);
    FillSkinList(&list);
    ASSERT_EQ(list.count(), 1);
    EXPECT_EQ(list.item(0)->text(), "Blue");
}

TEST(SkinStore, SaveSkinChoice) {
    TempProgramFolder folder;
    TempSkinHive hive;
    const auto stored = [] {
        return settings::RegValueExists(settings::HKEY_LOCAL_MACHINE, settings::OptionsKey,
                                        "UseSkin")
                   ? settings::RegReadString(settings::HKEY_LOCAL_MACHINE, settings::OptionsKey,
                                             "UseSkin")
                   : QStringLiteral("<none>");
    };
    QListWidget list;
    list.addItems({"default", "Dark"});
    list.setCurrentRow(1);
    SaveSkinChoice(&list);
    EXPECT_EQ(stored(), QStringLiteral("Dark"));
    list.clearSelection();
    SaveSkinChoice(&list);
    EXPECT_EQ(stored(), QStringLiteral("<none>"));
}

} // namespace
