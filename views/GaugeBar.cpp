#include "views/GaugeBar.h"

#include <algorithm>

namespace views {

TGaugeBar::TGaugeBar(QWidget* parent) : QProgressBar(parent) {
    setTextVisible(false);
    setRange(0, max_);
    setValue(0);
}

int TGaugeBar::pixelsFor(int position) const {
    const int span = std::max(1, width());
    if (max_ <= 0)
        return 0;
    const long long p = std::clamp(position, 0, max_);
    return static_cast<int>(p * span / max_);
}

void TGaugeBar::paintPosition(int position) {
    const int pixels = pixelsFor(position);
    // The range of positions painted with the same number of pixels.
    const int span = std::max(1, width());
    low_ =
        max_ > 0 ? static_cast<int>((static_cast<long long>(pixels) * max_ + span - 1) / span) : 0;
    high_ = max_ > 0
                ? static_cast<int>((static_cast<long long>(pixels + 1) * max_ + span - 1) / span)
                : 1;
    if (pixels != shownPixels_) {
        shownPixels_ = pixels;
        ++shownChanges_;
        setValue(std::clamp(position, 0, std::max(0, max_)));
    }
}

void TGaugeBar::SetMax(int maximum) {
    max_ = std::max(0, maximum);
    shownChanges_ = 0;
    shownPixels_ = -1;
    setRange(0, std::max(1, max_));
    paintPosition(position_);
}

void TGaugeBar::SetPosition(int position) {
    position_ = position;
    if (position >= low_ && position < high_ && shownPixels_ >= 0)
        return;
    paintPosition(position);
}

void TGaugeBar::resizeEvent(QResizeEvent* event) {
    QProgressBar::resizeEvent(event);
    shownPixels_ = -1;
    paintPosition(position_);
}

} // namespace views
