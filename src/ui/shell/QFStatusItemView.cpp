#include "ui/shell/QFStatusItemView.h"

#include "kit/gui/OMTemplateEffect.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainQueue.h"
#include "ui/shell/QFApplication.h"
#include "ui/shell/QFApplicationDelegate.h"
#include "ui/shell/QFApplicationMenu.h"
#include "ui/shell/QFDocumentController.h"
#include "ui/shell/QFPhotoshopBridge.h"
#include "ui/shell/QFWorkspace.h"
#include "ui/window/QFResources.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>

#include <filesystem>

namespace {

QIcon iconFromImage(const std::shared_ptr<const OMImage>& image) {
    QIcon icon;
    if (!image) return icon;
    for (const double scale : {1.0, 2.0}) {
        const QSize pixels = (image->size() * scale).toSize();
        if (pixels.isEmpty()) continue;
        QImage bitmap(pixels, QImage::Format_ARGB32_Premultiplied);
        bitmap.fill(Qt::transparent);
        QPainter painter(&bitmap);
        painter.scale(scale, scale);
        image->draw(painter, QRectF(QPointF(0, 0), image->size()));
        painter.end();
        bitmap.setDevicePixelRatio(scale);
        icon.addPixmap(QPixmap::fromImage(bitmap));
    }
    return icon;
}

QIcon iconWithEffect(const char* imageName, const OMTemplateEffect& effect) {
    const auto image = QFResources::shared()->imageNamed(imageName);
    return image ? iconFromImage(effect.applyEffectToImage(image.get())) : QIcon();
}

OMShadow shadow(QColor color, QPointF offset, double blur) {
    OMShadow result;
    result.color = color;
    result.offset = offset;
    result.blurRadius = blur;
    return result;
}

QColor whiteWithAlpha(double white, double alpha) {
    return QColor::fromRgbF(white, white, white, alpha);
}

}  // namespace

QFStatusItemView::QFStatusItemView(QObject* parent) : QObject(parent), menu_(new QMenu) {
    menu_->setTitle(QString());
    menuItemForPSD_ = menu_->addAction(QString());
    menuItemForPSD_->setEnabled(false);
    menuItemForOpening_ = menu_->addAction(QFLocalizedString("ps-menu.open-active-psd.title"));
    menuItemForOpening_->setVisible(false);
    connect(menuItemForOpening_, &QAction::triggered, this, [this] { openActivePSD(); });
    menu_->addSeparator();
    menuItemForNewWindow_ = menu_->addAction(QStringLiteral("New Window"));
    connect(menuItemForNewWindow_, &QAction::triggered, this,
            [] { QFDocumentController::shared().openUntitledDocumentAndDisplay(true, nullptr); });
    menuItemForQuitting_ = menu_->addAction(QFApplicationMenu::quitTitle());
    connect(menuItemForQuitting_, &QAction::triggered, this,
            [] { QFApplication::shared().performAction(QFAction::Terminate); });
    connect(menu_, &QMenu::aboutToShow, this, [this] { menuWillOpen(); });
    connect(menu_, &QMenu::aboutToHide, this, [this] { menuDidClose(); });
}

QFStatusItemView::~QFStatusItemView() {
    delete menu_;
}

void QFStatusItemView::setStatusItem(QSystemTrayIcon* item) {
    if (statusItem_) statusItem_->disconnect(this);
    statusItem_ = item;
    if (!item) return;
    item->setIcon(currentIcon());
    item->setToolTip(QString::fromStdString(QFResources::shared()->productName()));
    item->setContextMenu(menu_);
    connect(item, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                activated(reason, QGuiApplication::queryKeyboardModifiers());
            });
}

const QIcon& QFStatusItemView::normalIcon() {
    static const QIcon icon = [] {
        OMTemplateEffect effect;
        effect.setFillGradient(OMGradient(whiteWithAlpha(0, 0.85), whiteWithAlpha(0, 0.7)));
        effect.setFillGradientAngle(-90);
        effect.setShadows({shadow(whiteWithAlpha(1, 0.33), QPointF(0, -1), 0)});
        effect.setInnerShadows({shadow(whiteWithAlpha(0, 0.7), QPointF(0, -1), 2)});
        return iconWithEffect(QFImageName::StatusItemTemplate, effect);
    }();
    return icon;
}

const QIcon& QFStatusItemView::pressedIcon() {
    static const QIcon icon = [] {
        const QColor blue = QColor::fromRgbF(0, 0.44, 0.85, 1);
        QColor blueHalf = blue;
        blueHalf.setAlphaF(0.5);
        const QColor dark =
            QColor::fromHsvF(blue.hsvHueF(), blue.hsvSaturationF(), blue.valueF() * 0.3, 0.7);
        OMTemplateEffect effect;
        effect.setFillGradient(OMGradient(blue, blue));
        effect.setFillGradientAngle(-90);
        effect.setShadows({shadow(whiteWithAlpha(1, 0.33), QPointF(0, -1), 0),
                           shadow(blueHalf, QPointF(0, 0), 5)});
        effect.setInnerShadows({shadow(dark, QPointF(0, -2), 5)});
        return iconWithEffect(QFImageName::StatusItemTemplate, effect);
    }();
    return icon;
}

const QIcon& QFStatusItemView::menuIcon() {
    static const QIcon icon = [] {
        OMTemplateEffect effect;
        effect.setFillColor(Qt::white);
        return iconWithEffect(QFImageName::StatusItemInvertedTemplate, effect);
    }();
    return icon;
}

const QIcon& QFStatusItemView::currentIcon() const {
    switch (look_) {
        case Look::Pressed:
            return pressedIcon();
        case Look::Menu:
            return menuIcon();
        case Look::Normal:
            break;
    }
    return normalIcon();
}

void QFStatusItemView::setLook(Look look) {
    look_ = look;
    if (statusItem_) statusItem_->setIcon(currentIcon());
}

bool QFStatusItemView::startDetection() {
    if (!detection_->semaphore.waitFor(kDetectionStartWait)) return false;
    auto detection = detection_;
    auto bridge = QFPhotoshopBridge::shared();
    QPointer<QFStatusItemView> view(this);
    lf::DispatchQueue::global(lf::QueuePriority::High)->async([detection, bridge, view] {
        std::optional<std::string> url = bridge->activeDocumentURL();
        detection->documentURL = url;
        detection->semaphore.signal();
        lf::MainQueue::shared()->async([view, url] {
            if (view) view->updateMenuItemsWithActiveDocumentURL(url);
        });
    });
    return true;
}

void QFStatusItemView::menuWillOpen() {
    setLook(Look::Menu);
    startDetection();
    if (detection_->semaphore.waitFor(kMenuWait)) {
        const std::optional<std::string> url = detection_->documentURL;
        detection_->semaphore.signal();
        updateMenuItemsWithActiveDocumentURL(url);
    } else {
        updateMenuItemsWithActiveDocumentURL(std::nullopt);
        menuItemForPSD_->setText(QFLocalizedString("ps-menu.looking-for-active-psd.title"));
    }
}

void QFStatusItemView::menuDidClose() {
    setLook(Look::Normal);
}

void QFStatusItemView::updateMenuItemsWithActiveDocumentURL(const std::optional<std::string>& url) {
    const std::filesystem::path path = url.value_or("");
    if (url && path.extension() == ".psd") {
        menuItemForPSD_->setText(QString::fromStdString(path.filename().string()));
        menuItemForOpening_->setVisible(true);
        return;
    }
    menuItemForPSD_->setText(QFLocalizedString(QFPhotoshopBridge::shared()->isPhotoshopRunning()
                                                   ? "ps-menu.no-active-psd.title"
                                                   : "ps-menu.ps-not-running.title"));
    menuItemForOpening_->setVisible(false);
}

void QFStatusItemView::openActivePSD() {
    // Bounded: the main thread must not hang on an editor that does not
    // answer.
    if (!detection_->semaphore.waitFor(kOpenWait)) {
        QFWorkspace::shared().beep();
        return;
    }
    const std::optional<std::string> url = detection_->documentURL;
    detection_->semaphore.signal();
    QFApplicationDelegate* delegate = QFApplication::shared().delegate();
    if (!url || !delegate) {
        QFWorkspace::shared().beep();
        return;
    }
    delegate->openFiles({*url});
}

void QFStatusItemView::openDirectly() {
    setLook(Look::Pressed);
    startDetection();
    openActivePSD();
    setLook(Look::Normal);
}

bool QFStatusItemView::detectionIsIdleForTests() const {
    if (!detection_->semaphore.waitFor(std::chrono::nanoseconds(0))) return false;
    detection_->semaphore.signal();
    return true;
}

void QFStatusItemView::activated(QSystemTrayIcon::ActivationReason reason,
                                 Qt::KeyboardModifiers modifiers) {
    constexpr Qt::KeyboardModifiers kDirect =
        Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    if (reason == QSystemTrayIcon::MiddleClick ||
        (reason == QSystemTrayIcon::Trigger && (modifiers & kDirect))) {
        openDirectly();
    } else if (reason == QSystemTrayIcon::Trigger) {
        menu_->popup(QCursor::pos());
    }
}
