#pragma once
// QFOpenRequest: how a later launch of the application hands its files, or
// its wish for a new window, to the application that already runs for the
// same user on the same display, over a local socket that the running one
// listens on (QFOpenRequestServer.h). It stands in for the desktop giving
// opened files to the running application.
//
// A request is the magic "LFOPEN1\n", the length of its body as four bytes
// big-endian, then the body: absolute paths, each ended by a NUL byte; an
// empty body asks for a new window. The answer is one byte: 1 when the
// request was taken, 0 when it was refused. The socket takes nothing but
// paths to open, and is bounded: a body of more than kMaxBodySize bytes,
// a path that is empty, relative or longer than kMaxPathSize bytes, or a
// body that does not end with its last path's NUL is refused whole.
//
// Both ends talk only to a peer of their own user (the socket's peer
// credentials), whatever the socket file's folder allows.
//
// Threads: any; send blocks its caller until the answer or the deadline.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QFOpenRequest {
public:
    static constexpr std::string_view kMagic = "LFOPEN1\n";
    static constexpr size_t kHeaderSize = kMagic.size() + 4;
    // Far beyond a command line's worth of paths.
    static constexpr size_t kMaxBodySize = size_t(8) << 20;
    // PATH_MAX: the longest path the system opens, its NUL included.
    static constexpr size_t kMaxPathSize = 4096;

    enum class Result {
        Taken,
        Refused,
        // The application did not get the request: none listens, it is not
        // this user's, the request was not written whole before the
        // deadline, or the application closed the connection unanswered.
        NotDelivered,
        // The request was written whole but not answered before the
        // deadline: the application may still take it when it runs on.
        Unanswered,
    };

    // The request for `paths` (none: a new window).
    static QByteArray encode(const std::vector<std::string>& paths);
    // The body's size a header announces; nothing unless `header` starts
    // with the magic and holds the whole header.
    static std::optional<size_t> bodySize(const QByteArray& header);
    // The paths of a body, or nothing when it breaks the rules above.
    static std::optional<std::vector<std::string>> decodeBody(const QByteArray& body);

    // Hands `paths` to the application listening at `socketPath`.
    static Result send(const QString& socketPath, const std::vector<std::string>& paths,
                       QDeadlineTimer deadline);

    // Whether the process at the other end of the connected local socket
    // `descriptor` runs as this process's user.
    static bool peerIsThisUser(qintptr descriptor);
};
