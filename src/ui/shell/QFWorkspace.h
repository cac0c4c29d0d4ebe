#pragma once
// QFWorkspace: what the application asks of the desktop around it: opening
// a web page or a mail in the user's programs, and the alert sound. Tests
// replace it to see what would have been opened or heard.
//
// Threads: main thread only.

#include <QUrl>

#include <memory>

class QFWorkspace {
public:
    virtual ~QFWorkspace() = default;

    // The one in use: the desktop's, or the one given to setShared.
    static QFWorkspace& shared();
    // Null goes back to the desktop's.
    static void setShared(std::shared_ptr<QFWorkspace> workspace);

    // Opens the URL with the program the desktop chooses; failures are the
    // desktop's to show.
    virtual void openURL(const QUrl& url);
    virtual void beep();
};
