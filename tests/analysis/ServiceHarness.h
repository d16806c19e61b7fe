#pragma once

// Runs the engine against the test service: the program folder points at the folder that holds
// the test service as undelete.so, and the test keeps its own handle on the library to load
// fixtures and read the call log.

#include "analysis/nogui_Orbisca.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/ProgramFolder.h"
#include "platform/Pump.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <QStringList>

#include <string>

struct RecordedBox {
    QString text;
    QString caption;
    unsigned type;
};

class ServiceHarness : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetProgramFolder(platform::WindowsPath(TESTSERVICE_DIR));
        lib_ = dlopen(TESTSERVICE_DIR "/undelete.so", RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(lib_, nullptr) << dlerror();
        load_ = reinterpret_cast<void (*)(const char*)>(dlsym(lib_, "TestService_Load"));
        log_ = reinterpret_cast<const char* (*)()>(dlsym(lib_, "TestService_Log"));
        live_ = reinterpret_cast<int (*)()>(dlsym(lib_, "TestService_LiveObjects"));
        entryCalls_ = reinterpret_cast<long (*)()>(dlsym(lib_, "TestService_EntryCalls"));
        ASSERT_TRUE(load_ && log_ && live_ && entryCalls_);
        platform::SetMessageBoxHandler([this](const QString& t, const QString& c, unsigned type) {
            boxes.push_back({t, c, type});
            return platform::IDOK;
        });
    }
    void TearDown() override {
        engine.reset();
        platform::SetMessageBoxHandler({});
        platform::SetPumpObserver(nullptr, nullptr);
        if (lib_)
            dlclose(lib_);
    }

    // Loads a fixture and analyses drive C:\ with a fresh engine.
    void scan(const char* fixture, const QString& drive = QStringLiteral("C:\\")) {
        load_(fixture);
        engine = std::make_unique<analysis::TOrbisca>(&tree);
        engine->ProgressBar = progressBar;
        engine->DO_Drive(drive);
    }

    // Loads another fixture and analyses it again with the same engine.
    void rescan(const char* fixture, const QString& drive = QStringLiteral("C:\\")) {
        load_(fixture);
        engine->DO_Drive(drive);
    }

    std::string serviceLog() const { return log_(); }
    int liveServiceObjects() const { return live_(); }
    long entryCalls() const { return entryCalls_(); }

    // One line per node in pre-order: path|size|folders|files|isFolder.
    QStringList dump() const {
        QStringList out;
        for (analysis::PNode n = tree.GetFirst(); n != analysis::PNode::None; n = tree.GetNext(n))
            out << QStringLiteral("%1|%2|%3|%4|%5")
                       .arg(tree.Path(n))
                       .arg(tree.Size(n))
                       .arg(tree.FolderCount(n))
                       .arg(tree.FileCount(n))
                       .arg(tree.IsFolder(n) ? 1 : 0);
        return out;
    }

    analysis::TAnalysisTree tree;
    std::unique_ptr<analysis::TOrbisca> engine;
    analysis::TProgressBar* progressBar = nullptr;
    std::vector<RecordedBox> boxes;

private:
    void* lib_ = nullptr;
    void (*load_)(const char*) = nullptr;
    const char* (*log_)() = nullptr;
    int (*live_)() = nullptr;
    long (*entryCalls_)() = nullptr;
};
