#pragma once
// QFWorkspace: what the application asks of the desktop around it: opening
// a web page or a mail in the user's programs, showing files in the file
// manager, and the alert sound. Tests replace it to see what would have
// been opened, shown or heard.
//
// Threads: main thread only.

#include <QDBusConnection>
#include <QUrl>

#include <memory>
#include <vector>

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

    // Shows the local files `items` in the file manager, selected where
    // it can select them (selectItemsInFileManager), else by opening each
    // distinct folder of them once. Never opens an item itself: the
    // program that the desktop chooses for a document may be this one.
    void showItemsInFileManager(const std::vector<QUrl>& items);

protected:
    // Asks the desktop's file manager to show `items` selected; false where
    // none offers that. The desktop's asks over the session bus
    // (QFFileManagerService.h), and opens the folders after all where the
    // file manager fails the call.
    virtual bool selectItemsInFileManager(const std::vector<QUrl>& items);
    // The bus on which the desktop's file manager is asked: the session
    // bus.
    virtual QDBusConnection fileManagerBus() const;
    // Opens each distinct folder of `items` once.
    void openFoldersOfItems(const std::vector<QUrl>& items);
};
