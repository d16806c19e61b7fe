#include "app/FormAbout.h"

#include "i18n/LanguageSelection.h"
#include "i18n/TranslatableComponents.h"
#include "i18n/nLang3.h"
#include "inet/OnlineHelp.h"
#include "inet/zel_inet2.h"
#include "skin/ControlBuilder.h"
#include "skin/HTMLabel.h"
#include "skin/Image.h"
#include "skin/LumoButton2.h"
#include "skin/LumoUnicodeSTButton.h"
#include "skin/SkinApply.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <cmath>

namespace app {
namespace {

const QString kSection = QStringLiteral("Form_About");
constexpr QSize kClientSize(417, 372);

// Where the picture's bands end; the controls sit on them at their design places.
constexpr int kBandBottom = 88;
constexpr int kFooterTop = 300;

const QColor kSlate(0x2B, 0x3A, 0x55);
const QColor kSlateLight(0x3B, 0x50, 0x74);
const QColor kAccent(0x2F, 0x6F, 0xB0);
const QColor kFooter(0xF4, 0xF6, 0xF9);
const QColor kFooterLine(0xDD, 0xE2, 0xE8);

QString builtIn(const char* component) {
    return i18n::BuiltInText(kSection, QLatin1String(component));
}

// The program's mark: a ring chart of a drive's use, the way the analyser sums it up.
void drawMark(QPainter& p, const QPointF& centre, qreal radius) {
    struct Segment {
        int degrees;
        QColor color;
    };
    const Segment segments[] = {
        {140, QColor(0x3A, 0x7B, 0xD5)}, {80, QColor(0x3D, 0xAE, 0x6A)},
        {60, QColor(0xF2, 0xB6, 0x30)},  {40, QColor(0xE0, 0x52, 0x4B)},
        {40, QColor(0xDD, 0xE2, 0xE8)},
    };
    const QRectF outer(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    const qreal inner = radius * 0.55;
    int start = 90;
    for (const Segment& s : segments) {
        QPainterPath slice;
        slice.moveTo(centre);
        slice.arcTo(outer, start, -s.degrees);
        slice.closeSubpath();
        p.fillPath(slice, s.color);
        start -= s.degrees;
    }
    // Thin gaps between the segments and the hole in the middle.
    p.setPen(QPen(kSlate, 2));
    start = 90;
    for (const Segment& s : segments) {
        const qreal a = qDegreesToRadians(qreal(start));
        p.drawLine(centre, centre + QPointF(std::cos(a) * radius, -std::sin(a) * radius));
        start -= s.degrees;
    }
    p.setPen(Qt::NoPen);
    p.setBrush(kSlate);
    p.drawEllipse(centre, inner, inner);
}

} // namespace

QImage MakeAboutPicture() {
    QImage picture(kClientSize, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient band(0, 0, kClientSize.width(), kBandBottom);
    band.setColorAt(0, kSlate);
    band.setColorAt(1, kSlateLight);
    p.fillRect(QRect(0, 0, kClientSize.width(), kBandBottom), band);
    p.fillRect(QRect(0, kBandBottom, kClientSize.width(), 3), kAccent);
    drawMark(p, QPointF(46, 44), 26);

    QFont name(QStringLiteral("Tahoma"));
    name.setPixelSize(21);
    name.setBold(true);
    p.setFont(name);
    p.setPen(QColor(0xF2, 0xF5, 0xF9));
    p.drawText(QRect(86, 18, 320, 28), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Zelvano Orbisca 2024"));

    p.fillRect(QRect(0, kFooterTop, kClientSize.width(), kClientSize.height() - kFooterTop),
               kFooter);
    p.fillRect(QRect(0, kFooterTop, kClientSize.width(), 1), kFooterLine);
    return picture;
}

TForm_About::TForm_About(QWidget* owner)
    : TSkinnedDialog(owner, kSection, kClientSize, builtIn("Form_About")) {
    setupUi();
    Translate();
    skin::SpaceFormattedLines(this);
    skin::SkinButtonsInForm(this);
    Label_Version->setText(Label_Version->text() + u' ' + QLatin1String(inet::kProductVersion));
    CenterOn(nullptr);
}

void TForm_About::setupUi() {
    using skin::Translated;
    Image2 = SetBackground(QStringLiteral("Image2"), MakeAboutPicture());

    const skin::TControlBuilder build(this);
    Label_Version = build.Add<QLabel>("Label_Version", {301, 60, 108, 16}, Translated);
    Label_Version->setText(builtIn("Label_Version"));
    Label_Version->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label_Version->setAttribute(Qt::WA_TranslucentBackground);
    QPalette light = Label_Version->palette();
    light.setColor(QPalette::WindowText, QColor(0xDD, 0xE4, 0xEE));
    Label_Version->setPalette(light);
    Label_Version->setFont(QFont(QStringLiteral("Tahoma"), 8));

    HTMLabel1 = build.Add<skin::THTMLabel>("HTMLabel1", {20, 100, 373, 157}, Translated);
    HTMLabel1->setFont(QFont(QStringLiteral("Tahoma"), 9));
    HTMLabel1->setText(builtIn("HTMLabel1"));

    const auto link = [&build](const char* name, int top) {
        auto* button =
            build.Add<skin::TLumoUnicodeSTButton>(name, {20, top, 160, 20}, Translated);
        button->SetCaption(builtIn(name));
        skin::TFont normal;
        normal.Font = QFont(QStringLiteral("Tahoma"), 9);
        normal.Color = skin::RGB(kAccent.red(), kAccent.green(), kAccent.blue());
        skin::TFont hot = normal;
        hot.Font.setUnderline(true);
        hot.Color = skin::RGB(0, 0, 128); // navy
        button->SetFont(&normal);
        button->SetFontHOT(&hot);
        button->setCursor(Qt::PointingHandCursor);
        return button;
    };
    LumoUnicodeSTButton_EULA = link("LumoUnicodeSTButton_EULA", 312);
    LumoUnicodeSTButton_Privacy = link("LumoUnicodeSTButton_Privacy", 334);
    LumoUnicodeSTButton_EULA->OnClick = [this](QObject*) { LumoUnicodeSTButton_EULAClick(); };
    LumoUnicodeSTButton_Privacy->OnClick = [this](QObject*) { LumoUnicodeSTButton_PrivacyClick(); };

    Button_Ok = AddButton(QStringLiteral("Button_Ok"), QRect(309, 324, 88, 28),
                          builtIn("Button_Ok"), true);
    Button_Ok->OnClick = [this](QObject*) { Button_OkClick(); };
}

namespace {

void openLegalPage(const char* target) {
    inet::zinet_OpenLinkTargetInBrowser(QLatin1String(target), QLatin1String(inet::kProductNumber),
                                        QLatin1String(inet::kProductVersion), 0,
                                        i18n::LCIDToLanguageCode(i18n::CurrentLanguageLCID()),
                                        QString());
}

} // namespace

void TForm_About::LumoUnicodeSTButton_EULAClick() { openLegalPage("eula"); }

void TForm_About::LumoUnicodeSTButton_PrivacyClick() { openLegalPage("privacypolicy"); }

void TForm_About::Button_OkClick() { accept(); }

} // namespace app
