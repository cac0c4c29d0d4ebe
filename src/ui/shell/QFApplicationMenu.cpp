#include "ui/shell/QFApplicationMenu.h"

#include "ui/shell/QFApplication.h"
#include "ui/shell/QFApplicationDelegate.h"
#include "ui/window/QFResources.h"
#include "ui/window/QFWindow.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr double kGlyphSize = 14;

}  // namespace

QFApplicationMenu::QFApplicationMenu(ChainProvider chain, QWidget* parent)
    : QMenu(parent), chain_(std::move(chain)) {
    const QString product = QString::fromStdString(QFResources::shared()->productName());

    QMenu* application = addSubmenu(product);
    addItem(*application, QStringLiteral("Preferences…"), QFAction::ShowPreferences,
            QKeySequence::Preferences);
    QAction* updates =
        addItem(*application, QStringLiteral("Check for Updates…"), QFAction::ShowUpdates);
    const QFApplicationDelegate* delegate = QFApplication::shared().delegate();
    updates->setVisible(delegate && delegate->isCheckForUpdatesMenuItemVisible());
    application->addSeparator();
    addItem(*application, quitTitle(), QFAction::Terminate, QKeySequence::Quit);

    QMenu* file = addSubmenu(QStringLiteral("File"));
    addItem(*file, QStringLiteral("Open…"), QFAction::OpenFilesForFlow, QKeySequence::Open);
    addItem(*file, QStringLiteral("Close Window"), QFAction::PerformClose, QKeySequence::Close);

    QMenu* flow = addSubmenu(QStringLiteral("Flow"));
    addItem(*flow, QStringLiteral("Save Output"), QFAction::SaveFlowOutput, QKeySequence::Save);
    addItem(*flow, QStringLiteral("Cancel"), QFAction::CancelFlow, QKeySequence(Qt::Key_Escape));
    flow->addSeparator();
    addItem(
        *flow,
        QString::fromStdString(QFResources::shared()->localizedString("recents-repeat.show.title")),
        QFAction::ToggleRecentRepeat, QKeySequence(Qt::CTRL | Qt::Key_R));
    addItem(*flow, QStringLiteral("Clear Recents"), QFAction::ClearRecentFlows);

    QMenu* help = addSubmenu(QStringLiteral("Help"));
    addItem(*help, QStringLiteral("%1 Help").arg(product), QFAction::ShowHelp,
            QKeySequence::HelpContents);
    addItem(*help, QStringLiteral("Example Files"), QFAction::ShowExampleFiles);
    addItem(*help, QStringLiteral("What’s New"), QFAction::ShowReleaseNotes);
    help->addSeparator();
    addItem(*help, QStringLiteral("Rate %1").arg(product), QFAction::RateInAppStore);
    addItem(*help, QStringLiteral("Follow %1").arg(product), QFAction::FollowOnTwitter);
    addItem(*help, QStringLiteral("Send Feedback…"), QFAction::SendFeedback);

    connect(this, &QMenu::aboutToShow, this, &QFApplicationMenu::validate);
}

QString QFApplicationMenu::quitTitle() {
    return QStringLiteral("Quit %1").arg(
        QString::fromStdString(QFResources::shared()->productName()));
}

QMenu* QFApplicationMenu::addSubmenu(const QString& title) {
    QMenu* submenu = addMenu(title);
    connect(submenu, &QMenu::aboutToShow, this, &QFApplicationMenu::validate);
    return submenu;
}

QAction* QFApplicationMenu::addItem(QMenu& menu, const QString& title, std::string_view action,
                                    const QKeySequence& shortcut) {
    auto* item = new QAction(title, &menu);
    QFSetActionOfMenuItem(*item, action);
    item->setShortcut(shortcut);
    // The item's own signal is left alone: choosing it, by menu or key
    // equivalent, goes through validation first.
    connect(item, &QAction::triggered, this, [this, item] { trigger(*item); });
    menu.addAction(item);
    return item;
}

QList<QAction*> QFApplicationMenu::actionItems() const {
    QList<QAction*> items;
    for (QAction* entry : actions()) {
        QMenu* submenu = entry->menu();
        if (!submenu) continue;
        for (QAction* item : submenu->actions()) {
            if (!QFActionOfMenuItem(*item).empty()) items.push_back(item);
        }
    }
    return items;
}

QAction* QFApplicationMenu::itemWithAction(std::string_view action) const {
    for (QAction* item : actionItems()) {
        if (QFActionOfMenuItem(*item) == action) return item;
    }
    return nullptr;
}

void QFApplicationMenu::validate() {
    const QFResponderChain chain = chain_();
    for (QAction* item : actionItems())
        QFValidateMenuItem(chain, *item);
}

void QFApplicationMenu::validateItemsWithShortcut(QKeyCombination key) {
    const QKeySequence pressed(key);
    QFResponderChain chain;
    for (QAction* item : actionItems()) {
        if (item->shortcut() != pressed) continue;
        if (chain.empty()) chain = chain_();
        QFValidateMenuItem(chain, *item);
    }
}

void QFApplicationMenu::trigger(QAction& item) {
    const QFResponderChain chain = chain_();
    QFValidateMenuItem(chain, item);
    if (item.isEnabled()) QFSendAction(chain, QFActionOfMenuItem(item));
}

QFApplicationMenuButton::QFApplicationMenuButton(QFWindow& window, QFApplicationMenu* menu)
    : QFWindowButton(&window), menu_(menu) {
    menu_->setParent(this, menu_->windowFlags());
    setBordered(false);
    setImageWithSize(
        QSizeF(kGlyphSize, kGlyphSize), [](QPainter& painter, double, const QRectF& rect) {
            QPainterPath lines;
            for (int line = 0; line < 3; ++line) {
                const double y = rect.top() + 3 + line * 4;
                lines.addRoundedRect(QRectF(rect.left() + 1, y, rect.width() - 2, 2), 1, 1);
            }
            painter.fillPath(lines, Qt::black);
        });
    setPadding(OMEdgeInsets{2, 2, 2, 2});
    setToolTip(QStringLiteral("Menu"));
    sizeToFit();
    // The key equivalents reach the window wherever the focus is in it.
    for (QAction* item : menu_->actionItems()) {
        item->setShortcutContext(Qt::WindowShortcut);
        window.addAction(item);
    }
    connect(this, &QAbstractButton::clicked, this, &QFApplicationMenuButton::showMenu);
    window.setMenuWindowButton(this);
    // Every key is offered to the focused view (as a shortcut override)
    // before the shortcuts see it: the moment to validate its items, since
    // a disabled item's shortcut never fires.
    qApp->installEventFilter(this);
}

bool QFApplicationMenuButton::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* view = qobject_cast<QWidget*>(watched);
        if (view && view->window() == window())
            menu_->validateItemsWithShortcut(static_cast<QKeyEvent*>(event)->keyCombination());
    }
    return QFWindowButton::eventFilter(watched, event);
}

void QFApplicationMenuButton::showMenu() {
    menu_->popup(mapToGlobal(QPoint(0, height())));
}
