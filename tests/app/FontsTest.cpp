// The program's fonts: bold text is the regular Tahoma made bold, clearly bolder than the text
// beside it and of the same design (the bold file shipped with this Tahoma is a different,
// barely bolder design).

#include "skin/Fonts.h"

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QPainter>

namespace {

// Dark pixels of a line of text in the font.
int ink(const QFont& font) {
    QImage image(320, 32, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(4, 22, QStringLiteral("Achtung: Dateiformate und Ordner"));
    painter.end();
    int dark = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            dark += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
    return dark;
}

TEST(ProgramFonts, BoldTextIsTheRegularFaceMadeBold) {
    if (!skin::InstallProgramFonts())
        GTEST_SKIP() << "Tahoma is not installed (fonts-wine)";
    QFont regular(QStringLiteral("Tahoma"));
    regular.setPixelSize(13);
    QFont bold = regular;
    bold.setBold(true);
    EXPECT_EQ(QFontInfo(bold).family(), QStringLiteral("Tahoma"));
    EXPECT_GT(ink(bold), ink(regular) * 6 / 5) << ink(bold) << " against " << ink(regular);
}

} // namespace
