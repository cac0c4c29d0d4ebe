#pragma once
// XPCConnection: a connection to a helper service that exchanges the
// program's dictionaries (JSON objects) with it, converted through
// PressletXPC.h, over an XPCSocketConnection.
//
// Handlers run on the target queue (the default global queue unless set),
// one at a time in arrival order. The error handler runs once when the
// connection fails (the service could not be started, died, or sent
// something unreadable); the failure itself is not passed on. A message
// handler answers incoming messages; when the peer awaits a reply, the
// handler fills the reply object, whose convertible entries are sent back.
//
// A new connection is suspended until resume(). Destroying the wrapper
// detaches it: events still in flight are dropped and a started service is
// stopped. Thread-safe.

#include "fontexport/XPCSocketConnection.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <memory>
#include <mutex>
#include <string>

class XPCConnection : public std::enable_shared_from_this<XPCConnection> {
public:
    using ErrorHandler = std::function<void()>;
    // `reply` is null when the peer awaits no reply.
    using MessageHandler =
        std::function<void(const nlohmann::json& message, nlohmann::json* reply)>;
    using ReplyHandler = std::function<void(const nlohmann::json& reply)>;

    // Over an existing connection.
    static std::shared_ptr<XPCConnection> create(std::unique_ptr<XPCSocketConnection> connection);
    // Starts the service: the executable of that name beside the running
    // program, or the executable at a path that names a folder.
    static std::shared_ptr<XPCConnection> createWithName(const std::string& serviceName);

    void setTargetQueue(std::shared_ptr<lf::DispatchQueue> queue);
    std::shared_ptr<lf::DispatchQueue> targetQueue() const;
    void suspend();
    void resume();

    // Sends the convertible entries of a JSON object.
    void sendMessage(const nlohmann::json& message);
    // The same, asking for a reply; a reply that is not a dictionary (the
    // connection failed first) is dropped without calling the handler.
    void sendMessage(const nlohmann::json& message, ReplyHandler replyHandler);

    void setErrorHandler(ErrorHandler handler);
    void setMessageHandler(MessageHandler handler);

private:
    explicit XPCConnection(std::unique_ptr<XPCSocketConnection> connection)
        : connection_(std::move(connection)) {}
    void handleEvent(XPCEvent event);

    std::unique_ptr<XPCSocketConnection> connection_;
    mutable std::mutex handlersMutex_;
    ErrorHandler errorHandler_;
    MessageHandler messageHandler_;
};
