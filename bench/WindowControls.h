#pragma once

// Shared by the window benchmarks: a control of a window by its component name (objectName).

#include <QObject>

#include <cstdio>
#include <cstdlib>

namespace bench {

// The control, or the end of the run when the window has none of that name and type.
template <class Control> Control* Find(const QObject* window, const char* name) {
    auto* control = window->findChild<Control*>(QLatin1String(name));
    if (!control) {
        std::fprintf(stderr, "no control %s in %s\n", name, qPrintable(window->objectName()));
        std::abort();
    }
    return control;
}

} // namespace bench
