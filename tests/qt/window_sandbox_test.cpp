// A whole upgrade through the window, against the sandbox and its fixtures.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include "capture/capture_run.h"
#include "e2e_support.h"
#include "fake_host.h"
#include "shell/qt/main_window.h"

namespace qtui {
namespace {

TEST(WindowAgainstTheSandbox, AFullUpgradeEndsWithTheSuccessBoxAndUnloads) {
    e2e::Environment env;
    {
        app::MainForm form;
        env.pointAt(form, "reference");
        testing_support::FakeHost host;
        ASSERT_EQ(capture::runCapture(form, host, env.openers()), app::OperationOutcome::Completed);
    }
    MainWindow window(env.home().path(), env.openers());
    std::vector<std::string> boxes;
    window.host().setMessageBoxHandler([&](const std::string& text, int flags, const std::string&) {
        boxes.push_back(text);
        return (flags & 7) == 4 ? 6 : 1;
    });
    env.pointAt(window.form(), "target");
    window.syncFromForm();
    window.show();
    QTest::mouseClick(window.findChild<QPushButton*>("Command2"), Qt::LeftButton);
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back(), "As definições da base de dados foram actualizadas com sucesso!");
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.isBusy());
}

}  // namespace
}  // namespace qtui

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
