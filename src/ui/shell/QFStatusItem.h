#pragma once
// QFStatusItem: switches the application's item in the desktop's tray (the
// menu-bar item of other desktops) on and off: while shown, a tray icon
// with its QFStatusItemView. The application delegate binds it to the
// user default QFDisableMenuBarPSHelper; hiding drops the item and its
// view, showing again makes new ones.
//
// Threads: main thread only.

#include <QSystemTrayIcon>

class QFStatusItemView;

class QFStatusItem {
public:
    static bool showsStatusItem();
    static void setShowsStatusItem(bool shows);

    // The item and its view while shown, else null.
    static QSystemTrayIcon* statusItem();
    static QFStatusItemView* statusItemView();
};
