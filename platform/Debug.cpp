#include "platform/Debug.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace platform {
namespace {

std::mutex g_mutex;
DebugCapture* g_capture = nullptr;

bool debugToStderr() {
    static const bool enabled = [] {
        const char* v = std::getenv("ORBISCA_DEBUG");
        return v && *v && std::strcmp(v, "0") != 0;
    }();
    return enabled;
}

} // namespace

void OutputDebugStringW(const QString& line) {
    std::lock_guard lock(g_mutex);
    if (g_capture)
        g_capture->lines_.append(line);
    if (debugToStderr()) {
        const QByteArray text = line.toUtf8();
        std::fprintf(stderr, "[debug] %s\n", text.constData());
    }
}

DebugCapture::DebugCapture() {
    std::lock_guard lock(g_mutex);
    previous_ = g_capture;
    g_capture = this;
}

DebugCapture::~DebugCapture() {
    std::lock_guard lock(g_mutex);
    g_capture = previous_;
}

QStringList DebugCapture::lines() const {
    std::lock_guard lock(g_mutex);
    return lines_;
}

bool DebugCapture::contains(const QString& fragment) const {
    std::lock_guard lock(g_mutex);
    for (const QString& l : lines_)
        if (l.contains(fragment))
            return true;
    return false;
}

} // namespace platform
