#include "fontexport/XPCMessageCodec.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr size_t kLengthPrefixSize = 4;
constexpr size_t kHeaderSize = 1 + 8;

class Encoder {
public:
    lf::Status value(const XPCObject& object, int depth) {
        return std::visit([&](const auto& v) { return encode(v, depth); }, object.value);
    }
    std::vector<uint8_t> take() { return std::move(bytes_); }
    void integer(uint64_t value, int byteCount) {
        for (int i = 0; i < byteCount; ++i)
            bytes_.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
    void byte(uint8_t value) { bytes_.push_back(value); }
    lf::Status dictionary(const XPCDictionary& dictionary, int depth) {
        LF_TRY(enter(depth));
        byte('o');
        LF_TRY(count(dictionary.size()));
        for (const auto& [key, entry] : dictionary) {
            LF_TRY(bytes(key));
            LF_TRY(value(entry, depth + 1));
        }
        return {};
    }

private:
    lf::Status encode(bool v, int) {
        byte('b');
        byte(v ? 1 : 0);
        return {};
    }
    lf::Status encode(int64_t v, int) {
        byte('i');
        integer(static_cast<uint64_t>(v), 8);
        return {};
    }
    lf::Status encode(uint64_t v, int) {
        byte('u');
        integer(v, 8);
        return {};
    }
    lf::Status encode(double v, int) {
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        byte('d');
        integer(bits, 8);
        return {};
    }
    lf::Status encode(const std::string& v, int) {
        byte('s');
        return bytes(v);
    }
    lf::Status encode(const lf::Data& v, int) {
        byte('D');
        return bytes(v.stringView());
    }
    lf::Status encode(const XPCArray& array, int depth) {
        LF_TRY(enter(depth));
        byte('a');
        LF_TRY(count(array.size()));
        for (const auto& element : array)
            LF_TRY(value(element, depth + 1));
        return {};
    }
    lf::Status encode(const XPCDictionary& v, int depth) { return dictionary(v, depth); }

    lf::Status enter(int depth) {
        if (depth >= kXPCMaxDepth)
            return XPCMakeError(XPCConnectionErrorMessageTooLarge, "message nests too deep");
        return {};
    }
    lf::Status count(size_t n) {
        if (n > kXPCMaxFrameSize)
            return XPCMakeError(XPCConnectionErrorMessageTooLarge, "message too large");
        integer(n, 4);
        return {};
    }
    lf::Status bytes(std::string_view text) {
        LF_TRY(count(text.size()));
        if (bytes_.size() + text.size() > kXPCMaxFrameSize)
            return XPCMakeError(XPCConnectionErrorMessageTooLarge, "message too large");
        bytes_.insert(bytes_.end(), text.begin(), text.end());
        return {};
    }

    std::vector<uint8_t> bytes_;
};

lf::Error malformed(std::string what) {
    return XPCMakeError(XPCConnectionErrorMalformedFrame, "malformed frame: " + what);
}

// Reads one frame's body; every read is checked against what remains.
class Decoder {
public:
    Decoder(const uint8_t* bytes, size_t length) : cursor_(bytes), end_(bytes + length) {}

    bool atEnd() const { return cursor_ == end_; }

    lf::Result<uint64_t> integer(int byteCount) {
        if (remaining() < static_cast<size_t>(byteCount)) return malformed("truncated number");
        uint64_t value = 0;
        for (int i = 0; i < byteCount; ++i)
            value |= uint64_t{cursor_[i]} << (8 * i);
        cursor_ += byteCount;
        return value;
    }

    lf::Result<XPCObject> value(int depth) {
        auto tag = integer(1);
        if (!tag) return tag.error();
        switch (*tag) {
            case 'b': {
                auto v = integer(1);
                if (!v) return v.error();
                if (*v > 1) return malformed("boolean other than 0 or 1");
                return XPCObject(*v == 1);
            }
            case 'i': {
                auto v = integer(8);
                if (!v) return v.error();
                return XPCObject(static_cast<int64_t>(*v));
            }
            case 'u': {
                auto v = integer(8);
                if (!v) return v.error();
                return XPCObject(*v);
            }
            case 'd': {
                auto v = integer(8);
                if (!v) return v.error();
                double d;
                std::memcpy(&d, &*v, sizeof d);
                return XPCObject(d);
            }
            case 's': {
                auto v = bytes();
                if (!v) return v.error();
                return XPCObject(std::string(*v));
            }
            case 'D': {
                auto v = bytes();
                if (!v) return v.error();
                return XPCObject(lf::Data::copy(v->data(), v->size()));
            }
            case 'a':
                return array(depth);
            case 'o': {
                auto v = dictionary(depth);
                if (!v) return v.error();
                return XPCObject(std::move(*v));
            }
        }
        return malformed(fmt::format("unknown value tag {}", *tag));
    }

    // The dictionary after its tag.
    lf::Result<XPCDictionary> dictionary(int depth) {
        if (depth >= kXPCMaxDepth) return malformed("values nest too deep");
        // Each entry takes at least a key length, a tag and a byte.
        auto n = count(6);
        if (!n) return n.error();
        XPCDictionary result;
        for (uint64_t i = 0; i < *n; ++i) {
            auto key = bytes();
            if (!key) return key.error();
            auto entry = value(depth + 1);
            if (!entry) return entry.error();
            if (!result.emplace(std::string(*key), std::move(*entry)).second)
                return malformed("repeated dictionary key");
        }
        return result;
    }

private:
    size_t remaining() const { return static_cast<size_t>(end_ - cursor_); }

    // A count of elements, each at least `minimumSize` bytes long, that the
    // rest of the frame can hold.
    lf::Result<uint64_t> count(size_t minimumSize) {
        auto n = integer(4);
        if (!n) return n.error();
        if (*n > remaining() / minimumSize) return malformed("count larger than the frame");
        return *n;
    }

    lf::Result<std::string_view> bytes() {
        auto n = count(1);
        if (!n) return n.error();
        std::string_view v(reinterpret_cast<const char*>(cursor_), *n);
        cursor_ += *n;
        return v;
    }

    lf::Result<XPCObject> array(int depth) {
        if (depth >= kXPCMaxDepth) return malformed("values nest too deep");
        auto n = count(2);
        if (!n) return n.error();
        XPCArray result;
        result.reserve(*n);
        for (uint64_t i = 0; i < *n; ++i) {
            auto element = value(depth + 1);
            if (!element) return element.error();
            result.push_back(std::move(*element));
        }
        return XPCObject(std::move(result));
    }

    const uint8_t* cursor_;
    const uint8_t* end_;
};

lf::Result<XPCFrame> decodeFrameBody(const uint8_t* bytes, size_t length) {
    Decoder decoder(bytes, length);
    auto kind = decoder.integer(1);
    if (!kind) return kind.error();
    if (*kind < 1 || *kind > 3) return malformed(fmt::format("unknown frame kind {}", *kind));
    auto messageID = decoder.integer(8);
    if (!messageID) return messageID.error();
    auto tag = decoder.integer(1);
    if (!tag) return tag.error();
    if (*tag != 'o') return malformed("message body is not a dictionary");
    auto body = decoder.dictionary(0);
    if (!body) return body.error();
    if (!decoder.atEnd()) return malformed("bytes after the message body");
    return XPCFrame{static_cast<XPCFrameKind>(*kind), *messageID, std::move(*body)};
}

uint32_t readLength(const uint8_t* bytes) {
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
           uint32_t{bytes[3]} << 24;
}

lf::Status checkFrameLength(uint32_t length) {
    if (length < kHeaderSize || length > kXPCMaxFrameSize)
        return malformed(fmt::format("frame length {}", length));
    return {};
}

}  // namespace

lf::Error XPCMakeError(XPCConnectionErrorCode code, std::string description) {
    return lf::Error(XPCConnectionErrorDomain, code,
                     {{lf::kLocalizedDescriptionKey, std::move(description)}});
}

lf::Result<std::vector<uint8_t>> XPCEncodeFrame(const XPCFrame& frame) {
    Encoder encoder;
    encoder.integer(0, kLengthPrefixSize);
    encoder.byte(static_cast<uint8_t>(frame.kind));
    encoder.integer(frame.messageID, 8);
    LF_TRY(encoder.dictionary(frame.body, 0));
    std::vector<uint8_t> bytes = encoder.take();
    size_t length = bytes.size() - kLengthPrefixSize;
    if (length > kXPCMaxFrameSize)
        return XPCMakeError(XPCConnectionErrorMessageTooLarge, "message too large");
    for (size_t i = 0; i < kLengthPrefixSize; ++i)
        bytes[i] = static_cast<uint8_t>(length >> (8 * i));
    return bytes;
}

void XPCFrameReader::append(const uint8_t* bytes, size_t length) {
    // Drop what earlier frames used before the buffer grows again.
    if (consumed_ == buffer_.size() || consumed_ >= (size_t{1} << 16)) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<ptrdiff_t>(consumed_));
        consumed_ = 0;
    }
    buffer_.insert(buffer_.end(), bytes, bytes + length);
}

lf::Result<std::optional<XPCFrame>> XPCFrameReader::nextFrame() {
    size_t available = buffer_.size() - consumed_;
    if (available < kLengthPrefixSize) return std::optional<XPCFrame>();
    uint32_t length = readLength(buffer_.data() + consumed_);
    LF_TRY(checkFrameLength(length));
    if (available - kLengthPrefixSize < length) return std::optional<XPCFrame>();
    auto frame = decodeFrameBody(buffer_.data() + consumed_ + kLengthPrefixSize, length);
    if (!frame) return frame.error();
    consumed_ += kLengthPrefixSize + length;
    return std::optional<XPCFrame>(std::move(*frame));
}

namespace {

// Reads exactly `length` bytes; false at a clean end before the first byte.
lf::Result<bool> readExactly(int fd, uint8_t* bytes, size_t length) {
    size_t done = 0;
    while (done < length) {
        ssize_t n = ::read(fd, bytes + done, length - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return lf::Error::posix(errno, "read from connection");
        if (n == 0) {
            if (done == 0) return false;
            return XPCMakeError(XPCConnectionErrorInterrupted, "connection ended inside a frame");
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

lf::Result<std::optional<XPCFrame>> XPCReadFrame(int fd) {
    uint8_t prefix[kLengthPrefixSize];
    auto started = readExactly(fd, prefix, sizeof prefix);
    if (!started) return started.error();
    if (!*started) return std::optional<XPCFrame>();
    uint32_t length = readLength(prefix);
    LF_TRY(checkFrameLength(length));
    std::vector<uint8_t> body(length);
    auto complete = readExactly(fd, body.data(), body.size());
    if (!complete) return complete.error();
    if (!*complete)
        return XPCMakeError(XPCConnectionErrorInterrupted, "connection ended inside a frame");
    auto frame = decodeFrameBody(body.data(), body.size());
    if (!frame) return frame.error();
    return std::optional<XPCFrame>(std::move(*frame));
}

lf::Status XPCWriteFrame(int fd, const XPCFrame& frame) {
    auto bytes = XPCEncodeFrame(frame);
    if (!bytes) return bytes.error();
    size_t done = 0;
    while (done < bytes->size()) {
        // MSG_NOSIGNAL: a peer that went away is an error here, not SIGPIPE.
        ssize_t n = ::send(fd, bytes->data() + done, bytes->size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return lf::Error::posix(errno, "write to connection");
        done += static_cast<size_t>(n);
    }
    return {};
}
