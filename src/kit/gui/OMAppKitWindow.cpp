#include "kit/gui/OMAppKitWindow.h"

#include <QApplication>
#include <QVBoxLayout>

namespace {

const QMetaObject*& fullScreenToolbarWindowClass() {
    static const QMetaObject* windowClass = nullptr;
    return windowClass;
}

bool defaultHasActiveAppearance(const QWidget* window) {
    if (!window) return false;
    const QMetaObject* windowClass = fullScreenToolbarWindowClass();
    if (windowClass && window->metaObject()->inherits(windowClass)) return true;
    return window->isActiveWindow();
}

bool canEnterFullScreen(const QWidget* window) {
    const auto* appKitWindow = dynamic_cast<const OMAppKitWindow*>(window);
    return appKitWindow && appKitWindow->canEnterFullScreen();
}

}  // namespace

bool OMAppKitWindow::hasActiveAppearance() const {
    return defaultHasActiveAppearance(appKitWidget());
}

void OMAppKitWindow::setFullScreenToolbarWindowClassWithActiveAppearance(
    const QMetaObject* windowClass) {
    fullScreenToolbarWindowClass() = windowClass;
}

void OMAppKitWindow::makeKeyAndEnterFullScreen() {
    QWidget* window = appKitWidget();
    if (!window) return;
    window->show();
    window->raise();
    window->activateWindow();
    if (canEnterFullScreen() && !window->isFullScreen()) window->showFullScreen();
}

void OMAppKitWindow::setCustomizableContentView(QWidget* view) {
    QWidget* window = appKitWidget();
    if (!window || view == contentView_) return;
    if (contentView_) contentView_->deleteLater();
    contentView_ = view;
    if (!view) return;
    if (!window->layout()) {
        auto* layout = new QVBoxLayout(window);  // owned by the window
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
    }
    window->layout()->addWidget(view);
}

bool OMWindowHasActiveAppearance(const QWidget* window) {
    if (const auto* appKitWindow = dynamic_cast<const OMAppKitWindow*>(window))
        return appKitWindow->hasActiveAppearance();
    return defaultHasActiveAppearance(window);
}

bool OMShouldEnterFullScreenForNewWindows() {
    QWidgetList windows = QApplication::topLevelWidgets();
    if (QWidget* active = QApplication::activeWindow()) {
        windows.removeAll(active);
        windows.prepend(active);
    }
    for (const QWidget* window : windows) {
        if (!window->isVisible()) continue;
        if (window->isFullScreen()) return true;
        if (canEnterFullScreen(window)) return false;
    }
    return false;
}
