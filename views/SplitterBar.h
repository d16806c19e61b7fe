#pragma once

// The splitter between the directory box and the list: a thin bar that the user drags to give
// the control on its left another width. The window lays its controls out again when told.

#include <QWidget>

#include <functional>

namespace views {

class TSplitterBar : public QWidget {
    Q_OBJECT
public:
    explicit TSplitterBar(QWidget* parent = nullptr);

    // The width the control on the left had when the drag began, and the limits of a drag.
    std::function<int()> ControlWidth;
    int MinSize = 60;
    std::function<int()> MaxSize;
    // A drag asks for a new width of the control on the left.
    std::function<void(int width)> OnMoved;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool dragging_ = false;
    int startX_ = 0;
    int startWidth_ = 0;
};

} // namespace views
