#include "shell/qt/main_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>

#include "capture/capture_run.h"
#include "db/error.h"
#include "shell/qt/background.h"
#include "phase_list/upgrade_phases.h"
#include "upgrade/run_record.h"

namespace qtui {
namespace {

constexpr int kWidth = 660;
constexpr int kHeight = 490;

QString qs(const std::string& s) { return QString::fromStdString(s); }

QLabel* fixedLabel(QWidget* parent, const QString& text, int x, int y, int w, int h,
                   const QString& style) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(x, y, w, h);
    label->setStyleSheet(style);
    return label;
}

QColor colourOf(std::uint32_t systemColour, const QPalette& palette) {
    return systemColour == app::kButtonFaceColour ? palette.color(QPalette::Button)
                                                    : palette.color(QPalette::Base);
}

}  // namespace

MainWindow::MainWindow(std::filesystem::path programFolder, app::ConnectionOpeners openers,
                       QWidget* parent)
    : QWidget(parent),
      m_programFolder(std::move(programFolder)),
      m_openers(std::move(openers)),
      m_host(*this) {
    setObjectName("frmMain");
    // A window of one size: title, system menu, minimize and close, no maximize button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(kWidth, kHeight);
    m_background = makeBackground(size());
    buildWidgets();
    bindWidgets();
    syncFromForm();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildWidgets() {
    const QString title = "color: white; font-size: 20pt; font-weight: bold; background: transparent;";
    const QString subtitle = "color: #e8f0ff; font-size: 12pt; background: transparent;";
    const QString text = "color: #102040; background: transparent;";
    fixedLabel(this, "SQL Database Upgrade", 24, 12, 420, 36, title);
    fixedLabel(this, "Actualização de Servidor SQL", 26, 50, 420, 24, subtitle);
    fixedLabel(this, "Marvane - Desenvolvimento", 24, 460, 300, 20, subtitle);

    auto lineEdit = [this, &text](const char* name, const char* caption, int y) {
        fixedLabel(this, caption, 36, y + 3, 110, 20, text);
        auto* edit = new QLineEdit(this);
        edit->setObjectName(name);
        edit->setGeometry(150, y, 200, 26);
        return edit;
    };
    m_server = lineEdit("FXServer", "Servidor SQL:", 112);
    m_database = lineEdit("FXDatabase", "Base de Dados:", 146);
    m_username = lineEdit("FXUsername", "Username:", 180);
    m_password = lineEdit("FXPassword", "Password:", 214);
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setStyleSheet("lineedit-password-character: 42;");  // masked with '*'

    struct Row {
        const char* name;
        app::CheckBox app::MainForm::*state;
    };
    const Row rows[] = {
        {"FXAuto", &app::MainForm::FXAuto},
        {"FXSilence", &app::MainForm::FXSilence},
        {"FXBackup", &app::MainForm::FXBackup},
        {"FXDefaults", &app::MainForm::FXDefaults},
        {"FXIndexes", &app::MainForm::FXIndexes},
        {"FXDadosUpdate", &app::MainForm::FXDadosUpdate},
        {"FXDebug", &app::MainForm::FXDebug},
        {"FXDadosUpdateMenus", &app::MainForm::FXDadosUpdateMenus},
        {"FXDadosUpdateMenusClean", &app::MainForm::FXDadosUpdateMenusClean},
        {"FXDadosUpdatePesquisas", &app::MainForm::FXDadosUpdatePesquisas},
    };
    int y = 106;
    for (const Row& row : rows) {
        auto* box = new QCheckBox(qs((m_form.*row.state).caption), this);
        box->setObjectName(row.name);
        box->setGeometry(378, y, 260, 22);
        // A style sheet would replace the indicator drawing; the palette keeps it.
        QPalette palette = box->palette();
        palette.setColor(QPalette::WindowText, QColor(0x10, 0x20, 0x40));
        box->setPalette(palette);
        m_checkBoxes.push_back({box, &(m_form.*row.state)});
        y += 24;
    }

    fixedLabel(this, "Evolução:", 36, 358, 70, 20, text);
    m_evolucao = fixedLabel(this, "", 108, 358, 516, 20, text);
    m_evolucao->setObjectName("FXEvolucao");
    m_progress = new QProgressBar(this);
    m_progress->setObjectName("ProgressBar1");
    m_progress->setGeometry(36, 384, 588, 18);
    m_progress->setTextVisible(false);

    auto button = [this](const char* name, int x, int w) {
        auto* b = new QPushButton(this);
        b->setObjectName(name);
        b->setGeometry(x, 412, w, 30);
        return b;
    };
    m_command1 = button("Command1", 210, 150);
    m_command2 = button("Command2", 370, 150);
    m_command3 = button("Command3", 530, 94);

    m_timer = new QTimer(this);
    m_timer->setObjectName("Timer1");
    m_timer->setSingleShot(true);

    m_notice = fixedLabel(this, "", 36, 444, 588, 16, "color: #102040; background: transparent; font-size: 8pt;");
    m_notice->setObjectName("notice");
    m_countdown = new QTimer(this);
    m_countdown->setInterval(1000);
}

void MainWindow::bindWidgets() {
    auto bindText = [](QLineEdit* edit, app::TextBox& state) {
        QObject::connect(edit, &QLineEdit::textEdited,
                         [&state](const QString& t) { state.text = t.toStdString(); });
    };
    bindText(m_server, m_form.FXServer);
    bindText(m_database, m_form.FXDatabase);
    bindText(m_username, m_form.FXUsername);
    bindText(m_password, m_form.FXPassword);
    for (const BoundCheckBox& bound : m_checkBoxes) {
        app::CheckBox* state = bound.state;
        connect(bound.widget, &QCheckBox::toggled, this, [state](bool on) { state->value = on ? 1 : 0; });
    }
    connect(m_command1, &QPushButton::clicked, this, [this] { guarded([this] { clickCommand1(); }); });
    connect(m_command2, &QPushButton::clicked, this, [this] { guarded([this] { clickCommand2(); }); });
    connect(m_command3, &QPushButton::clicked, this, [this] { guarded([this] { clickCommand3(); }); });
    connect(m_timer, &QTimer::timeout, this, [this] { guarded([this] { onTimer(); }); });
    connect(m_countdown, &QTimer::timeout, this, [this] { showCountdown(); });
}

void MainWindow::syncFromForm() {
    setWindowTitle(qs(m_form.caption));
    auto showText = [](QLineEdit* edit, const app::TextBox& state) {
        const QSignalBlocker block(edit);
        if (edit->text().toStdString() != state.text) edit->setText(qs(state.text));
        edit->setVisible(state.visible);
        edit->setEnabled(state.enabled);
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Base, colourOf(state.backColour, QPalette()));
        edit->setPalette(palette);
    };
    showText(m_server, m_form.FXServer);
    showText(m_database, m_form.FXDatabase);
    showText(m_username, m_form.FXUsername);
    showText(m_password, m_form.FXPassword);
    for (const BoundCheckBox& bound : m_checkBoxes) {
        const QSignalBlocker block(bound.widget);
        bound.widget->setChecked(bound.state->ticked());
        bound.widget->setText(qs(bound.state->caption));
        bound.widget->setVisible(bound.state->visible);
        bound.widget->setEnabled(bound.state->enabled);
    }
    auto showButton = [](QPushButton* b, const app::Button& state) {
        b->setText(qs(state.caption));
        b->setVisible(state.visible);
        b->setEnabled(state.enabled);
    };
    showButton(m_command1, m_form.Command1);
    showButton(m_command2, m_form.Command2);
    showButton(m_command3, m_form.Command3);
    m_evolucao->setText(qs(m_form.FXEvolucao.caption));
    m_evolucao->setVisible(m_form.FXEvolucao.visible);
    m_progress->setMaximum(std::max(1, m_form.ProgressBar1.max));
    m_progress->setValue(std::min(m_form.ProgressBar1.value, m_progress->maximum()));
    m_progress->setVisible(m_form.ProgressBar1.visible);
    if (m_countdown->isActive()) showCountdown();
}

void MainWindow::load(const app::RegistryOverride& registryOverride) {
    guarded([&] { app::loadStartupSettings(m_form, m_host, m_programFolder, registryOverride); });
    syncFromForm();
}

void MainWindow::armTimer(int intervalMs) {
    m_form.Timer1.intervalMs = intervalMs >= 0 ? intervalMs : m_form.Timer1.intervalMs;
    m_form.Timer1.enabled = true;
    m_timer->start(m_form.Timer1.intervalMs);
    m_armed.start();
    m_countdown->start();
    showCountdown();
}

void MainWindow::showCountdown() {
    if (!m_timer->isActive() || !m_form.FXAuto.ticked()) {
        m_countdown->stop();
        m_notice->clear();
        return;
    }
    // Whole seconds, rounded up, never more than the interval (a coarse timer may report a
    // few milliseconds past it).
    const qint64 left = std::min<qint64>((m_timer->remainingTime() + 999) / 1000, m_timer->interval() / 1000);
    m_notice->setText(QString("The upgrade starts by itself in %1 s; untick the automatic start to stay.")
                          .arg(left));
}

void MainWindow::showRunNotice(app::OperationOutcome outcome, const upgrade::RunStatistics& statistics) {
    if (outcome == app::OperationOutcome::Cancelled) {
        m_notice->setText(qs(upgrade::summaryLine(m_form.FXDatabase.text, "cancelled", statistics) +
                             (m_form.UpgradeGuardActive ? "; the upgrading mark in tbVersao was released." : ".")));
    } else if (outcome == app::OperationOutcome::Failed && !statistics.phases.empty()) {
        m_notice->setText(qs(upgrade::summaryLine(m_form.FXDatabase.text, "failed", statistics) + "."));
    } else {
        m_notice->clear();
    }
    m_notice->setToolTip(m_notice->text());
}

void MainWindow::onTimer() {
    // One shot per program run: the interval goes to 0, which stops the timer.
    m_form.Timer1.intervalMs = 0;
    m_form.Timer1.enabled = false;
    m_timer->stop();
    m_countdown->stop();
    m_notice->clear();
    if (m_form.FXAuto.ticked() && !isBusy()) clickCommand2();
}

void MainWindow::clickCommand1() {
    m_form.FXAuto.value = 0;
    syncFromForm();
    if (isBusy()) return;
    runOperation(Busy::Capture, [this] { capture::runCapture(m_form, m_host, m_openers); });
}

void MainWindow::clickCommand2() {
    m_form.FXAuto.value = 0;
    syncFromForm();
    if (m_busy == Busy::Capture) return;
    if (m_busy == Busy::Upgrade) {
        // The press during a run is the cancel request, handled by the run itself.
        phase_list::pressUpgradeButton(m_form, m_host, m_openers);
        syncFromForm();
        return;
    }
    m_notice->clear();
    upgrade::RunStatistics statistics;
    std::optional<app::OperationOutcome> outcome;
    runOperation(Busy::Upgrade, [&] { outcome = phase_list::pressUpgradeButton(m_form, m_host, m_openers, &statistics); });
    if (outcome && !m_closing) showRunNotice(*outcome, statistics);
}

void MainWindow::clickCommand3() { close(); }

void MainWindow::doubleClickBackground() {
    m_form.FXAuto.value = 0;
    m_form.Command1.visible = true;
    for (app::CheckBox* box : {&m_form.FXDadosUpdateMenus, &m_form.FXDadosUpdatePesquisas,
                                 &m_form.FXSilence, &m_form.FXDebug, &m_form.FXDadosUpdateMenusClean}) {
        box->visible = true;
    }
    syncFromForm();
}

void MainWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    guarded([this] { doubleClickBackground(); });
    event->accept();
}

void MainWindow::requestUnload() {
    if (isBusy()) {
        m_closeWhenIdle = true;
        return;
    }
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!isBusy()) {
        m_closing = true;
        m_timer->stop();
        event->accept();
        return;
    }
    // Closing under a running operation would destroy the window beneath it: an upgrade
    // is cancelled as by the button, and the window closes once the operation has ended.
    m_closeWhenIdle = true;
    event->ignore();
    if (m_busy == Busy::Upgrade && m_form.Command2.caption == app::kCancelCaption) {
        guarded([this] { phase_list::pressUpgradeButton(m_form, m_host, m_openers); });
        syncFromForm();
    }
}

void MainWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_background);
}

void MainWindow::runOperation(Busy kind, const std::function<void()>& operation) {
    m_busy = kind;
    try {
        operation();
    } catch (...) {
        m_busy = Busy::None;
        throw;
    }
    m_busy = Busy::None;
    syncFromForm();
    if (m_closeWhenIdle) {
        m_closeWhenIdle = false;
        close();
    }
}

void MainWindow::guarded(const std::function<void()>& action) {
    try {
        action();
    } catch (const db::Error& e) {
        m_host.messageBox(e.description(), app::mb::kInformation, std::nullopt);
    } catch (const std::exception& e) {
        m_host.messageBox(e.what(), app::mb::kInformation, std::nullopt);
    } catch (...) {
        m_host.messageBox("Unexpected error", app::mb::kInformation, std::nullopt);
    }
}

}  // namespace qtui
