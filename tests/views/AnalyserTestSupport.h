#pragma once

// The analyser window on the sample drive M:, for the window's tests.

#include "FormsTestSupport.h"

#include "settings/FormatGroups.h"
#include "skin/HTMLabel.h"
#include "skin/LumoButton2.h"
#include "views/FormORB.h"
#include "views/VirtualDrawTree.h"

#include <QRegularExpression>
#include <QStringList>

#include <memory>
#include <string>

namespace forms_test {

class AnalyserWindowTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        if (HasFatalFailure())
            return;
        m_ = MapDrive(u'M');
        WriteSampleDrive(m_);
    }
    void TearDown() override {
        closeWindow();
        WindowTest::TearDown();
    }
    void closeWindow() {
        window.reset();
        settings::ForgetProgramFormatGroups();
    }

    views::TForm_ORB& open() {
        window = std::make_unique<views::TForm_ORB>(nullptr, &host);
        window->resize(1122, 680);
        window->show();
        return *window;
    }
    views::TForm_ORB& openAndAnalyse() {
        open();
        Find<skin::TLumoButton2>(window.get(), "LumoButton_Analyse")->Click();
        return *window;
    }
    views::TVirtualDrawTree& list() const {
        return *Find<views::TVirtualDrawTree>(window.get(), "VirtualDrawTree_ORB_QO16");
    }
    // The paths of the visible rows, in list order.
    QStringList rows() const {
        QStringList out;
        for (int i = 0; i < list().VisibleRowCount(); ++i)
            out << list().RowPath(list().VisibleRow(i));
        return out;
    }
    // The status text without the block that spaces its lines.
    QString status() const {
        QString t = Find<skin::THTMLabel>(window.get(), "HTMLabel_Status")->HTMLText();
        t.remove(QRegularExpression(QStringLiteral("^<div[^>]*>")));
        t.remove(QRegularExpression(QStringLiteral("</div>$")));
        return t;
    }

    std::string m_;
    std::unique_ptr<views::TForm_ORB> window;
};

} // namespace forms_test
