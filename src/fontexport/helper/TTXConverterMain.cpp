// The TTX converter: a helper process that the font exporter starts for
// each conversion. It serves the connection on descriptor 3: every message
// that awaits a reply and holds "ttxData" (a TTX document) is compiled with
// fontTools and answered with "sfntData", "woffData" and "ttxLog". It exits
// when the connection closes, stopping a compilation in progress.

#include "TTXCompiler.h"
#include "fontexport/XPCMessageCodec.h"
#include "fontexport/XPCSocketConnection.h"
#include "platform/core/Log.h"

#include <chrono>
#include <csignal>
#include <poll.h>

namespace {

// What the converter allows fontTools for one document; shorter than the
// exporter waits, so a reply with the log still reaches it.
constexpr auto kCompilationTimeLimit = std::chrono::seconds(60);

// Whether the exporter still holds its end of the connection.
bool peerIsConnected(int fd) {
    pollfd descriptor{fd, POLLRDHUP, 0};
    if (::poll(&descriptor, 1, 0) < 0) return true;
    return !(descriptor.revents & (POLLRDHUP | POLLHUP | POLLERR));
}

XPCDictionary convert(const XPCDictionary& request, int fd) {
    XPCDictionary reply;
    auto document = request.find("ttxData");
    const lf::Data* ttx = document == request.end() ? nullptr : document->second.get<lf::Data>();
    if (!ttx) {
        reply["ttxLog"] = std::string("the request holds no TTX document (\"ttxData\")");
        return reply;
    }
    TTXCompilation compilation =
        compileTTX(*ttx, std::chrono::steady_clock::now() + kCompilationTimeLimit,
                   [fd] { return peerIsConnected(fd); });
    if (compilation.sfntData) reply["sfntData"] = *compilation.sfntData;
    if (compilation.woffData) reply["woffData"] = *compilation.woffData;
    reply["ttxLog"] = std::move(compilation.log);
    return reply;
}

}  // namespace

int main() {
    const int fd = XPCSocketConnection::kHelperDescriptor;
    std::signal(SIGPIPE, SIG_IGN);
    for (;;) {
        auto frame = XPCReadFrame(fd);
        if (!frame) {
            lf::log("TTX converter: {}", lf::describe(frame.error()));
            return 1;
        }
        if (!*frame) return 0;
        if ((*frame)->kind != XPCFrameKind::MessageAwaitingReply) continue;
        XPCDictionary reply = convert((*frame)->body, fd);
        if (!peerIsConnected(fd)) return 0;
        auto sent = XPCWriteFrame(fd, XPCFrame{XPCFrameKind::Reply, (*frame)->messageID, reply});
        if (!sent) {
            lf::log("TTX converter: {}", lf::describe(sent.error()));
            return 1;
        }
    }
}
