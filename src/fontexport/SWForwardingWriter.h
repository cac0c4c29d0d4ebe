#pragma once
// SWForwardingWriter: passes every string on to its output writer. The base
// of writers that sit in front of another writer.

#include "fontexport/SWWriter.h"

#include <memory>

class SWForwardingWriter : public SWWriter {
public:
    explicit SWForwardingWriter(std::shared_ptr<SWWriter> outputWriter = nullptr)
        : outputWriter_(std::move(outputWriter)) {}
    // Nothing is written once the writer is closed.
    void writeString(std::string_view string) override {
        if (outputWriter_) outputWriter_->writeString(string);
    }
    // Drops the output writer without closing it.
    void close() override { outputWriter_.reset(); }

    const std::shared_ptr<SWWriter>& outputWriter() const { return outputWriter_; }

private:
    std::shared_ptr<SWWriter> outputWriter_;
};
