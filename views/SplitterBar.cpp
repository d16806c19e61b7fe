#include "views/SplitterBar.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace views {

TSplitterBar::TSplitterBar(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::SplitHCursor);
}

void TSplitterBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    // A short grip in the middle shows where to take hold.
    p.setPen(palette().color(QPalette::Mid));
    const int x = width() / 2;
    const int y = height() / 2;
    for (int dy = -8; dy <= 8; dy += 4)
        p.drawPoint(x, y + dy);
}

void TSplitterBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !ControlWidth)
        return;
    dragging_ = true;
    startX_ = static_cast<int>(event->globalPosition().x());
    startWidth_ = ControlWidth();
}

void TSplitterBar::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_ || !OnMoved)
        return;
    int wanted = startWidth_ + static_cast<int>(event->globalPosition().x()) - startX_;
    const int upper = MaxSize ? MaxSize() : wanted;
    wanted = std::max(MinSize, std::min(wanted, std::max(MinSize, upper)));
    OnMoved(wanted);
}

void TSplitterBar::mouseReleaseEvent(QMouseEvent*) {
    dragging_ = false;
}

} // namespace views
