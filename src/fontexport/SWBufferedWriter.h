#pragma once
// SWBufferedWriter: holds text back while a buffer is open and passes
// committed text on to its output writer. With no buffer open, strings go
// to the output at once. Destruction closes the writer; open buffers are
// then dropped, not passed on.

#include "fontexport/SWStringWriter.h"

#include <memory>

class SWBufferedWriter : public SWStringWriter {
public:
    explicit SWBufferedWriter(std::shared_ptr<SWWriter> outputWriter)
        : outputWriter_(std::move(outputWriter)) {}
    ~SWBufferedWriter() override { SWBufferedWriter::close(); }

    using SWStringWriter::writeString;
    void writeString(std::string_view string) override;
    // Index 0 goes to the output at once.
    void writeString(std::string_view string, size_t bufferIndex) override;
    void flushFirstBuffer() override;
    void flush() override;
    // Drops what is still buffered, then the output writer (not closing it).
    void close() override;

private:
    void passCommittedText();

    std::shared_ptr<SWWriter> outputWriter_;
};
