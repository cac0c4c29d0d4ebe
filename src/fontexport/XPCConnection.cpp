#include "fontexport/XPCConnection.h"

#include "fontexport/PressletXPC.h"

#include <filesystem>

namespace {

// The running program's folder; empty when it cannot be found.
std::filesystem::path programFolder() {
    std::error_code error;
    auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : program.parent_path();
}

XPCDictionary xpcDictionary(const nlohmann::json& object) {
    XPCDictionary dictionary;
    applyValuesToXPCDictionary(object, dictionary);
    return dictionary;
}

}  // namespace

std::shared_ptr<XPCConnection> XPCConnection::create(
    std::unique_ptr<XPCSocketConnection> connection) {
    std::shared_ptr<XPCConnection> wrapper(new XPCConnection(std::move(connection)));
    std::weak_ptr<XPCConnection> weak = wrapper;
    wrapper->connection_->setEventHandler([weak](XPCEvent event) {
        if (auto strong = weak.lock()) strong->handleEvent(std::move(event));
    });
    return wrapper;
}

std::shared_ptr<XPCConnection> XPCConnection::createWithName(const std::string& serviceName) {
    std::string executable = serviceName.find('/') != std::string::npos
                                 ? serviceName
                                 : (programFolder() / serviceName).string();
    return create(XPCSocketConnection::spawn(executable, {}));
}

void XPCConnection::setTargetQueue(std::shared_ptr<lf::DispatchQueue> queue) {
    connection_->setTargetQueue(std::move(queue));
}

std::shared_ptr<lf::DispatchQueue> XPCConnection::targetQueue() const {
    return connection_->targetQueue();
}

void XPCConnection::suspend() {
    connection_->suspend();
}

void XPCConnection::resume() {
    connection_->resume();
}

void XPCConnection::sendMessage(const nlohmann::json& message) {
    connection_->send(xpcDictionary(message));
}

void XPCConnection::sendMessage(const nlohmann::json& message, ReplyHandler replyHandler) {
    connection_->send(xpcDictionary(message),
                      [replyHandler = std::move(replyHandler)](XPCReply reply) {
                          if (const auto* dictionary = std::get_if<XPCDictionary>(&reply))
                              replyHandler(dictionaryWithContentsOfXPCDictionary(*dictionary));
                      });
}

void XPCConnection::setErrorHandler(ErrorHandler handler) {
    std::lock_guard lock(handlersMutex_);
    errorHandler_ = std::move(handler);
}

void XPCConnection::setMessageHandler(MessageHandler handler) {
    std::lock_guard lock(handlersMutex_);
    messageHandler_ = std::move(handler);
}

void XPCConnection::handleEvent(XPCEvent event) {
    ErrorHandler errorHandler;
    MessageHandler messageHandler;
    {
        std::lock_guard lock(handlersMutex_);
        errorHandler = errorHandler_;
        messageHandler = messageHandler_;
    }
    if (std::holds_alternative<lf::Error>(event)) {
        if (errorHandler) errorHandler();
        return;
    }
    if (!messageHandler) return;
    const XPCMessage& message = std::get<XPCMessage>(event);
    nlohmann::json body = dictionaryWithContentsOfXPCDictionary(message.body);
    if (!message.replyID) {
        messageHandler(body, nullptr);
        return;
    }
    nlohmann::json reply = nlohmann::json::object();
    messageHandler(body, &reply);
    connection_->sendReply(*message.replyID, xpcDictionary(reply));
}
