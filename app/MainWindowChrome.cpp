#include "app/MainWindowChrome.h"

#include "app/Unit1.h"
#include "platform/Pump.h"
#include "settings/Environment.h"
#include "skin/ControlBuilder.h"
#include "skin/Image.h"
#include "skin/TarviMouseImage3State.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <functional>

namespace app {
namespace {

// One border edge: darker while the window is active, lighter while another one is, as a
// system frame; pressed, it resizes the window on its side.
class TFrameEdge : public QWidget {
public:
    TFrameEdge(QWidget* window, Qt::Edges edges, std::function<void(Qt::Edges)> onPress)
        : QWidget(window), window_(window), edges_(edges), onPress_(std::move(onPress)) {
        setCursor(edges & (Qt::TopEdge | Qt::BottomEdge) ? Qt::SizeVerCursor : Qt::SizeHorCursor);
    }
    Qt::Edges edges() const { return edges_; }

protected:
    void paintEvent(QPaintEvent*) override {
        const bool active = window_->isActiveWindow();
        QPainter(this).fillRect(rect(),
                                active ? QColor(0x4A, 0x4A, 0x4A) : QColor(0xAA, 0xAA, 0xAA));
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && onPress_)
            onPress_(edges_);
    }

private:
    QWidget* window_;
    Qt::Edges edges_;
    std::function<void(Qt::Edges)> onPress_;
};

} // namespace

TMainWindowChrome::TMainWindowChrome(QWidget* window, skin::TImage* sizeGrip,
                                     skin::TTarviMouseImage3State* maximizeButton)
    : window_(window), grip_(sizeGrip), maximize_(maximizeButton) {
    // The borders draw over the window's outermost pixels, as the frame does around a client
    // area that starts inside it.
    addEdge("Frame_Top", Qt::TopEdge);
    if (!settings::IsWindows10OrLater) {
        addEdge("Frame_Left", Qt::LeftEdge);
        addEdge("Frame_Right", Qt::RightEdge);
        addEdge("Frame_Bottom", Qt::BottomEdge);
    }
    grip_->OnMouseDown = [this](QObject*, Qt::MouseButton button, Qt::KeyboardModifiers, int, int) {
        if (button == Qt::LeftButton && !window_->isMaximized())
            beginResize(Qt::BottomEdge | Qt::RightEdge);
    };
}

void TMainWindowChrome::addEdge(const char* name, Qt::Edges side) {
    edges_.push_back(
        skin::Named(new TFrameEdge(window_, side, [this](Qt::Edges s) { beginResize(s); }), name));
}

void TMainWindowChrome::MoveWindowBy(QWidget* source) {
    source->installEventFilter(this);
}

bool TMainWindowChrome::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        beginMove();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void TMainWindowChrome::Layout() {
    const int w = window_->width();
    const int h = window_->height();
    for (QWidget* e : edges_) {
        switch (static_cast<TFrameEdge*>(e)->edges()) {
        case Qt::TopEdge:
            e->setGeometry(0, 0, w, kTopBorder);
            break;
        case Qt::LeftEdge:
            e->setGeometry(0, 0, kLeftBorder, h);
            break;
        case Qt::RightEdge:
            e->setGeometry(w - kRightBottomBorder, 0, kRightBottomBorder, h);
            break;
        default:
            e->setGeometry(0, h - kRightBottomBorder, w, kRightBottomBorder);
            break;
        }
    }
    grip_->move(w - grip_->width() - 2, h - grip_->height() - 2);
}

void TMainWindowChrome::RaiseEdges() {
    for (QWidget* e : edges_)
        e->raise();
}

void TMainWindowChrome::ShowActivation() {
    for (QWidget* e : edges_)
        e->update();
}

void TMainWindowChrome::ToggleMaximized() {
    if (window_->isMaximized())
        window_->showNormal();
    else
        window_->showMaximized();
    platform::ProcessMessages(true);
}

namespace {

// The copy of the size grip a module shows in its bottom bar.
QWidget* findGripCopy(QWidget* module) {
    if (!module)
        return nullptr;
    for (skin::TImage* image : module->findChildren<skin::TImage*>())
        if (image->testAttribute(Qt::WA_SetCursor) &&
            image->cursor().shape() == Qt::SizeFDiagCursor)
            return image;
    return nullptr;
}

} // namespace

void TMainWindowChrome::ShowWindowState(QWidget* currentModule) {
    const bool maximized = window_->isMaximized();
    grip_->move(window_->width() - grip_->width() - 2, window_->height() - grip_->height() - 2);
    grip_->setVisible(!maximized);
    grip_->raise();
    if (QWidget* copy = findGripCopy(currentModule))
        copy->setVisible(!maximized);

    // A maximised window has no frame to show, and no border to resize from.
    for (QWidget* e : edges_)
        e->setVisible(!maximized);

    const QImage normal = HeaderButtonPicture(maximized ? QStringLiteral("but_unmax_normal.png")
                                                        : QStringLiteral("but_maximize.png"));
    maximize_->SetPicture_Highlight(
        HeaderButtonPicture(maximized ? QStringLiteral("but_unmax_hover.png")
                                      : QStringLiteral("but_maximize_hover.png")));
    maximize_->SetPicture_Pressed(normal);
    maximize_->SetPicture_Normal(normal);
    maximize_->setEnabled(true);
}

void TMainWindowChrome::beginMove() {
    if (QWindow* window = window_->windowHandle(); window && window->startSystemMove())
        return;
    drag_ = {true, {}, QCursor::pos(), window_->geometry()};
    window_->grabMouse();
}

void TMainWindowChrome::beginResize(Qt::Edges edges) {
    if (window_->isMaximized())
        return;
    if (QWindow* window = window_->windowHandle(); window && window->startSystemResize(edges))
        return;
    drag_ = {true, edges, QCursor::pos(), window_->geometry()};
    window_->grabMouse();
}

bool TMainWindowChrome::DragTo(QMouseEvent* event) {
    if (!drag_.active)
        return false;
    const QPoint delta = event->globalPosition().toPoint() - drag_.pressGlobal;
    QRect r = drag_.startGeometry;
    if (!drag_.edges) {
        window_->move(r.topLeft() + delta);
        return true;
    }
    const int minW = window_->minimumWidth(), minH = window_->minimumHeight();
    const int maxH = window_->maximumHeight();
    if (drag_.edges & Qt::RightEdge)
        r.setWidth(std::max(minW, r.width() + delta.x()));
    if (drag_.edges & Qt::BottomEdge)
        r.setHeight(std::clamp(r.height() + delta.y(), minH, maxH));
    if (drag_.edges & Qt::LeftEdge) {
        const int width = std::max(minW, r.width() - delta.x());
        r.setLeft(r.right() - width + 1);
    }
    if (drag_.edges & Qt::TopEdge) {
        const int height = std::clamp(r.height() - delta.y(), minH, maxH);
        r.setTop(r.bottom() - height + 1);
    }
    window_->setGeometry(r);
    return true;
}

bool TMainWindowChrome::EndDrag() {
    if (!drag_.active)
        return false;
    drag_.active = false;
    window_->releaseMouse();
    return true;
}

} // namespace app
