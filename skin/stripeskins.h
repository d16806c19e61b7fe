#pragma once

// The skin store: the current skin folder, the list of installed skins for the options dialog,
// the colour reader of skin.ini and the stripe of icons.
//
// The skins folder is ProgramFolder + "\skins\"; each direct subfolder whose name does not start
// with "." and that holds a "skin.ini" is one skin, named after the folder. The skins folder
// itself holds the fallbacks "stripe.png" and "ToolTips.bmp" and the shared "back.png".

#include "skin/ArgbBitmap.h"
#include "skin/PngImage.h"
#include "skin/SkinColors.h"

#include <QImage>
#include <QString>
#include <QStyledItemDelegate>

#include <memory>

class QListWidget;
class QPainter;

namespace skin {

// Folder of the current skin, always ProgramFolder + "\skins\" + skin name without a trailing
// backslash; ProgramFolder + "\skins\default" until SelectSkinAtStart has chosen.
QString SkinFolder();
void SetSkinFolder(const QString& folder);
QString SkinsFolder(); // ProgramFolder + "\skins\"

// Chooses the skin at start from the value "UseSkin" of the options key: that folder when it
// holds a "skin.ini", else "default" (also for "default" in any case, an empty value and a value
// that is no plain folder name). Stores the choice in SkinFolder and returns it.
QString SelectSkinAtStart();

// Replaces the stored choice by the selected item of the list, or removes it when none is
// selected.
void SaveSkinChoice(QListWidget* list);

// Colour of a key of a skin.ini; 0 (black) for a missing file, section, key or empty value.
// A text that is no colour gives 0 as well and a debug line naming file, section, key and text.
TColor ReadSkinColor(const QString& iniFile, const QString& section, const QString& key);

// Fills the list with the installed skins in the order the file system lists them and selects
// the current one.
void FillSkinList(QListWidget* list);

// Draws entry `index` of the skin list into `rect`: fill, title, two lines of description and the
// preview picture, all read anew from the skin's folder.
void DrawSkinListItem(QListWidget* list, int index, const QRect& rect, QPainter& painter);
constexpr int kSkinListItemHeight = 92;

// Item delegate that draws the skin list with DrawSkinListItem at the fixed item height.
class TSkinListDelegate : public QStyledItemDelegate {
public:
    explicit TSkinListDelegate(QListWidget* list);
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    QListWidget* list_;
};

// The store of the program's icons: one PNG holding every icon side by side in cells of
// 64 x 64 pixels, cut out at any square size on request.
class TStripeSkinner {
public:
    static constexpr int kCellPitch = 64;

    TStripeSkinner();
    ~TStripeSkinner();
    TStripeSkinner(const TStripeSkinner&) = delete;
    TStripeSkinner& operator=(const TStripeSkinner&) = delete;

    // A file that cannot be loaded leaves an empty stripe (every cut-out transparent) and a
    // debug line with the reason.
    void LoadFromStripeFile(const QString& Filename);

    // Cell `index` at targetsize x targetsize pixels. A cell number out of range draws cell
    // ErrorIndex instead and writes a debug line.
    std::unique_ptr<TPngImage> GetOnePngImage(int targetsize, int index, bool grayscale,
                                              float blendfactor) const;
    // Appends the cell at the list's image width; its position in the list, or -1.
    int AddOneToImageList(TPngImageList& PngImageList, int index, bool grayscale,
                          float blendfactor) const;
    // Replaces the picture with the cell at `targetsize` pixels; false when no image was made.
    bool CopyToPicture(int targetsize, QImage& Picture, int index, bool grayscale,
                       float blendfactor) const;

    int Images() const { return Fimages; }
    int ImageSize() const { return FImageSize; }
    const TArgbBitmap& Bitmap() const { return *FBitmap; }

    int ErrorIndex = 0;

    // Height of a stripe PNG as the cell height it stands for.
    static int NormalisedHeight(int pngHeight);

private:
    int32_t Fimages = 0;
    int32_t FImageSize = 0;
    std::unique_ptr<TArgbBitmap> FBitmap;
};

// The program's stripe: SkinFolder + "\stripe.png" when that file exists, else the shared
// ProgramFolder + "\skins\stripe.png", with ErrorIndex 1. When neither exists a debug line says
// so and the stripe stays empty.
std::unique_ptr<TStripeSkinner> CreateSkinStripe();

// The one stripe of the run, owned by the main window; nullptr until it is set.
TStripeSkinner* CurrentStripe();
void SetCurrentStripe(TStripeSkinner* stripe);

} // namespace skin
