#pragma once

// The debug channel, our stand-in for OutputDebugStringW. Like a process without an attached
// debugger it is silent by default; ORBISCA_DEBUG=1 in the environment sends every line to
// stderr, and tests capture the lines with DebugCapture.

#include <QString>
#include <QStringList>

namespace platform {

void OutputDebugStringW(const QString& line);

// Collects every debug line written while it is alive (innermost capture wins).
class DebugCapture {
public:
    DebugCapture();
    ~DebugCapture();
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    QStringList lines() const;
    bool contains(const QString& fragment) const;

private:
    friend void OutputDebugStringW(const QString&);
    DebugCapture* previous_;
    QStringList lines_;
};

} // namespace platform
