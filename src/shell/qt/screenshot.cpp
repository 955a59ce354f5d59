#include "shell/qt/screenshot.h"

#include <QApplication>
#include <QMessageBox>
#include <QPainter>
#include <vector>

#include "shell/qt/main_window.h"

namespace qtui {
namespace {

struct ShownBox {
    std::string text;
    int flags;
    std::string title;
};

// The box as the user would see it: its own picture under a title bar, since a grab
// holds no window decoration.
QPixmap boxPicture(const ShownBox& shown, const QPalette& palette) {
    QMessageBox box;
    setUpMessageBox(box, shown.text, shown.flags, shown.title);
    box.setAttribute(Qt::WA_DontShowOnScreen);
    box.show();
    QApplication::processEvents();
    const QPixmap body = box.grab();
    box.hide();

    constexpr int kTitleHeight = 24;
    QPixmap picture(body.width() + 2, body.height() + kTitleHeight + 2);
    picture.fill(palette.color(QPalette::Dark));
    QPainter painter(&picture);
    painter.fillRect(1, 1, body.width(), kTitleHeight, palette.color(QPalette::Highlight));
    painter.setPen(palette.color(QPalette::HighlightedText));
    painter.drawText(QRect(8, 1, body.width() - 16, kTitleHeight), Qt::AlignVCenter | Qt::AlignLeft,
                     QString::fromStdString(shown.title));
    painter.drawPixmap(1, kTitleHeight + 1, body);
    return picture;
}

}  // namespace

QImage renderScreenshot(MainWindow& window, const app::RegistryOverride& registryOverride) {
    std::vector<ShownBox> boxes;
    window.host().setMessageBoxHandler([&boxes](const std::string& text, int flags, const std::string& title) {
        boxes.push_back({text, flags, title});
        return defaultAnswer(flags);
    });
    window.load(registryOverride);
    window.show();
    QApplication::processEvents();
    QImage image = window.grab().toImage();

    QPainter painter(&image);
    int step = 0;
    for (const ShownBox& shown : boxes) {
        const QPixmap box = boxPicture(shown, window.palette());
        const QPoint corner((image.width() - box.width()) / 2, (image.height() - box.height()) / 2 + step);
        painter.drawPixmap(corner, box);
        step += 30;
    }
    return image;
}

}  // namespace qtui
