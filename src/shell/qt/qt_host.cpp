#include "shell/qt/qt_host.h"

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QPushButton>

#include "shell/qt/main_window.h"

namespace qtui {

void setUpMessageBox(QMessageBox& box, const std::string& text, int flags, const std::string& title) {
    box.setWindowTitle(QString::fromStdString(title));
    // Message texts break lines with LF CR; Qt wants plain LF.
    box.setText(QString::fromStdString(text).replace(QStringLiteral("\n\r"), QStringLiteral("\n")));
    switch (flags & 0x70) {
        case 16:
            box.setIcon(QMessageBox::Critical);
            break;
        case 32:
            box.setIcon(QMessageBox::Question);
            break;
        case 48:
            box.setIcon(QMessageBox::Warning);
            break;
        case 64:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            break;
    }
    if ((flags & 7) == app::mb::kYesNo) {
        QPushButton* yes = box.addButton(QMessageBox::Yes);
        QPushButton* no = box.addButton(QMessageBox::No);
        box.setDefaultButton((flags & app::mb::kDefaultButton2) ? no : yes);
    } else {
        box.setDefaultButton(box.addButton(QMessageBox::Ok));
    }
}

int defaultAnswer(int flags) {
    if ((flags & 7) != app::mb::kYesNo) return app::mb::kAnswerOk;
    return (flags & app::mb::kDefaultButton2) ? app::mb::kAnswerNo : app::mb::kAnswerYes;
}

int showQtMessageBox(QWidget* parent, const std::string& text, int flags, const std::string& title) {
    QMessageBox box(parent);
    setUpMessageBox(box, text, flags, title);
    box.exec();
    if ((flags & 7) != app::mb::kYesNo) return app::mb::kAnswerOk;
    return box.clickedButton() == box.button(QMessageBox::No) ? app::mb::kAnswerNo : app::mb::kAnswerYes;
}

QtHost::QtHost(MainWindow& window) : m_window(window) {}

int QtHost::messageBox(const std::string& text, int flags, const std::optional<std::string>& title) {
    m_window.syncFromForm();
    const std::string shownTitle = title ? *title : m_window.form().caption;
    if (m_handler) return m_handler(text, flags, shownTitle);
    return showQtMessageBox(&m_window, text, flags, shownTitle);
}

void QtHost::repaint() {
    m_window.syncFromForm();
    m_window.repaint();
}

void QtHost::pumpEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void QtHost::setClipboard(const std::string& text) {
    QApplication::clipboard()->setText(QString::fromStdString(text));
}

void QtHost::unload() { m_window.requestUnload(); }

}  // namespace qtui
