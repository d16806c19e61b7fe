#pragma once

// A temporary program folder for skin tests: ProgramFolder points at it (as a Windows path) for
// the life of the object, with helpers to lay out skins below it.

#include "PngEncoder.h"

#include "platform/Hive.h"
#include "platform/Paths.h"
#include "platform/ProgramFolder.h"
#include "skin/stripeskins.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <ostream>

#include <gtest/gtest.h>

class TempProgramFolder {
public:
    TempProgramFolder() {
        previous_ = platform::ProgramFolder();
        platform::SetProgramFolder(Windows(""));
        skin::SetSkinFolder(skin::SkinsFolder() + QStringLiteral("default"));
    }
    ~TempProgramFolder() {
        platform::SetProgramFolder(previous_);
        skin::SetSkinFolder(skin::SkinsFolder() + QStringLiteral("default"));
    }

    // Native path below the folder.
    QString Native(const QString& relative) const { return dir_.path() + "/" + relative; }
    // Windows path below the folder ("" for the folder itself).
    QString Windows(const QString& relative) const {
        QString native = relative.isEmpty() ? dir_.path() : Native(relative);
        return platform::WindowsPath(native.toStdString());
    }

    void Write(const QString& relative, const QByteArray& bytes) const {
        const QString path = Native(relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    void MakeFolder(const QString& relative) const { QDir().mkpath(Native(relative)); }

private:
    QTemporaryDir dir_;
    QString previous_;
};

// An RGBA stripe PNG whose pixels come from `pixel(x, y)` as 0xAARRGGBB.
template <typename F> QByteArray StripePng(uint32_t w, uint32_t h, F pixel) {
    pngtest::Image img;
    img.width = w;
    img.height = h;
    img.colorType = 6;
    img.depth = 8;
    img.samples.reserve(size_t(w) * h * 4);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const uint32_t c = pixel(x, y);
            img.samples.push_back(uint16_t((c >> 16) & 0xFF));
            img.samples.push_back(uint16_t((c >> 8) & 0xFF));
            img.samples.push_back(uint16_t(c & 0xFF));
            img.samples.push_back(uint16_t(c >> 24));
        }
    return pngtest::Encode(img);
}

// A machine hive of its own: ORBISCA_HIVE points into a temporary folder and the process-wide
// hive reopens there.
class TempSkinHive {
public:
    TempSkinHive() {
        ::setenv(platform::kHiveEnvironmentVariable,
                 dir_.filePath(QStringLiteral("machine.hive")).toStdString().c_str(), 1);
        platform::CloseMachineHive();
    }
    ~TempSkinHive() { platform::CloseMachineHive(); }

private:
    QTemporaryDir dir_;
};

inline std::ostream& operator<<(std::ostream& os, const QString& s) { return os << s.toStdString(); }
