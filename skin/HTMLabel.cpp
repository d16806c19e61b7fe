#include "skin/HTMLabel.h"

#include <QFontInfo>

namespace skin {

THTMLabel::THTMLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::RichText);
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setOpenExternalLinks(false);
    setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    setAttribute(Qt::WA_TranslucentBackground);
    connect(this, &QLabel::linkActivated, this, [this](const QString& href) {
        if (OnAnchorClick)
            OnAnchorClick(href);
    });
}

void SpaceFormattedLines(QWidget* window) {
    if (!window)
        return;
    for (THTMLabel* label : window->findChildren<THTMLabel*>()) {
        // A fixed line height also makes room above the first line, which a proportional one
        // does not.
        const int lineHeight = qRound(QFontInfo(label->font()).pixelSize() * 1.25);
        label->setText(QStringLiteral("<div style=\"line-height:%1px\">").arg(lineHeight) +
                       label->text() + QStringLiteral("</div>"));
    }
}

} // namespace skin
