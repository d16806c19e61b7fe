#include "skin/stripeskins.h"

#include "platform/Debug.h"
#include "platform/ProgramFolder.h"
#include "platform/Pump.h"
#include "settings/Registry.h"
#include "skin/IniFile.h"
#include "skin/SkinFiles.h"

#include <QListWidget>
#include <QPainter>

#include <climits>
#include <cmath>
#include <optional>

namespace skin {
namespace {

std::optional<QString>& chosenSkinFolder() {
    static std::optional<QString> folder;
    return folder;
}

TStripeSkinner*& currentStripe() {
    static TStripeSkinner* stripe = nullptr;
    return stripe;
}

void pumpMessages() { platform::ProcessMessages(); }

} // namespace

QString SkinsFolder() { return platform::ProgramFolder() + QStringLiteral("\\skins\\"); }

QString SkinFolder() {
    if (chosenSkinFolder())
        return *chosenSkinFolder();
    return SkinsFolder() + QStringLiteral("default");
}

void SetSkinFolder(const QString& folder) { chosenSkinFolder() = folder; }

TColor ReadSkinColor(const QString& iniFile, const QString& section, const QString& key) {
    if (!FileExists(iniFile))
        return 0;
    const QString text = TIniFile::FromFile(iniFile).ReadString(section, key, QString());
    if (text.isEmpty())
        return 0;
    if (const auto color = StringToSkinColor(text))
        return *color;
    platform::OutputDebugStringW(QStringLiteral("*** ReadSkinColor -> not a colour: [%1] %2=%3 ; %4")
                                     .arg(section, key, text, iniFile));
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Skin choice and list

namespace {

const QString kUseSkin = QStringLiteral("UseSkin");

// A stored choice names one direct subfolder of the skins folder; anything that would lead
// elsewhere is no skin name.
bool isPlainFolderName(const QString& name) {
    return name != u"." && name != u".." && !name.contains(u'\\') && !name.contains(u'/') &&
           !name.contains(u':');
}

} // namespace

QString SelectSkinAtStart() {
    QString folder = SkinsFolder() + QStringLiteral("default");
    const QString value =
        settings::RegReadString(settings::HKEY_LOCAL_MACHINE, settings::OptionsKey, kUseSkin);
    if (!value.isEmpty() && value.toUpper() != u"DEFAULT") {
        if (!isPlainFolderName(value))
            platform::OutputDebugStringW(QStringLiteral("*** UseSkin is no skin name: ") + value);
        else if (FileExists(SkinsFolder() + value + QStringLiteral("\\skin.ini")))
            folder = SkinsFolder() + value;
    }
    SetSkinFolder(folder);
    return folder;
}

void SaveSkinChoice(QListWidget* list) {
    settings::RegRemoveValue(settings::HKEY_LOCAL_MACHINE, settings::OptionsKey, kUseSkin);
    if (!list)
        return;
    const QList<QListWidgetItem*> selected = list->selectedItems();
    if (!selected.isEmpty())
        settings::RegWriteString(settings::HKEY_LOCAL_MACHINE, settings::OptionsKey, kUseSkin,
                                 selected.first()->text());
}

void FillSkinList(QListWidget* list) {
    if (!list)
        return;
    const QString folder = SkinFolder();
    const QString current = folder.mid(folder.lastIndexOf(u'\\') + 1);
    list->clear();
    const QStringList names = ListSubfolders(SkinsFolder(), pumpMessages);
    for (const QString& name : names) {
        if (name.startsWith(u'.'))
            continue;
        if (!FileExists(SkinsFolder() + name + QStringLiteral("\\skin.ini")))
            continue;
        list->addItem(name);
        if (name.compare(current, Qt::CaseInsensitive) == 0)
            list->setCurrentRow(list->count() - 1);
    }
}

void DrawSkinListItem(QListWidget* list, int index, const QRect& rect, QPainter& painter) {
    if (!list || index < 0 || index >= list->count())
        return;
    const QListWidgetItem* item = list->item(index);
    const QString name = item->text();
    const QString skinDir = SkinsFolder() + name;
    const TIniFile ini = TIniFile::FromFile(skinDir + QStringLiteral("\\skin.ini"));

    const bool selected = item->isSelected();
    const QPalette& pal = list->palette();
    painter.save();
    painter.fillRect(rect, selected ? pal.highlight() : pal.base());
    painter.setFont(list->font());
    painter.setPen(selected ? pal.highlightedText().color() : pal.text().color());
    const int ascent = painter.fontMetrics().ascent();
    const auto write = [&](int dy, const QString& text) {
        if (!text.isEmpty())
            painter.drawText(rect.left() + 140, rect.top() + dy + ascent, text);
    };
    write(20, ini.ReadString(u"SkinInfo", u"DisplayName", name));
    write(36, ini.ReadString(u"SkinInfo", u"Display1", QString()));
    write(52, ini.ReadString(u"SkinInfo", u"Display2", QString()));

    const QString preview = skinDir + QStringLiteral("\\preview_small.png");
    if (FileExists(preview)) {
        const QImage image = LoadSkinPicture(preview);
        if (!image.isNull())
            painter.drawImage(rect.left() + 4, rect.top() + 4, image);
    }
    painter.restore();
}

TSkinListDelegate::TSkinListDelegate(QListWidget* list) : QStyledItemDelegate(list), list_(list) {}

void TSkinListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    DrawSkinListItem(list_, index.row(), option.rect, *painter);
}

QSize TSkinListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return QSize(option.rect.width(), kSkinListItemHeight);
}

// ---------------------------------------------------------------------------------------------
// Stripe

TStripeSkinner::TStripeSkinner() : FBitmap(std::make_unique<TArgbBitmap>()) {}

TStripeSkinner::~TStripeSkinner() = default;

int TStripeSkinner::NormalisedHeight(int h) {
    if (h >= 16 && h <= 23)
        return 16;
    if (h >= 24 && h <= 31)
        return 24;
    if (h >= 32 && h <= 47)
        return 32;
    if (h >= 48 && h <= 63)
        return 48;
    if (h >= 64 && h <= 79)
        return 64;
    if (h >= 128)
        return 128;
    return h;
}

void TStripeSkinner::LoadFromStripeFile(const QString& Filename) {
    TPngImage png;
    QString why;
    if (!png.LoadFromFile(Filename, &why)) {
        platform::OutputDebugStringW(QStringLiteral("*** LoadFromStripeFile -> ") + why +
                                     QStringLiteral(" ; ") + Filename);
        Fimages = 0;
        FImageSize = 0;
        FBitmap->SetSize(0, 0);
        return;
    }
    FImageSize = NormalisedHeight(png.Height());
    Fimages = png.Width() / FImageSize;
    FBitmap->SetSize(png.Width(), FImageSize);
    FBitmap->DrawOver(png.Pixels(), FImageSize);
}

std::unique_ptr<TPngImage> TStripeSkinner::GetOnePngImage(int targetsize, int index,
                                                          bool grayscale,
                                                          float blendfactor) const {
    if (targetsize <= 0)
        return nullptr;
    if (index >= Fimages) {
        platform::OutputDebugStringW(QStringLiteral("*** GetOnePngImage -> error 1 ; FImages=") +
                                     QString::number(Fimages));
        index = ErrorIndex;
    }
    const int s = targetsize;
    TArgbBitmap cell;
    cell.SetSize(s, s);
    const int64_t left = int64_t(kCellPitch) * index;
    if (left >= INT32_MIN / 2 && left <= INT32_MAX / 2) {
        const PixelRect source{int(left), 0, int(left) + kCellPitch - 1, kCellPitch - 1};
        TLanczosResampler::Resample(*FBitmap, source, cell, PixelRect{0, 0, s - 1, s - 1});
    }

    auto image = std::make_unique<TPngImage>(s, s);
    for (int x = 0; x < s; ++x) {
        for (int y = 0; y < s; ++y) {
            uint32_t c = cell.Pixel(x, y);
            uint8_t a = uint8_t(c >> 24);
            uint8_t r = uint8_t(c >> 16), g = uint8_t(c >> 8), b = uint8_t(c);
            if (grayscale)
                r = g = b = uint8_t((r * 61 + g * 174 + b * 21) >> 8);
            if (blendfactor != 1.0f)
                a = uint8_t(std::lrint(double(a) * double(blendfactor)) & 0xFF);
            image->SetPixel(x, y, r, g, b, a);
        }
    }
    return image;
}

int TStripeSkinner::AddOneToImageList(TPngImageList& PngImageList, int index, bool grayscale,
                                      float blendfactor) const {
    std::unique_ptr<TPngImage> image =
        GetOnePngImage(PngImageList.Width(), index, grayscale, blendfactor);
    if (!image)
        return -1;
    PngImageList.BeginUpdate();
    PngImageList.AddItem() = std::move(*image);
    PngImageList.EndUpdate();
    return PngImageList.Count() - 1;
}

bool TStripeSkinner::CopyToPicture(int targetsize, QImage& Picture, int index, bool grayscale,
                                   float blendfactor) const {
    std::unique_ptr<TPngImage> image = GetOnePngImage(targetsize, index, grayscale, blendfactor);
    if (!image)
        return false;
    Picture = image->ToQImage();
    return true;
}

std::unique_ptr<TStripeSkinner> CreateSkinStripe() {
    auto stripe = std::make_unique<TStripeSkinner>();
    const QString own = SkinFolder() + QStringLiteral("\\stripe.png");
    const QString shared = SkinsFolder() + QStringLiteral("stripe.png");
    if (FileExists(own))
        stripe->LoadFromStripeFile(own);
    else if (FileExists(shared))
        stripe->LoadFromStripeFile(shared);
    else
        platform::OutputDebugStringW(QStringLiteral("*** No stripe found: ") + own +
                                     QStringLiteral(" ; ") + shared);
    stripe->ErrorIndex = 1;
    return stripe;
}

TStripeSkinner* CurrentStripe() { return currentStripe(); }
void SetCurrentStripe(TStripeSkinner* stripe) { currentStripe() = stripe; }

} // namespace skin
