#include "updater/interface/OMAUWindowParts.h"

#include <QApplication>
#include <QFont>
#include <QScreen>
#include <QStyle>

QPixmap OMAUApplicationIcon(int size) {
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull()) icon = QApplication::style()->standardIcon(QStyle::SP_MessageBoxInformation);
    return icon.pixmap(size, size);
}

QLabel* OMAUMakeIconLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setPixmap(OMAUApplicationIcon());
    label->setAlignment(Qt::AlignTop);
    return label;
}

QLabel* OMAUMakeHeadingLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    label->setWordWrap(true);
    return label;
}

void OMAUCentreWindow(QWidget* window) {
    window->adjustSize();
    QScreen* screen = window->screen() ? window->screen() : QApplication::primaryScreen();
    if (!screen) return;
    const QRect available = screen->availableGeometry();
    window->move(available.center() - window->rect().center());
}
