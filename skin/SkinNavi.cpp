#include "skin/SkinNavi.h"

#include "skin/PngImage.h"
#include "skin/TarviMouseImage3State.h"
#include "skin/stripeskins.h"

#include <QPainter>
#include <QStackedWidget>
#include <QTabBar>

namespace skin {
namespace {

struct NaviOverlays {
    bool loaded = false;
    QImage active;
    QImage hover;
};

NaviOverlays& overlays() {
    static NaviOverlays o;
    return o;
}

const NaviOverlays& loadedOverlays() {
    NaviOverlays& o = overlays();
    if (!o.loaded) {
        o.active = LoadSkinPicture(SkinFolder() + QStringLiteral("\\menu_options_active.png"));
        o.hover = LoadSkinPicture(SkinFolder() + QStringLiteral("\\menu_options_hover.png"));
        o.loaded = true;
    }
    return o;
}

QColor naviColor(const char* key) {
    return ArgbToQColor(ReadSkinColor(SkinFolder() + QStringLiteral("\\skin.ini"),
                                      QStringLiteral("Navi_Options"), QLatin1String(key)));
}

QFont captionFont() {
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(13);
    font.setWeight(QFont::Normal);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

// One picture: the background under the button, an optional overlay, the icon and the caption.
QImage naviPicture(const QImage& background, const QRect& place, const QImage& overlay,
                   const QImage& icon, const QString& caption, const QColor& shadow,
                   const QColor& text) {
    QImage picture(place.size(), QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(QPoint(0, 0), background, place);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!overlay.isNull())
        p.drawImage(picture.rect(), overlay);
    if (!icon.isNull())
        p.drawImage(QRect(8, 5, 32, 32), icon);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(captionFont());
    // The layout box starts at the origin and is never the reason a caption is cut.
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip;
    const QSize box(4096, 256);
    p.setPen(shadow);
    p.drawText(QRect(QPoint(43, 12), box), flags, caption);
    p.setPen(text);
    p.drawText(QRect(QPoint(42, 11), box), flags, caption);
    return picture;
}

} // namespace

void MakeNaviImage(const QImage& background, TTarviMouseImage3State* button,
                   const QString& caption, int cell) {
    if (!button)
        return;
    const NaviOverlays& o = loadedOverlays();
    button->setCursor(Qt::PointingHandCursor);
    button->SetMove_If_MousePressed(false);

    QImage icon;
    if (const TStripeSkinner* stripe = CurrentStripe())
        stripe->CopyToPicture(32, icon, cell, false, 1.0f);

    const QRect place(button->pos(), button->size());
    const QColor normal = naviColor("Font_Normal");
    const QColor normalShadow = naviColor("Font_Normal_Shadow");
    button->SetPicture_Highlight(
        naviPicture(background, place, o.hover, icon, caption, normalShadow, normal));
    button->SetPicture_Pressed(naviPicture(background, place, o.active, icon, caption,
                                           naviColor("Font_Down_Shadow"), naviColor("Font_Down")));
    button->SetPicture_Normal(
        naviPicture(background, place, QImage(), icon, caption, normalShadow, normal));
}

void ResetNaviOverlays() { overlays() = NaviOverlays(); }

void FillTabSetFromPages(QTabBar* tabs, QStackedWidget* pages, const QStringList& pageNames) {
    if (!tabs || !pages || pageNames.isEmpty())
        return;
    while (tabs->count() > 0)
        tabs->removeTab(tabs->count() - 1);
    QWidget* first = nullptr;
    for (const QString& name : pageNames) {
        QWidget* page = nullptr;
        for (int i = 0; i < pages->count() && !page; ++i)
            if (pages->widget(i)->objectName() == name)
                page = pages->widget(i);
        if (!first && name == pageNames.first())
            first = page;
        if (!page)
            continue;
        const QString caption = page->property("Caption").toString();
        if (caption.isEmpty())
            continue;
        const int tab = tabs->addTab(caption);
        tabs->setTabData(tab, pages->indexOf(page));
        tabs->setTabVisible(tab, true);
    }
    if (first)
        pages->setCurrentWidget(first);
}

} // namespace skin
