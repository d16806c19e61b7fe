#pragma once

// What the window tests share: fixture drives (letters mapped to temporary folders, every other
// letter removed), a program folder on a RAM disk (so it is never offered as a drive) that
// reaches the real snapshot service, skins and translations of the build, a main-window host
// that records what the window asks of it, and helpers that wait for the event loop.

#include "i18n/nLang3.h"
#include "platform/CommandLine.h"
#include "platform/DriveTable.h"
#include "platform/Hive.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/ProgramFolder.h"
#include "platform/Pump.h"
#include "skin/MainHost.h"
#include "skin/stripeskins.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace forms_test {

// A control of a window by its component name (objectName); a missing one fails the test.
template <class Control> Control* Find(const QObject* window, const char* name) {
    auto* control = window->findChild<Control*>(QLatin1String(name));
    if (!control)
        ADD_FAILURE() << "no control " << name << " in " << window->objectName().toStdString();
    return control;
}

// Runs the event loop until pred holds or the time is up.
inline bool WaitFor(const std::function<bool()>& pred, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        ::usleep(1000);
    }
    return true;
}

// Runs the event loop for a while (for checks that something does not happen).
inline void Idle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        ::usleep(1000);
    }
}

// Acts on the next modal dialog of type T as soon as it is shown (from inside its exec()).
template <class T> void OnNextModal(std::function<void(T*)> act) {
    auto* poll = new QTimer(QCoreApplication::instance());
    poll->setObjectName(QStringLiteral("modal-watch"));
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            act(dialog);
        }
    });
    poll->start();
}

// Ends every watch that has not acted yet.
inline void StopModalWatchers() {
    for (QTimer* t :
         QCoreApplication::instance()->findChildren<QTimer*>(QStringLiteral("modal-watch")))
        delete t;
}

class RecordingHost : public skin::TMainHost {
public:
    QWidget* MainWindow() override { return nullptr; }
    void EnableDisable_Modulwechsel(bool enable) override { switches << enable; }
    void Show_Warning(const QString& text) override { warnings << text; }
    void Show_Info(const QString& text) override { infos << text; }
    int AskYesOrNo(const QString&, int defaultAnswer) override { return defaultAnswer; }
    void ClickOptionsMenuItem() override {
        ++optionsClicks;
        if (onOptionsChanged)
            onOptionsChanged();
    }
    void SetCurrentModuleForm_OnOptionsChanged(std::function<void()> handler) override {
        onOptionsChanged = std::move(handler);
    }
    void INIT_INTERNETMENU() override { ++internetMenus; }
    void BringToFront() override { ++fronts; }
    const skin::TImage* SizeGrip() const override { return nullptr; }
    QString CurrentModuleClassName() const override { return QStringLiteral("TForm_ORB"); }

    QList<bool> switches;
    QStringList warnings, infos;
    int optionsClicks = 0, internetMenus = 0, fronts = 0;
    std::function<void()> onOptionsChanged;
};

// The fixture of every window test.
// The files and bytes of WindowTest::WriteSampleDrive.
inline constexpr uint32_t kSampleFiles = 11;
inline constexpr int64_t kSampleBytes = 5282;

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(drives_.isValid());
        for (const platform::DriveEntry& d : platform::Drives())
            saved_.push_back({d.letter, d.root});
        for (char16_t l = u'A'; l <= u'Z'; ++l)
            platform::SetDriveRoot(l, "");
        // The program folder lies on a RAM disk and links to the build's program folder.
        prog_ = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/orbisca-forms-XXXXXX"));
        ASSERT_TRUE(prog_->isValid());
        const QString bin = QStringLiteral(ORBISCA_BIN_DIR);
        for (const char* entry : {"undelete.so", "skins", "translation", "Flags", "data"})
            QFile::link(bin + u'/' + QLatin1String(entry),
                        prog_->path() + u'/' + QLatin1String(entry));
        platform::SetDriveRoot(u'R', prog_->path().toStdString());
        platform::SetProgramFolder(QStringLiteral("R:"));
        skin::SetSkinFolder(skin::SkinsFolder() + QStringLiteral("default"));
        hive_ = std::make_unique<QTemporaryDir>();
        ::setenv(platform::kHiveEnvironmentVariable,
                 hive_->filePath(QStringLiteral("machine.hive")).toStdString().c_str(), 1);
        platform::CloseMachineHive();
        i18n::ResetLocalisationState();
        platform::SetProgramArguments({QStringLiteral("-NOVERSION")});
        platform::SetMessageBoxHandler([this](const QString& text, const QString&, unsigned) {
            boxes << text;
            return platform::IDOK;
        });
    }

    void TearDown() override {
        if (testService_)
            dlclose(testService_);
        StopModalWatchers();
        platform::SetMessageBoxHandler({});
        platform::SetPumpObserver(nullptr, nullptr);
        platform::SetProgramArguments({});
        i18n::ResetLocalisationState();
        platform::CloseMachineHive();
        for (char16_t l = u'A'; l <= u'Z'; ++l)
            platform::SetDriveRoot(l, "");
        for (const auto& [letter, root] : saved_)
            platform::SetDriveRoot(letter, root);
    }

    // A fixture drive: letter mapped to a new temporary folder; returns its native path.
    std::string MapDrive(char16_t letter) {
        const QString path = drives_.path() + u'/' + QChar(letter);
        QDir().mkpath(path);
        platform::SetDriveRoot(letter, path.toStdString());
        return path.toStdString();
    }
    // A file of `size` bytes below a native folder (folders made as needed).
    static void WriteFile(const std::string& folder, const QString& relative, qint64 size) {
        const QString path = QString::fromStdString(folder) + u'/' + relative;
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(size, 'x'));
    }

    // The window tests' sample drive below a native folder: kSampleFiles files in four folders,
    // kSampleBytes bytes.
    //   video: a.mp4 1000, b.MKV 3000   music: s.mp3 500, t.Ogg 250, deep/z.mp3 20
    //   docs: r.txt 100, x.doc 40       root: noext 7, .profile 5, arch.tar.gz 60, pic.JPG 300
    static void WriteSampleDrive(const std::string& root) {
        for (const auto& [path, size] :
             std::initializer_list<std::pair<const char*, qint64>>{{"video/a.mp4", 1000},
                                                                   {"video/b.MKV", 3000},
                                                                   {"music/s.mp3", 500},
                                                                   {"music/t.Ogg", 250},
                                                                   {"music/deep/z.mp3", 20},
                                                                   {"docs/r.txt", 100},
                                                                   {"docs/x.doc", 40},
                                                                   {"noext", 7},
                                                                   {".profile", 5},
                                                                   {"arch.tar.gz", 60},
                                                                   {"pic.JPG", 300}})
            WriteFile(root, QString::fromLatin1(path), size);
    }

    // The program folder's snapshot service becomes the test service, which serves the record
    // graph of a fixture text for any drive; returns its loader of fixtures.
    void (*UseTestService())(const char*) {
        const QString link = prog_->path() + QStringLiteral("/undelete.so");
        QFile::remove(link);
        QFile::link(QStringLiteral(TESTSERVICE_DIR "/undelete.so"), link);
        testService_ = dlopen(TESTSERVICE_DIR "/undelete.so", RTLD_NOW | RTLD_LOCAL);
        return testService_ ? reinterpret_cast<void (*)(const char*)>(
                                  dlsym(testService_, "TestService_Load"))
                            : nullptr;
    }

    RecordingHost host;
    QStringList boxes;

private:
    void* testService_ = nullptr;
    QTemporaryDir drives_;
    std::unique_ptr<QTemporaryDir> prog_;
    std::unique_ptr<QTemporaryDir> hive_;
    std::vector<std::pair<char16_t, std::string>> saved_;
};

} // namespace forms_test
