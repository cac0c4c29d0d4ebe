#pragma once
// The wire format of the messages exchanged with a helper process over a
// stream socket. Each frame is:
//
//   u32 length of the rest of the frame (little-endian, at most
//       kXPCMaxFrameSize)
//   u8  kind: 1 message, 2 message that awaits a reply, 3 reply
//   u64 message number (a reply carries the number of its message)
//   the message body, a dictionary value
//
// A value is a tag byte and its payload, integers little-endian:
//   'b' bool (one byte, 0 or 1)   'i' int64   'u' uint64   'd' double
//   's' string and 'D' data: u32 byte count, then the bytes
//   'a' array: u32 count, then the values
//   'o' dictionary: u32 count, then per entry a key (u32 byte count and
//       bytes) and a value; keys are unique
// Arrays and dictionaries nest at most kXPCMaxDepth deep. A frame that
// breaks any of these rules, or has bytes left over, is refused: the peer
// is not trusted to be well-formed.

#include "fontexport/XPCObject.h"
#include "platform/core/Result.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

inline constexpr size_t kXPCMaxFrameSize = size_t{64} << 20;
inline constexpr int kXPCMaxDepth = 16;

enum class XPCFrameKind : uint8_t {
    Message = 1,
    MessageAwaitingReply = 2,
    Reply = 3,
};

struct XPCFrame {
    XPCFrameKind kind = XPCFrameKind::Message;
    uint64_t messageID = 0;
    XPCDictionary body;
};

// The bytes of the frame, length prefix included; an error when it would
// exceed kXPCMaxFrameSize or nest too deep.
lf::Result<std::vector<uint8_t>> XPCEncodeFrame(const XPCFrame& frame);

// Gathers bytes as they arrive and cuts them into frames.
class XPCFrameReader {
public:
    void append(const uint8_t* bytes, size_t length);
    // The next complete frame, none while its bytes are still missing, or
    // the error that makes the stream unusable.
    lf::Result<std::optional<XPCFrame>> nextFrame();
    // Whether bytes of an unfinished frame are waiting.
    bool hasPartialFrame() const { return consumed_ < buffer_.size(); }

private:
    std::vector<uint8_t> buffer_;
    size_t consumed_ = 0;
};

// Blocking frame reads and writes on a stream socket, for a helper process
// that serves one connection. Reading at a clean end of the stream gives
// none.
lf::Result<std::optional<XPCFrame>> XPCReadFrame(int fd);
lf::Status XPCWriteFrame(int fd, const XPCFrame& frame);

// Domain of the errors of the exchange with a helper process.
inline constexpr const char* XPCConnectionErrorDomain = "XPCConnectionErrorDomain";
enum XPCConnectionErrorCode : int64_t {
    // The peer sent bytes that are not a valid frame.
    XPCConnectionErrorMalformedFrame = 1,
    // A message would exceed the frame size or nesting limit.
    XPCConnectionErrorMessageTooLarge = 2,
    // The connection ended (the peer closed it or exited, or was never started).
    XPCConnectionErrorInterrupted = 3,
};
lf::Error XPCMakeError(XPCConnectionErrorCode code, std::string description);
