#include "fontexport/SWOutputStream.h"

#include <cerrno>
#include <unistd.h>

long SWFileDescriptorOutputStream::write(const uint8_t* bytes, size_t length) {
    ssize_t written;
    do {
        written = ::write(fd_, bytes, length);
    } while (written < 0 && errno == EINTR);
    return static_cast<long>(written);
}
