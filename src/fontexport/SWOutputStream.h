#pragma once
// SWOutputStream: a byte sink that may accept fewer bytes than offered, as
// pipes and sockets do. SWFileDescriptorOutputStream writes to a file
// descriptor that it does not own.

#include <cstddef>
#include <cstdint>

class SWOutputStream {
public:
    virtual ~SWOutputStream() = default;
    // Writes up to `length` bytes; returns how many were accepted, 0 or a
    // negative number when the stream takes no more.
    virtual long write(const uint8_t* bytes, size_t length) = 0;
};

class SWFileDescriptorOutputStream : public SWOutputStream {
public:
    explicit SWFileDescriptorOutputStream(int fd) : fd_(fd) {}
    // Retries writes interrupted by a signal; fails on other errors.
    long write(const uint8_t* bytes, size_t length) override;

private:
    int fd_;
};
