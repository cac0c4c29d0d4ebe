// A stand-in for the TTX converter. It reads one request from descriptor 3
// and then, by LF_FAKE_CONVERTER_MODE:
//   die     exits without replying;
//   hang    never replies and ignores the end of the connection;
//   empty   replies with empty font data and a log;
//   fixed   replies with the fonts "OTTO fake" and "wOFF fake" and then
//           serves further requests the same way.

#include "fontexport/XPCMessageCodec.h"
#include "fontexport/XPCSocketConnection.h"

#include <csignal>
#include <cstdlib>
#include <string>
#include <unistd.h>

int main() {
    const int fd = XPCSocketConnection::kHelperDescriptor;
    const char* variable = std::getenv("LF_FAKE_CONVERTER_MODE");
    const std::string mode = variable ? variable : "";
    std::signal(SIGPIPE, SIG_IGN);
    for (;;) {
        auto frame = XPCReadFrame(fd);
        if (!frame || !*frame) return 0;
        if (mode == "die") return 3;
        if (mode == "hang") {
            std::signal(SIGTERM, SIG_IGN);
            for (;;)
                ::pause();
        }
        XPCDictionary reply;
        if (mode == "empty") {
            reply = {{"sfntData", lf::Data()},
                     {"woffData", lf::Data()},
                     {"ttxLog", std::string("fake converter: nothing compiled")}};
        } else {
            reply = {{"sfntData", lf::Data::fromString("OTTO fake")},
                     {"woffData", lf::Data::fromString("wOFF fake")}};
        }
        if (!XPCWriteFrame(fd, XPCFrame{XPCFrameKind::Reply, (*frame)->messageID, reply})) return 1;
    }
}
