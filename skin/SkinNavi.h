#pragma once

// The navigation of dialogs with pages (the options dialog): entries in a column whose three
// pictures are cut out of the column's own background, so they blend into it, and a tab bar
// that offers a chosen group of a page control's pages.

#include <QString>
#include <QStringList>
#include <QWidget>

class QImage;
class QStackedWidget;
class QTabBar;

namespace skin {

class TTarviMouseImage3State;

// A page of a page control: a plain widget with the caption its tab shows. The translation of
// a window writes the caption through the property.
class TTabSheet : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
public:
    explicit TTabSheet(QWidget* parent = nullptr) : QWidget(parent) {}
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& value) { FCaption = value; }

private:
    QString FCaption;
};

// Makes the normal, highlight and pressed pictures of a navigation entry and shows the normal
// one. `background` is the picture the entry sits on (its pixels are taken unscaled at the
// button's place in its parent); the pressed picture gets the skin's "menu_options_active.png"
// and the highlight picture "menu_options_hover.png" on top; all three get stripe cell `cell`
// at 32 pixels at (8, 5) and the caption in Tahoma 13 px at (42, 11) over a shadow at (43, 12).
// The caption colours are the ARGB words of the skin's [Navi_Options] keys Font_Normal,
// Font_Normal_Shadow (normal and highlight) and Font_Down, Font_Down_Shadow (pressed).
// The two overlays are read from the skin once per run.
void MakeNaviImage(const QImage& background, TTarviMouseImage3State* button,
                   const QString& caption, int cell);

// Forgets the overlays read by MakeNaviImage, so the next call reads them again (tests).
void ResetNaviOverlays();

// Replaces the tabs of `tabs` with one tab per listed page that exists in `pages` (by object
// name) and has a caption, in list order; each tab's data is the page's index in `pages`. The
// first listed page becomes the current page.
void FillTabSetFromPages(QTabBar* tabs, QStackedWidget* pages, const QStringList& pageNames);

} // namespace skin
