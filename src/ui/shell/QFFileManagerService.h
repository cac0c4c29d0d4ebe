#pragma once
// QFFileManagerService: the desktop's file manager where it offers the
// freedesktop FileManager1 interface on a session bus, asked to show items
// selected in their folders (ShowItems). Such a file manager shows an item
// and never opens it.
//
// Threads: main thread only; `whenRefused` runs there.

#include <QDBusConnection>
#include <QUrl>

#include <functional>
#include <vector>

namespace QFFileManagerService {

inline constexpr const char* kServiceName = "org.freedesktop.FileManager1";
inline constexpr const char* kObjectPath = "/org/freedesktop/FileManager1";
inline constexpr const char* kInterfaceName = "org.freedesktop.FileManager1";

// Asks the file manager on `bus` to show `items` selected. False at once
// where the bus is not connected or has no such service, running or to be
// started; a call that the service then fails ends in `whenRefused`.
bool showItems(const QDBusConnection& bus, const std::vector<QUrl>& items,
               std::function<void()> whenRefused);

}  // namespace QFFileManagerService
