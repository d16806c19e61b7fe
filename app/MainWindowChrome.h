#pragma once

// What a system frame gives a window, for the frameless main window: it moves when dragged by
// its header (QWindow::startSystemMove, so moves are smooth and snap like any other window's)
// and resizes by its edges and the size grip (startSystemResize), with a move or resize by hand
// where the window manager offers none. It maximises and restores from the header button, whose
// pictures follow the state, and keeps a 2-pixel border along the top edge (before Windows 10
// also 2 on the left and 1 on the right and bottom) that follows the window's activation and is
// itself a resize edge. A maximised window shows neither the border nor the grips.

#include <QObject>
#include <QPoint>
#include <QRect>

#include <vector>

class QMouseEvent;
class QWidget;

namespace skin {
class TImage;
class TTarviMouseImage3State;
} // namespace skin

namespace app {

class TMainWindowChrome : public QObject {
public:
    static constexpr int kTopBorder = 2;
    static constexpr int kLeftBorder = 2;        // before Windows 10 only
    static constexpr int kRightBottomBorder = 1; // before Windows 10 only

    // Makes the border edges on the window; the grip resizes it, the button maximises it.
    TMainWindowChrome(QWidget* window, skin::TImage* sizeGrip,
                      skin::TTarviMouseImage3State* maximizeButton);

    // A left press on source moves the window.
    void MoveWindowBy(QWidget* source);

    // Edges and grip along the window's current size.
    void Layout();
    void RaiseEdges();
    const std::vector<QWidget*>& Edges() const { return edges_; }

    // Maximised <-> restored, as the maximise button does.
    void ToggleMaximized();
    // The grips (the window's and the copy in the module's bottom bar), the border and the
    // maximise button's pictures for the window's state.
    void ShowWindowState(QWidget* currentModule);
    void ShowActivation();

    // A move or resize by hand: follows the mouse while one runs (true), and ends it.
    bool DragTo(QMouseEvent* event);
    bool EndDrag();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void beginMove();
    void beginResize(Qt::Edges edges);
    void addEdge(const char* name, Qt::Edges side);

    QWidget* window_;
    skin::TImage* grip_;
    skin::TTarviMouseImage3State* maximize_;
    std::vector<QWidget*> edges_;

    struct ManualDrag {
        bool active = false;
        Qt::Edges edges; // none: a move
        QPoint pressGlobal;
        QRect startGeometry;
    } drag_;
};

} // namespace app
