// The desktop's workspace shows documents through a file manager on a bus
// of the test's own (a dbus-daemon that it starts): the items go to
// FileManager1's ShowItems, and where the file manager refuses the call,
// each distinct folder of them opens once, as where there is none.

#include "support/TestSupport.h"
#include "ui/shell/QFFileManagerService.h"
#include "ui/shell/QFWorkspace.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVirtualObject>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <memory>
#include <set>
#include <string>
#include <sys/prctl.h>
#include <vector>

namespace {

// How long a starting bus daemon is waited for; one that ends first is
// given up at once.
constexpr std::chrono::seconds kBusStartPatience{180};

// A message bus of the test's own, with no services to start and every
// name free to own; gone with the object.
class PrivateBus {
public:
    PrivateBus() {
        const QString daemon = QStandardPaths::findExecutable("dbus-daemon");
        if (daemon.isEmpty()) return;
        const std::string config = (folder_ / "bus.conf").string();
        lf::test::writeFile(config, R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=)" + folder_.path().string() +
                                        R"(</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)");
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // The bus goes with the test, even when it crashes.
        process_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        process_.start(daemon, {"--config-file=" + QString::fromStdString(config), "--nofork",
                                "--nopidfile", "--print-address=1"});
        // The address, a line of its own, once the bus takes connections.
        const auto deadline = std::chrono::steady_clock::now() + kBusStartPatience;
        while (!process_.canReadLine() && process_.state() != QProcess::NotRunning &&
               std::chrono::steady_clock::now() < deadline)
            process_.waitForReadyRead(100);
        if (process_.canReadLine()) address_ = QString::fromUtf8(process_.readLine()).trimmed();
    }
    ~PrivateBus() {
        for (const QString& name : connections_)
            QDBusConnection::disconnectFromBus(name);
        process_.terminate();
        // A grace to end by itself, then the end of a kill, however long.
        if (!process_.waitForFinished(5'000)) process_.kill();
        process_.waitForFinished(-1);
    }

    bool running() const { return !address_.isEmpty(); }
    // A new connection to the bus, closed with it.
    QDBusConnection newConnection() {
        const QString name = QStringLiteral("layerflow-test-bus-%1").arg(connections_.size());
        connections_.push_back(name);
        return QDBusConnection::connectToBus(address_, name);
    }

private:
    lf::test::TemporaryDirectory folder_;
    QProcess process_;
    QString address_;
    std::vector<QString> connections_;
};

// A file manager that records the items it is asked to show and shows
// them, or refuses every call; any other method it answers at once.
class FakeFileManager final : public QDBusVirtualObject {
public:
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() != QLatin1String("ShowItems")) {
            connection.send(message.createReply());
            return true;
        }
        shownItems.push_back(message.arguments().value(0).toStringList());
        connection.send(refuses ? message.createErrorReply(QDBusError::Failed, "refused")
                                : message.createReply());
        return true;
    }
    QString introspect(const QString&) const override { return {}; }

    bool refuses = false;
    std::vector<QStringList> shownItems;
};

// The desktop's workspace, asking the file manager on `bus` and recording
// what it opens.
class WorkspaceOnBus final : public QFWorkspace {
public:
    explicit WorkspaceOnBus(QDBusConnection bus) : bus_(std::move(bus)) {}
    void openURL(const QUrl& url) override { openedURLs.push_back(url); }

    std::vector<QUrl> openedURLs;

protected:
    QDBusConnection fileManagerBus() const override { return bus_; }

private:
    QDBusConnection bus_;
};

TEST(QFWorkspace, ShowsItemsThroughTheFileManagerOrOpensTheirFoldersWhenItRefuses) {
    // Before the bus, so that it outlives the connection that serves it.
    FakeFileManager fileManager;
    PrivateBus bus;
    LF_REQUIRE_INSTALLED(bus.running(), "dbus-daemon");
    QDBusConnection service = bus.newConnection();
    ASSERT_TRUE(service.registerVirtualObject(QFFileManagerService::kObjectPath, &fileManager));
    ASSERT_TRUE(service.registerService(QFFileManagerService::kServiceName));
    const QDBusConnection client = bus.newConnection();
    ASSERT_TRUE(client.isConnected());
    auto workspace = std::make_shared<WorkspaceOnBus>(client);
    QFWorkspace::setShared(workspace);
    struct Restore {
        ~Restore() { QFWorkspace::setShared(nullptr); }
    } restore;

    lf::test::TemporaryDirectory folder;
    const std::vector<QUrl> items{
        QUrl::fromLocalFile(QString::fromStdString((folder / "one/A.psd").string())),
        QUrl::fromLocalFile(QString::fromStdString((folder / "two/B.psd").string())),
        QUrl::fromLocalFile(QString::fromStdString((folder / "one/C.psd").string()))};
    // Shows the items, and waits for a call made after them to be answered:
    // the file manager answers in order, so the answer to ShowItems has been
    // handled by then.
    const auto show = [&] {
        workspace->showItemsInFileManager(items);
        QDBusPendingCallWatcher after(client.asyncCall(QDBusMessage::createMethodCall(
            QFFileManagerService::kServiceName, QFFileManagerService::kObjectPath,
            QFFileManagerService::kInterfaceName, "After")));
        QEventLoop loop;
        QObject::connect(&after, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(lf::test::kPatience, &loop, &QEventLoop::quit);
        loop.exec();
        ASSERT_TRUE(after.isFinished());
    };

    show();
    ASSERT_EQ(fileManager.shownItems.size(), 1u);
    EXPECT_EQ(fileManager.shownItems[0],
              (QStringList{items[0].toString(), items[1].toString(), items[2].toString()}));
    EXPECT_TRUE(workspace->openedURLs.empty()) << "a folder opened beside the file manager";

    fileManager.refuses = true;
    show();
    EXPECT_EQ(fileManager.shownItems.size(), 2u);
    std::multiset<std::string> opened;
    for (const QUrl& url : workspace->openedURLs)
        opened.insert(url.toLocalFile().toStdString());
    EXPECT_EQ(opened,
              (std::multiset<std::string>{(folder / "one").string(), (folder / "two").string()}))
        << "each folder of the items opens once";
}

}  // namespace
