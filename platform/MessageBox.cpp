#include "platform/MessageBox.h"

#include "platform/AppInfo.h"
#include "platform/Debug.h"

#include <cstdio>

namespace platform {
namespace {

MessageBoxHandler& handler() {
    static MessageBoxHandler h;
    return h;
}

MessageBoxPresenter& presenter() {
    static MessageBoxPresenter p;
    return p;
}

MessageBoxButtonTexts& buttonTexts() {
    static MessageBoxButtonTexts texts;
    return texts;
}

// No GUI: the box becomes one line on stderr and is answered with its default button.
int writeToStderr(const QString& text, const QString& caption, unsigned type) {
    std::fprintf(stderr, "%s: %s\n", caption.toUtf8().constData(), text.toUtf8().constData());
    return (type & 0x0F) == MB_YESNO ? IDNO : ((type & 0x0F) == MB_OKCANCEL ? IDCANCEL : IDOK);
}

} // namespace

int MessageBoxW(const QString& text, const QString& caption, unsigned type) {
    return MessageBoxW(nullptr, text, caption, type);
}

int MessageBoxW(QWidget* owner, const QString& text, const QString& caption, unsigned type) {
    OutputDebugStringW(QStringLiteral("MessageBox: ") + text);
    if (handler())
        return handler()(text, caption, type);
    if (presenter())
        if (const std::optional<int> answer = presenter()(owner, text, caption, type))
            return *answer;
    return writeToStderr(text, caption, type);
}

void ErrorBox(const QString& text) { MessageBoxW(text, ApplicationTitle(), MB_ICONSTOP | MB_OK); }

void SetMessageBoxButtonTexts(const MessageBoxButtonTexts& texts) { buttonTexts() = texts; }

const MessageBoxButtonTexts& MessageBoxButtonCaptions() { return buttonTexts(); }

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler h) {
    MessageBoxHandler old = std::move(handler());
    handler() = std::move(h);
    return old;
}

void SetMessageBoxPresenter(MessageBoxPresenter p) { presenter() = std::move(p); }

} // namespace platform
