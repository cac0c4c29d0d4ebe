#pragma once
// QFApplicationMenu: the application's menu. There is no menu bar of the
// whole application here, so every flow window carries the menu in its own
// title bar, behind a button just right of the window's standard buttons.
//
// Each item names an action (QFActionResponder.h) that travels the
// window's responder chain: the content controller, the window controller,
// the application, its delegate. Before the menu shows, and as a key
// equivalent is pressed, before the window's shortcuts take it, each item
// concerned is validated along that chain, so items no link can perform
// are disabled (their keys go on to the focused view) and links may
// retitle theirs. What the chain can do changes without the menu hearing
// of it: an item disabled while the window was idle works again once a
// flow shows.
//
// Threads: main thread only.

#include "ui/window/QFActionResponder.h"
#include "ui/window/QFWindowButton.h"

#include <QMenu>

#include <functional>

class QFWindow;

class QFApplicationMenu : public QMenu {
    Q_OBJECT

public:
    using ChainProvider = std::function<QFResponderChain()>;

    explicit QFApplicationMenu(ChainProvider chain, QWidget* parent = nullptr);

    // "Quit" and the product's name, as the tray item's menu says it too.
    static QString quitTitle();

    // The item that sends `action`, or null.
    QAction* itemWithAction(std::string_view action) const;
    // Every item, submenus included, that sends an action.
    QList<QAction*> actionItems() const;
    // Validates every item along the chain.
    void validate();
    // Validates the items whose key equivalent is `key`.
    void validateItemsWithShortcut(QKeyCombination key);
    // Validates the item, then performs its action when it is enabled.
    void trigger(QAction& item);

private:
    QMenu* addSubmenu(const QString& title);
    QAction* addItem(QMenu& menu, const QString& title, std::string_view action,
                     const QKeySequence& shortcut = {});

    ChainProvider chain_;
};

// The button in a flow window's title bar that opens the menu: three short
// lines. It becomes the window's menu button, which the window places
// beside its zoom button. The menu's key equivalents work anywhere in the
// window.
class QFApplicationMenuButton : public QFWindowButton {
    Q_OBJECT

public:
    QFApplicationMenuButton(QFWindow& window, QFApplicationMenu* menu);

    QFApplicationMenu* menu() const { return menu_; }
    // Opens the menu under the button.
    void showMenu();

protected:
    // Validates the items of a key as it reaches a view of the window.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QFApplicationMenu* menu_;
};
