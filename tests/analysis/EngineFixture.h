#pragma once

// An engine over a tree of the test's own, without a snapshot service: the count passes,
// finds and removals need none. Message boxes answer at once.

#include "analysis/AnalysisTree.h"
#include "analysis/nogui_Orbisca.h"
#include "platform/MessageBox.h"
#include "platform/ProgramFolder.h"

#include <gtest/gtest.h>

#include <memory>

class EngineFixture : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetMessageBoxHandler([](const QString&, const QString&, unsigned) { return 1; });
        platform::SetProgramFolder(QStringLiteral("C:\\nonexistent-program-folder"));
        engine = std::make_unique<analysis::TOrbisca>(&tree);
    }
    void TearDown() override { platform::SetMessageBoxHandler({}); }

    analysis::TAnalysisTree tree;
    std::unique_ptr<analysis::TOrbisca> engine;
};
