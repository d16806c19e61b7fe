#pragma once

// What the window tests of the options dialog, the about box and the web links share: a program
// folder of their own on drive P: holding copies of the shipped skins, translations, flags and
// help pages; a temporary machine hive; a main window stand-in that records its dialogs; a
// desktop stand-in that records what would be opened; and finding a window's controls by name.

#include "i18n/LanguageSelection.h"
#include "i18n/nLang3.h"
#include "platform/Debug.h"
#include "platform/Hive.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/ProgramFolder.h"
#include "platform/Shell.h"
#include "platform/WinReg.h"
#include "skin/MainHost.h"
#include "skin/SkinNavi.h"
#include "skin/ToolTips.h"
#include "skin/stripeskins.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace formstest {

inline void CopyTree(const QString& from, const QString& to) {
    QDir().mkpath(to);
    QDirIterator it(from, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + source.mid(from.size());
        if (it.fileInfo().isDir())
            QDir().mkpath(target);
        else
            QFile::copy(source, target);
    }
}

// A control of a window by its component name (objectName); a missing one fails the test.
template <class Control> Control* Find(const QObject* window, const char* name) {
    auto* control = window->findChild<Control*>(QLatin1String(name));
    if (!control)
        ADD_FAILURE() << "no control " << name << " in " << window->objectName().toStdString();
    return control;
}

// The main window as the dialogs see it: answers the yes/no question with `answer` and records
// every question and message.
class TRecordingHost : public skin::TMainHost {
public:
    QWidget* MainWindow() override { return nullptr; }
    void EnableDisable_Modulwechsel(bool) override {}
    void Show_Warning(const QString& text) override { warnings.append(text); }
    void Show_Info(const QString& text) override { infos.append(text); }
    int AskYesOrNo(const QString& text, int defaultAnswer) override {
        questions.append(text);
        defaults.append(defaultAnswer);
        return answer;
    }
    void ClickOptionsMenuItem() override {}
    void SetCurrentModuleForm_OnOptionsChanged(std::function<void()>) override {}
    void INIT_INTERNETMENU() override {}
    void BringToFront() override {}
    const skin::TImage* SizeGrip() const override { return nullptr; }
    QString CurrentModuleClassName() const override { return module; }

    int answer = platform::IDNO;
    QString module;
    QStringList questions, infos, warnings;
    QList<int> defaults;
};

// Program folder P:, temporary hive, fresh localisation, skin, tooltip and navigation state, the
// default skin's stripe, a recording desktop and recording message boxes.
class FormsFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.isValid());
        for (const char* sub : {"skins", "translation", "Flags", "help"})
            CopyTree(QStringLiteral(ORBISCA_ASSETS "/") + QLatin1String(sub),
                     folder_.path() + u'/' + QLatin1String(sub));
        ::setenv(platform::kHiveEnvironmentVariable,
                 hive_.filePath(QStringLiteral("machine.hive")).toStdString().c_str(), 1);
        platform::CloseMachineHive();
        platform::SetDriveRoot(u'P', folder_.path().toStdString());
        previousFolder_ = platform::ProgramFolder();
        platform::SetProgramFolder(QStringLiteral("P:"));
        skin::SetSkinFolder(QStringLiteral("P:\\skins\\default"));
        i18n::ResetLocalisationState();
        skin::ResetNaviOverlays();
        skin::ToolTips().Reset();
        skin::SetCurrentStripe(&sharedStripe());
        previousShell_ = platform::SetShellHandler([this](const platform::ShellRequest& r) {
            opened.append(r.url);
            return true;
        });
        previousBox_ = platform::SetMessageBoxHandler(
            [this](const QString& text, const QString&, unsigned) {
                boxes.append(text);
                return boxAnswer;
            });
    }

    void TearDown() override {
        skin::SetMainHost(nullptr);
        platform::SetMessageBoxHandler(previousBox_);
        platform::SetShellHandler(previousShell_);
        skin::SetCurrentStripe(nullptr);
        skin::ToolTips().Reset();
        skin::ResetNaviOverlays();
        i18n::ResetLocalisationState();
        skin::SetSkinFolder(skin::SkinsFolder() + QStringLiteral("default"));
        platform::SetProgramFolder(previousFolder_);
        platform::SetDriveRoot(u'P', std::string());
        platform::CloseMachineHive();
    }

    // Chooses the language as start-up does for a user locale ("de_DE.UTF-8", "en_US.UTF-8")
    // and loads that translation.
    void StartInLanguage(const char* linuxLocale) {
        const QString name = QLatin1String(linuxLocale);
        platform::FakeLocale locale(name, name);
        i18n::DetectLanguage();
        i18n::LOAD_INTERNAL_ONLY(QStringLiteral("P:\\translation"), i18n::CurrentTranslationName());
    }

    QString Native(const QString& relative) const { return folder_.path() + u'/' + relative; }
    void WriteFile(const QString& relative, const QByteArray& bytes) const {
        QDir().mkpath(QFileInfo(Native(relative)).path());
        QFile f(Native(relative));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray ReadFile(const QString& relative) const {
        QFile f(Native(relative));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // The default skin's stripe, decoded once for all tests (it never changes).
    static skin::TStripeSkinner& sharedStripe() {
        static const std::unique_ptr<skin::TStripeSkinner> stripe = skin::CreateSkinStripe();
        return *stripe;
    }

    QStringList opened; // URLs handed to the desktop
    QStringList boxes;  // texts of message boxes
    int boxAnswer = platform::IDOK;
    TRecordingHost host;

private:
    QTemporaryDir folder_;
    QTemporaryDir hive_;
    QString previousFolder_;
    platform::ShellHandler previousShell_;
    platform::MessageBoxHandler previousBox_;
};

// The stored type of a value, or 0 (REG_NONE) when it is missing.
inline platform::DWORD ValueType(platform::HKEY root, const QString& path, const QString& name) {
    platform::HKEY key = nullptr;
    if (platform::RegOpenKeyExW(root, path, 0, platform::KEY_READ, &key) != 0)
        return 0;
    platform::DWORD type = 0, size = 0;
    platform::RegQueryValueExW(key, name, &type, nullptr, &size);
    platform::RegCloseKey(key);
    return type;
}

} // namespace formstest
