#pragma once
// XPCSocketConnection: a message connection to a peer process over a
// Unix-domain stream socket, in frames of XPCMessageCodec.h. It stands
// where the system's XPC connection stood: messages with or without a
// reply, events delivered on a dispatch queue, suspension.
//
// A connection is made either by starting a helper executable (which gets
// the other end of a socket pair as descriptor 3 and leads its own process
// group) or over a socket that a process was handed. One I/O thread per
// connection reads and writes the socket; nothing the peer sends blocks the
// caller.
//
// Events (incoming messages, then one error when the connection ends) and
// replies are delivered one at a time, in the order they arrived, on the
// target queue (the default global queue unless set), and only while the
// connection is not suspended. A new connection is suspended until
// resume(). A message awaiting a reply gets the reply or, once the
// connection has failed, the error. A message too large for a frame ends
// the connection.
//
// Destroying the connection detaches every handler (events still in flight
// are dropped), closes the socket and, for a started helper, gives it a
// moment to exit before killing its process group, and reaps it.
// Thread-safe.

#include "fontexport/XPCMessageCodec.h"
#include "platform/core/Error.h"
#include "platform/files/FileDescriptor.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

namespace lf {
class ChildProcess;
class DispatchQueue;
}  // namespace lf

// An incoming message; `replyID` is set when the peer awaits a reply.
struct XPCMessage {
    XPCDictionary body;
    std::optional<uint64_t> replyID;
};
using XPCEvent = std::variant<XPCMessage, lf::Error>;
using XPCReply = std::variant<XPCDictionary, lf::Error>;

class XPCSocketConnection {
public:
    using EventHandler = std::function<void(XPCEvent)>;
    using ReplyHandler = std::function<void(XPCReply)>;

    // How long a helper may take to exit once its connection closed.
    static constexpr std::chrono::milliseconds kExitGrace{500};
    // The descriptor number of the socket in a started helper.
    static constexpr int kHelperDescriptor = 3;

    // Starts `executable` with the argument vector {executable, arguments...}.
    // A helper that cannot be started gives a connection that reports the
    // failure as its error event once resumed.
    static std::unique_ptr<XPCSocketConnection> spawn(const std::string& executable,
                                                      const std::vector<std::string>& arguments);
    // Over a connected stream socket, which the connection then owns.
    static std::unique_ptr<XPCSocketConnection> adopt(lf::FileDescriptor socket);

    ~XPCSocketConnection();
    XPCSocketConnection(const XPCSocketConnection&) = delete;
    XPCSocketConnection& operator=(const XPCSocketConnection&) = delete;

    void setEventHandler(EventHandler handler);
    void setTargetQueue(std::shared_ptr<lf::DispatchQueue> queue);
    std::shared_ptr<lf::DispatchQueue> targetQueue() const;

    // Suspensions nest; each resume() undoes one suspend() (or the initial
    // suspension). Resuming more often than suspended is a programming error.
    void suspend();
    void resume();

    void send(XPCDictionary message);
    void send(XPCDictionary message, ReplyHandler replyHandler);
    // Answers a message that awaits a reply.
    void sendReply(uint64_t replyID, XPCDictionary reply);

    struct State;

private:
    explicit XPCSocketConnection(std::shared_ptr<State> state);
    // A connection that only reports `error` once resumed.
    static std::unique_ptr<XPCSocketConnection> failed(lf::Error error);

    std::shared_ptr<State> state_;
    std::thread ioThread_;
    std::unique_ptr<lf::ChildProcess> helper_;
};
