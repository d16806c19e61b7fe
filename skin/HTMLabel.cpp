#include "skin/HTMLabel.h"

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

} // namespace skin
