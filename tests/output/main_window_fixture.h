#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <memory>

#include "app/form1.h"
#include "app/form_widgets.h"
#include "app/gui_test_support.h"
#include "output/form3.h"
#include "output/window_capture.h"
#include "support/test_support.h"

namespace torvix::test {

// The main window on the office machine file, shown and started, its end recorded instead of
// leaving the event loop; the capture waits shortened. Files go to a temporary folder.
class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(workDir.isValid());
        savedWait = 画面キャプチャ::waitMs();
        画面キャプチャ::setWaitMs(20);
        machine = loadMachineFile(dataPath("machines/office_pc.json"), false);
        Form1::Options options;
        options.exitProgram = [this] { ++exits; };
        form = std::make_unique<Form1>(machine, options);
        form->showCentred();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        ASSERT_TRUE(waitFor([this] { return form->startupRuns() >= 1; }));
    }
    void TearDown() override {
        if (Form3* open = Form3::instance()) delete open;
        form.reset();
        画面キャプチャ::setWaitMs(savedWait);
    }

    QPushButton* mainButton(const QString& name) { return form->widgets().get<QPushButton>(name); }
    // "この画面の印刷" as the user clicks it; the dialog it opens or brings forward.
    Form3* pressPrintButton() {
        QTest::mouseClick(mainButton(QStringLiteral("Command14")), Qt::LeftButton);
        return Form3::instance();
    }

    TemporaryCurrentDirectory workDir;
    int savedWait = 500;
    Machine machine;
    std::unique_ptr<Form1> form;
    int exits = 0;
};

}  // namespace torvix::test
