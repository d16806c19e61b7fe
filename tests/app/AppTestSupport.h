#pragma once

// Shared pieces of the application-shell tests: the shipped assets as the program folder, a
// hive of its own, waiting with the event loop running, and answering modal dialogs.

#include "i18n/nLang3.h"
#include "platform/DriveTable.h"
#include "platform/Hive.h"
#include "platform/ProgramFolder.h"
#include "skin/stripeskins.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <ostream>

inline std::ostream& operator<<(std::ostream& os, const QString& s) { return os << s.toStdString(); }

namespace apptest {

// A control of a window by its component name (objectName); a missing one fails the test.
template <class Control> Control* Find(const QObject* window, const char* name) {
    auto* control = window->findChild<Control*>(QLatin1String(name));
    if (!control)
        ADD_FAILURE() << "no control " << name << " in " << window->objectName().toStdString();
    return control;
}

// Runs the event loop until `done` answers true or the time is up; true when it did.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 3000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return true;
}

// Runs the event loop for a while.
inline void PumpFor(int ms) {
    WaitUntil([] { return false; }, ms);
}

// Calls `act` with the next modal dialog as soon as one is open (the test then answers it).
inline void WhenModalOpens(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act = std::move(act)] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            act(modal);
        }
    });
    timer->start();
}

// The shipped assets as program folder (on drive S:) and a machine hive of its own.
class ShippedProgram : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(hive_.isValid());
        previousHive_ = qgetenv(platform::kHiveEnvironmentVariable);
        qputenv(platform::kHiveEnvironmentVariable, (hive_.path() + "/machine.hive").toUtf8());
        platform::CloseMachineHive();
        i18n::ResetLocalisationState();
        platform::SetDriveRoot(u'S', ORBISCA_ASSETS);
        platform::SetProgramFolder(QStringLiteral("S:"));
        skin::SetSkinFolder(skin::SkinsFolder() + QStringLiteral("default"));
    }
    void TearDown() override {
        i18n::ResetLocalisationState();
        platform::SetDriveRoot(u'S', std::string());
        qputenv(platform::kHiveEnvironmentVariable, previousHive_);
        platform::CloseMachineHive();
    }
    QString HivePath() const { return hive_.path() + "/machine.hive"; }

    QTemporaryDir hive_;
    QByteArray previousHive_;
};

} // namespace apptest
