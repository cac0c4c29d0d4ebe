#pragma once
// QFStatusItemView: what the tray item shows and does. Its menu names the
// document active in the image editor (QFPhotoshopBridge) and opens it
// through the application's open-files road, which starts a flow for it.
//
// Finding the document may take long, so it runs on the high-priority
// global queue, one detection at a time: a semaphore of count 1 guards the
// last answer and is held while a detection runs. A tray item has no
// hover, so a detection starts when the menu is about to show (or a direct
// open is asked for); starting waits at most 50 ms for the semaphore and
// gives up when another detection holds it. The menu then waits at most
// 200 ms for the answer; without it the first line says the item is
// still looking, and the answer, when it comes, updates the lines through
// the main queue.
//
// Menu lines: the document's file name (for a ".psd" file) and "open", or
// a line saying that the editor has no such document or does not run;
// then New Window and Quit, since the application runs on without windows
// and the item is then the one way to reach it. A left click shows the
// menu; a middle click, or a left click with
// Control, Alt or Meta held, opens the document directly (the alert sound
// when there is none).
//
// Threads: main thread, apart from the detection's query.

#include "platform/dispatch/DispatchSemaphore.h"

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

class QAction;
class QMenu;

class QFStatusItemView : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kDetectionStartWait{50};
    static constexpr std::chrono::milliseconds kMenuWait{200};
    // How long a direct open waits for the answer before it sounds the
    // alert instead.
    static constexpr std::chrono::milliseconds kOpenWait{200};

    explicit QFStatusItemView(QObject* parent = nullptr);
    ~QFStatusItemView() override;

    QSystemTrayIcon* statusItem() const { return statusItem_; }
    // Shows this view's picture and menu in `item`.
    void setStatusItem(QSystemTrayIcon* item);

    // The pictures: normal, pressed (a direct open under way) and while
    // the menu shows.
    static const QIcon& normalIcon();
    static const QIcon& pressedIcon();
    static const QIcon& menuIcon();
    const QIcon& currentIcon() const;

    // Starts a detection unless one holds the semaphore beyond 50 ms;
    // whether one started.
    bool startDetection();
    // What the menu shows before it opens: a new detection, then its
    // answer within 200 ms, else the looking-for line.
    void menuWillOpen();
    void menuDidClose();
    void updateMenuItemsWithActiveDocumentURL(const std::optional<std::string>& url);
    // Hands the detected document to the open-files road, or sounds the
    // alert when there is none or the answer is not there within 200 ms.
    void openActivePSD();
    // A direct open: a detection, then openActivePSD.
    void openDirectly();

    // How the tray item was clicked, with the keyboard modifiers held.
    void activated(QSystemTrayIcon::ActivationReason reason, Qt::KeyboardModifiers modifiers);

    // Whether no detection holds the semaphore; for tests.
    bool detectionIsIdleForTests() const;

    QMenu* menu() const { return menu_; }
    QAction* menuItemForPSD() const { return menuItemForPSD_; }
    QAction* menuItemForOpening() const { return menuItemForOpening_; }
    QAction* menuItemForNewWindow() const { return menuItemForNewWindow_; }
    QAction* menuItemForQuitting() const { return menuItemForQuitting_; }

private:
    // Shared with the queued query, which may outlive the view.
    struct Detection {
        lf::DispatchSemaphore semaphore{1};
        std::optional<std::string> documentURL;  // guarded by the semaphore
    };
    enum class Look { Normal, Pressed, Menu };

    void setLook(Look look);

    std::shared_ptr<Detection> detection_ = std::make_shared<Detection>();
    QMenu* menu_;
    QAction* menuItemForPSD_;
    QAction* menuItemForOpening_;
    QAction* menuItemForNewWindow_;
    QAction* menuItemForQuitting_;
    QPointer<QSystemTrayIcon> statusItem_;
    Look look_ = Look::Normal;
};
