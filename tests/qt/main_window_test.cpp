#include "shell/qt/main_window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <fstream>

#include "capture/capture_tables.h"
#include "db/ado_types.h"
#include "fake_connection.h"
#include "shell/qt/screenshot.h"

namespace qtui {
namespace {

using testing_support::FakeConnection;

struct RecordedBox {
    std::string text;
    int flags;
    std::string title;
};

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() {
        folder = std::filesystem::temp_directory_path() /
                 ("sqlupgrade-qt-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder);
        target.onQuery("SELECT TOP 1 * FROM tbVersao", {{"upgrading", db::ado::kInteger}},
                       {{db::Value::integer(0)}});
        store.onQuery("MIN(tabela) AS tabela FROM tbObjects", {{"tabela", db::ado::kVarWChar}},
                      {{db::Value::text("tbA")}});
        window = std::make_unique<MainWindow>(
            folder, app::ConnectionOpeners{[this](const db::ServerSettings&) {
                                                 ++serverOpens;
                                                 return target.handle();
                                             },
                                             [this] { return store.handle(); }});
        window->host().setMessageBoxHandler([this](const std::string& text, int flags,
                                                   const std::string& title) {
            boxes.push_back({text, flags, title});
            return (flags & 7) == 4 ? 6 : 1;
        });
    }
    ~MainWindowTest() override {
        window.reset();
        std::filesystem::remove_all(folder);
    }

    template <typename T>
    T* child(const char* name) {
        T* widget = window->findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    std::filesystem::path folder;
    FakeConnection target;
    FakeConnection store;
    int serverOpens = 0;
    std::unique_ptr<MainWindow> window;
    std::vector<RecordedBox> boxes;
};

TEST_F(MainWindowTest, EveryControlHasItsNameCaptionDefaultAndVisibility) {
    struct Row {
        const char* name;
        const char* caption;
        bool checked;
        bool visible;
    };
    const Row checkBoxes[] = {
        {"FXAuto", "Iniciar automaticamente (10 segundos)", true, true},
        {"FXSilence", "Silencioso", true, true},
        {"FXBackup", "Fazer backup da Base de Dados", true, true},
        {"FXDefaults", "Forçar a reconstrução de Defaults", false, true},
        {"FXIndexes", "Forçar a reconstrução de Indexes", false, true},
        {"FXDadosUpdate", "Actualizar tabelas de sistema", true, true},
        {"FXDebug", "Debug Mode", false, false},
        {"FXDadosUpdateMenus", "Actualizar Menus", true, false},
        {"FXDadosUpdateMenusClean", "Limpar Menus", false, false},
        {"FXDadosUpdatePesquisas", "Actualizar Pesquisas", true, false},
    };
    for (const Row& row : checkBoxes) {
        SCOPED_TRACE(row.name);
        auto* box = child<QCheckBox>(row.name);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text().toStdString(), row.caption);
        EXPECT_EQ(box->isChecked(), row.checked);
        EXPECT_EQ(!box->isHidden(), row.visible);
    }
    const Row buttons[] = {{"Command1", "Carregar Estrutura", false, false},
                           {"Command2", "Processar Upgrade", false, true},
                           {"Command3", "&Sair", false, true}};
    for (const Row& row : buttons) {
        SCOPED_TRACE(row.name);
        auto* button = child<QPushButton>(row.name);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text().toStdString(), row.caption);
        EXPECT_EQ(!button->isHidden(), row.visible);
    }
    EXPECT_EQ(child<QLineEdit>("FXDatabase")->text(), "Quorra_Trials");
    EXPECT_EQ(child<QLineEdit>("FXUsername")->text(), "sa");
    EXPECT_EQ(child<QLineEdit>("FXPassword")->text(), "kiwi");
    EXPECT_EQ(child<QLineEdit>("FXPassword")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(child<QLabel>("FXEvolucao")->text(), "");
    EXPECT_EQ(child<QProgressBar>("ProgressBar1")->value(), 0);
    EXPECT_NE(child<QTimer>("Timer1"), nullptr);
    EXPECT_EQ(window->windowTitle(), "SQL Database Upgrade");
    for (const char* label : {"Servidor SQL:", "Base de Dados:", "Username:", "Password:",
                              "Evolução:", "Actualização de Servidor SQL", "Marvane - Desenvolvimento"}) {
        bool found = false;
        for (QLabel* l : window->findChildren<QLabel*>()) found = found || l->text() == label;
        EXPECT_TRUE(found) << label;
    }
}

TEST_F(MainWindowTest, DefsIniFillsTheBoxesOrShowsItsErrorOnce) {
    std::ofstream(folder / "Defs.ini") << "App\nsrv9\nGestao\nop\n";
    window->load();
    EXPECT_EQ(child<QLineEdit>("FXServer")->text(), "srv9");
    EXPECT_EQ(child<QLineEdit>("FXDatabase")->text(), "Gestao");
    EXPECT_EQ(child<QLineEdit>("FXUsername")->text(), "op");
    EXPECT_TRUE(boxes.empty());

    std::ofstream(folder / "Defs.ini", std::ios::trunc) << "App\nsrv8\nOutra\n";
    MainWindow second(folder, {});
    std::vector<RecordedBox> secondBoxes;
    second.host().setMessageBoxHandler([&](const std::string& t, int f, const std::string& title) {
        secondBoxes.push_back({t, f, title});
        return 1;
    });
    second.load();
    EXPECT_EQ(second.form().FXDatabase.text, "Outra");
    EXPECT_EQ(second.findChild<QLineEdit*>("FXUsername")->text(), "sa");
    ASSERT_EQ(secondBoxes.size(), 1u);
    EXPECT_EQ(secondBoxes[0].text, "Input past end of file");
    EXPECT_EQ(secondBoxes[0].flags, 64);
    EXPECT_EQ(secondBoxes[0].title, "SQL Database Upgrade");

    std::filesystem::remove(folder / "Defs.ini");
    MainWindow third(folder, {});
    int thirdBoxes = 0;
    third.host().setMessageBoxHandler([&](const std::string&, int, const std::string&) { return ++thirdBoxes, 1; });
    third.load();
    EXPECT_EQ(thirdBoxes, 1);
    EXPECT_EQ(third.form().FXDatabase.text, "Quorra_Trials");
}

TEST_F(MainWindowTest, DoubleClickRevealsTheHiddenControls) {
    window->show();
    QTest::mouseDClick(window.get(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 300));
    EXPECT_FALSE(child<QCheckBox>("FXAuto")->isChecked());
    EXPECT_FALSE(child<QPushButton>("Command1")->isHidden());
    for (const char* name : {"FXDadosUpdateMenus", "FXDadosUpdatePesquisas", "FXSilence", "FXDebug",
                             "FXDadosUpdateMenusClean"}) {
        EXPECT_FALSE(child<QCheckBox>(name)->isHidden()) << name;
    }
}

TEST_F(MainWindowTest, TheTimerStartsTheUpgradeOnlyWithAutoStartTicked) {
    window->armTimer(10);
    QTest::qWait(100);
    EXPECT_EQ(serverOpens, 1);
    EXPECT_EQ(window->form().Timer1.intervalMs, 0);
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().text, "As definições da base de dados foram actualizadas com sucesso!");

    MainWindow quiet(folder, {[this](const db::ServerSettings&) {
                                  ++serverOpens;
                                  return target.handle();
                              },
                              {}});
    quiet.findChild<QCheckBox*>("FXAuto")->setChecked(false);
    quiet.armTimer(10);
    QTest::qWait(100);
    EXPECT_EQ(serverOpens, 1);
}

// While the automatic start is pending the window counts it down beside its own texts;
// unticking the box ends the count.
TEST_F(MainWindowTest, ThePendingAutomaticStartIsCountedDown) {
    auto* notice = child<QLabel>("notice");
    EXPECT_EQ(notice->text().toStdString(), "");
    window->armTimer(20000);
    EXPECT_EQ(notice->text().toStdString(),
              "The upgrade starts by itself in 20 s; untick the automatic start to stay.");
    child<QCheckBox>("FXAuto")->setChecked(false);
    window->syncFromForm();
    EXPECT_EQ(notice->text().toStdString(), "");
    EXPECT_EQ(child<QCheckBox>("FXAuto")->text().toStdString(), "Iniciar automaticamente (10 segundos)");
    EXPECT_EQ(serverOpens, 0);
}

TEST_F(MainWindowTest, ButtonClicksUntickAutoStart) {
    window->form().FXDatabase.text.clear();
    window->syncFromForm();
    QTest::mouseClick(child<QPushButton>("Command2"), Qt::LeftButton);
    EXPECT_FALSE(child<QCheckBox>("FXAuto")->isChecked());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Tem de definir uma base de dados!");
    EXPECT_EQ(serverOpens, 0);
}

TEST_F(MainWindowTest, TheCaptureHidesItsButtonUntilTheNextDoubleClick) {
    window->show();
    window->doubleClickBackground();
    store.onQuery("SELECT", {}, {});
    QTest::mouseClick(child<QPushButton>("Command1"), Qt::LeftButton);
    EXPECT_TRUE(child<QPushButton>("Command1")->isHidden());
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().text, "As definições da base de dados foram guardadas com sucesso!");
    window->doubleClickBackground();
    EXPECT_FALSE(child<QPushButton>("Command1")->isHidden());
}

TEST_F(MainWindowTest, ACompleteUpgradeUnloadsTheWindow) {
    window->show();
    QTest::mouseClick(child<QPushButton>("Command2"), Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(target.executed.back(), "UPDATE tbVersao SET upgrading = 0");
}

TEST_F(MainWindowTest, ClosingDuringAnUpgradeWaitsForTheRunToEnd) {
    window->show();
    bool closedDuringRun = false;
    target.onExecute("ALTER DATABASE", [&] {
        window->close();
        closedDuringRun = !window->isVisible();
    });
    QTest::mouseClick(child<QPushButton>("Command2"), Qt::LeftButton);
    EXPECT_FALSE(closedDuringRun);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->isBusy());
}

TEST_F(MainWindowTest, TheFixedSizeWindowOffersNoMaximizeButton) {
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
}

TEST_F(MainWindowTest, AfterACancelTheConnectionBoxesCanBeEditedAgain) {
    window->show();
    // The cancel press arrives while the collation changes; the table loop honours it at
    // its first row.
    store.onQuery("FROM tbObjects", {{"tabela", db::ado::kVarWChar}}, {{db::Value::text("tbA")}});
    target.onExecute("ALTER DATABASE", [this] {
        QTest::mouseClick(child<QPushButton>("Command2"), Qt::LeftButton);
        EXPECT_FALSE(child<QLineEdit>("FXDatabase")->isEnabled());
    });
    QTest::mouseClick(child<QPushButton>("Command2"), Qt::LeftButton);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(target.executed.back(), "UPDATE tbVersao SET upgrading = 0");
    EXPECT_EQ(child<QPushButton>("Command2")->text(), "Processar Upgrade");
    for (const char* name : {"FXServer", "FXDatabase", "FXUsername", "FXPassword"}) {
        auto* box = child<QLineEdit>(name);
        EXPECT_TRUE(box->isEnabled()) << name;
        EXPECT_EQ(box->palette().color(QPalette::Base), QPalette().color(QPalette::Base)) << name;
    }
    // Beside the system's own texts, a line says that the upgrade was cancelled.
    const std::string notice = child<QLabel>("notice")->text().toStdString();
    EXPECT_THAT(notice, ::testing::StartsWith("Upgrade of Quorra_Trials cancelled: 0 tables created, "));
    EXPECT_THAT(notice, ::testing::EndsWith("; the upgrading mark in tbVersao was released."));
    auto* database = child<QLineEdit>("FXDatabase");
    database->selectAll();
    QTest::keyClicks(database, "Outra");
    EXPECT_EQ(window->form().FXDatabase.text, "Outra");
}

TEST_F(MainWindowTest, TheScreenshotDrawsTheBoxOfAMissingDefsIniInsteadOfWaiting) {
    const QImage picture = renderScreenshot(*window);
    EXPECT_EQ(picture.size(), window->size());
    ASSERT_EQ(window->form().FXDatabase.text, "Quorra_Trials");  // the load stopped at the file
    const QImage plain = window->grab().toImage();
    const QPoint centre(picture.width() / 2, picture.height() / 2);
    EXPECT_NE(picture.pixel(centre), plain.pixel(centre));
}

}  // namespace
}  // namespace qtui

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
