#include "fontexport/XPCSocketConnection.h"

#include "platform/core/Assert.h"
#include "platform/core/Log.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/processes/ChildProcess.h"

#include <cerrno>
#include <deque>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr size_t kReadChunk = size_t{64} << 10;

}  // namespace

struct XPCSocketConnection::State {
    using Delivery = std::function<void(State&)>;

    std::mutex mutex;
    lf::FileDescriptor socket;
    lf::FileDescriptor wake;

    std::deque<std::vector<uint8_t>> outgoing;  // encoded frames not yet written
    size_t outgoingOffset = 0;                  // bytes of the first frame already written
    std::map<uint64_t, ReplyHandler> pendingReplies;
    uint64_t nextMessageID = 1;

    EventHandler eventHandler;
    std::shared_ptr<lf::DispatchQueue> targetQueue = lf::DispatchQueue::global();
    std::deque<Delivery> deliveries;
    int suspendCount = 1;
    bool draining = false;
    bool detached = false;
    bool stopping = false;
    std::optional<lf::Error> failure;

    std::shared_ptr<State> self() { return selfReference.lock(); }
    std::weak_ptr<State> selfReference;

    void wakeIOThread() {
        if (!wake.isOpen()) return;
        uint64_t one = 1;
        [[maybe_unused]] auto written = ::write(wake.get(), &one, sizeof one);
    }

    void enqueueLocked(Delivery delivery) {
        deliveries.push_back(std::move(delivery));
        scheduleLocked();
    }

    // One drain at a time keeps deliveries in order on a concurrent queue.
    void scheduleLocked() {
        if (draining || suspendCount > 0 || deliveries.empty()) return;
        draining = true;
        targetQueue->async([state = self()] { state->drain(); });
    }

    void drain() {
        for (;;) {
            Delivery delivery;
            {
                std::lock_guard lock(mutex);
                if (detached || suspendCount > 0 || deliveries.empty()) {
                    draining = false;
                    return;
                }
                delivery = std::move(deliveries.front());
                deliveries.pop_front();
            }
            delivery(*this);
        }
    }

    void enqueueEventLocked(XPCEvent event) {
        enqueueLocked([event = std::move(event)](State& state) mutable {
            EventHandler handler;
            {
                std::lock_guard lock(state.mutex);
                if (state.detached) return;
                handler = state.eventHandler;
            }
            if (handler) handler(std::move(event));
        });
    }

    void enqueueReplyLocked(ReplyHandler handler, XPCReply reply) {
        enqueueLocked(
            [handler = std::move(handler), reply = std::move(reply)](State& state) mutable {
                {
                    std::lock_guard lock(state.mutex);
                    if (state.detached) return;
                }
                handler(std::move(reply));
            });
    }

    // The connection is over: every waiting reply gets the error, then the
    // event handler gets it, once.
    void failLocked(lf::Error error) {
        if (failure) return;
        failure = error;
        for (auto& [id, handler] : pendingReplies)
            enqueueReplyLocked(std::move(handler), error);
        pendingReplies.clear();
        outgoing.clear();
        enqueueEventLocked(std::move(error));
    }

    void fail(lf::Error error) {
        std::lock_guard lock(mutex);
        failLocked(std::move(error));
    }

    void queueFrame(const XPCFrame& frame, ReplyHandler replyHandler);
    void run();
    bool writeSome();
    bool readSome(XPCFrameReader& reader);
    void receive(XPCFrame frame);
};

void XPCSocketConnection::State::queueFrame(const XPCFrame& frame, ReplyHandler replyHandler) {
    auto bytes = XPCEncodeFrame(frame);
    std::lock_guard lock(mutex);
    if (!bytes) {
        // The peer would wait for a message that cannot go out: the exchange
        // is over, and the handlers hear so at once.
        lf::log("XPCSocketConnection: message not sent: {}", lf::describe(bytes.error()));
        failLocked(bytes.error());
        wakeIOThread();
    }
    if (failure) {
        if (replyHandler) enqueueReplyLocked(std::move(replyHandler), *failure);
        return;
    }
    if (replyHandler) pendingReplies.emplace(frame.messageID, std::move(replyHandler));
    outgoing.push_back(std::move(*bytes));
    wakeIOThread();
}

void XPCSocketConnection::State::run() {
    XPCFrameReader reader;
    for (;;) {
        bool wantsToWrite;
        {
            std::lock_guard lock(mutex);
            if (stopping || failure) return;
            wantsToWrite = !outgoing.empty();
        }
        pollfd descriptors[2] = {
            {socket.get(), static_cast<short>(POLLIN | (wantsToWrite ? POLLOUT : 0)), 0},
            {wake.get(), POLLIN, 0}};
        if (::poll(descriptors, 2, -1) < 0) {
            if (errno == EINTR) continue;
            fail(lf::Error::posix(errno, "poll connection"));
            return;
        }
        if (descriptors[1].revents & POLLIN) {
            uint64_t count;
            [[maybe_unused]] auto read = ::read(wake.get(), &count, sizeof count);
        }
        if ((descriptors[0].revents & POLLOUT) && !writeSome()) return;
        if ((descriptors[0].revents & (POLLIN | POLLHUP | POLLERR)) && !readSome(reader)) return;
    }
}

bool XPCSocketConnection::State::writeSome() {
    std::lock_guard lock(mutex);
    while (!outgoing.empty()) {
        const auto& frame = outgoing.front();
        ssize_t written = ::send(socket.get(), frame.data() + outgoingOffset,
                                 frame.size() - outgoingOffset, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (written < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
            failLocked(XPCMakeError(XPCConnectionErrorInterrupted,
                                    lf::describe(lf::Error::posix(errno, "write to connection"))));
            return false;
        }
        outgoingOffset += static_cast<size_t>(written);
        if (outgoingOffset == frame.size()) {
            outgoing.pop_front();
            outgoingOffset = 0;
        }
    }
    return true;
}

bool XPCSocketConnection::State::readSome(XPCFrameReader& reader) {
    uint8_t buffer[kReadChunk];
    ssize_t received = ::recv(socket.get(), buffer, sizeof buffer, MSG_DONTWAIT);
    if (received < 0) {
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) return true;
        fail(XPCMakeError(XPCConnectionErrorInterrupted,
                          lf::describe(lf::Error::posix(errno, "read from connection"))));
        return false;
    }
    if (received == 0) {
        fail(XPCMakeError(XPCConnectionErrorInterrupted, "the peer closed the connection"));
        return false;
    }
    reader.append(buffer, static_cast<size_t>(received));
    for (;;) {
        auto frame = reader.nextFrame();
        if (!frame) {
            fail(frame.error());
            return false;
        }
        if (!*frame) return true;
        receive(std::move(**frame));
    }
}

void XPCSocketConnection::State::receive(XPCFrame frame) {
    std::lock_guard lock(mutex);
    switch (frame.kind) {
        case XPCFrameKind::Message:
            enqueueEventLocked(XPCMessage{std::move(frame.body), std::nullopt});
            break;
        case XPCFrameKind::MessageAwaitingReply:
            enqueueEventLocked(XPCMessage{std::move(frame.body), frame.messageID});
            break;
        case XPCFrameKind::Reply: {
            // A reply to nothing we asked is dropped.
            auto pending = pendingReplies.find(frame.messageID);
            if (pending == pendingReplies.end()) break;
            enqueueReplyLocked(std::move(pending->second), std::move(frame.body));
            pendingReplies.erase(pending);
            break;
        }
    }
}

XPCSocketConnection::XPCSocketConnection(std::shared_ptr<State> state) : state_(std::move(state)) {
    state_->selfReference = state_;
}

std::unique_ptr<XPCSocketConnection> XPCSocketConnection::failed(lf::Error error) {
    auto state = std::make_shared<State>();
    std::unique_ptr<XPCSocketConnection> connection(new XPCSocketConnection(state));
    state->fail(XPCMakeError(XPCConnectionErrorInterrupted, lf::describe(error)));
    return connection;
}

std::unique_ptr<XPCSocketConnection> XPCSocketConnection::adopt(lf::FileDescriptor socket) {
    lf::FileDescriptor wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake.isOpen()) return failed(lf::Error::posix(errno, "eventfd for a connection"));
    auto state = std::make_shared<State>();
    state->socket = std::move(socket);
    state->wake = std::move(wake);
    std::unique_ptr<XPCSocketConnection> connection(new XPCSocketConnection(state));
    connection->ioThread_ = std::thread([state] { state->run(); });
    return connection;
}

std::unique_ptr<XPCSocketConnection> XPCSocketConnection::spawn(
    const std::string& executable, const std::vector<std::string>& arguments) {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return failed(lf::Error::posix(errno, "socketpair for " + executable));
    lf::FileDescriptor ours(ends[0]);
    lf::FileDescriptor theirs(ends[1]);
    // Above the number the helper expects, so that handing it over is a
    // real dup2, which clears close-on-exec.
    lf::FileDescriptor handedOver(::fcntl(theirs.get(), F_DUPFD_CLOEXEC, kHelperDescriptor + 1));
    if (!handedOver.isOpen()) return failed(lf::Error::posix(errno, "dup for " + executable));

    lf::ChildProcess::Options options;
    options.arguments.push_back(executable);
    options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
    options.descriptors.emplace_back(handedOver.get(), kHelperDescriptor);
    options.newProcessGroup = true;
    auto helper = lf::ChildProcess::spawn(options);
    if (!helper) return failed(helper.error());
    auto connection = adopt(std::move(ours));
    connection->helper_ = std::make_unique<lf::ChildProcess>(std::move(*helper));
    return connection;
}

XPCSocketConnection::~XPCSocketConnection() {
    std::deque<State::Delivery> dropped;
    std::map<uint64_t, ReplyHandler> unanswered;
    EventHandler handler;
    {
        std::lock_guard lock(state_->mutex);
        state_->detached = true;
        state_->stopping = true;
        dropped.swap(state_->deliveries);
        unanswered.swap(state_->pendingReplies);
        handler.swap(state_->eventHandler);
        state_->wakeIOThread();
    }
    if (ioThread_.joinable()) ioThread_.join();
    {
        // The helper sees the end of its input and exits.
        std::lock_guard lock(state_->mutex);
        state_->socket = lf::FileDescriptor();
    }
    if (helper_) helper_->terminate(kExitGrace);
}

void XPCSocketConnection::setEventHandler(EventHandler handler) {
    std::lock_guard lock(state_->mutex);
    state_->eventHandler = std::move(handler);
}

void XPCSocketConnection::setTargetQueue(std::shared_ptr<lf::DispatchQueue> queue) {
    std::lock_guard lock(state_->mutex);
    state_->targetQueue = queue ? std::move(queue) : lf::DispatchQueue::global();
}

std::shared_ptr<lf::DispatchQueue> XPCSocketConnection::targetQueue() const {
    std::lock_guard lock(state_->mutex);
    return state_->targetQueue;
}

void XPCSocketConnection::suspend() {
    std::lock_guard lock(state_->mutex);
    ++state_->suspendCount;
}

void XPCSocketConnection::resume() {
    std::lock_guard lock(state_->mutex);
    LF_PRECONDITION(state_->suspendCount > 0, "connection resumed more often than suspended");
    --state_->suspendCount;
    state_->scheduleLocked();
}

void XPCSocketConnection::send(XPCDictionary message) {
    uint64_t id;
    {
        std::lock_guard lock(state_->mutex);
        id = state_->nextMessageID++;
    }
    state_->queueFrame(XPCFrame{XPCFrameKind::Message, id, std::move(message)}, nullptr);
}

void XPCSocketConnection::send(XPCDictionary message, ReplyHandler replyHandler) {
    uint64_t id;
    {
        std::lock_guard lock(state_->mutex);
        id = state_->nextMessageID++;
    }
    state_->queueFrame(XPCFrame{XPCFrameKind::MessageAwaitingReply, id, std::move(message)},
                       std::move(replyHandler));
}

void XPCSocketConnection::sendReply(uint64_t replyID, XPCDictionary reply) {
    state_->queueFrame(XPCFrame{XPCFrameKind::Reply, replyID, std::move(reply)}, nullptr);
}
