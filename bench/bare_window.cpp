// The peer of the start-up benchmark: the least a Qt Widgets program does to show a window.
// It shows one empty window of the main window's size and, once the window has been painted and
// the event loop has nothing left to do, writes "shown and idle" to stderr and waits.

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

class Window : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override {
        if (painted_)
            return;
        painted_ = true;
        QTimer::singleShot(0, [] {
            std::fprintf(stderr, "shown and idle\n");
            std::fflush(stderr);
        });
    }

private:
    bool painted_ = false;
};

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    Window window;
    window.resize(1122, 737);
    window.show();
    return QApplication::exec();
}
