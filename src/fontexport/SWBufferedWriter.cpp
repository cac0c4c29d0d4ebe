#include "fontexport/SWBufferedWriter.h"

void SWBufferedWriter::writeString(std::string_view string) {
    if (flushesOnNextWrite() && !string.empty()) flush();
    if (numberOfBuffers() > 0) {
        SWStringWriter::writeString(string);
    } else if (outputWriter_) {
        outputWriter_->writeString(string);
    }
}

void SWBufferedWriter::writeString(std::string_view string, size_t bufferIndex) {
    if (bufferIndex > 0) {
        SWStringWriter::writeString(string, bufferIndex);
    } else if (outputWriter_) {
        outputWriter_->writeString(string);
    }
}

void SWBufferedWriter::flushFirstBuffer() {
    SWStringWriter::flushFirstBuffer();
    passCommittedText();
}

void SWBufferedWriter::flush() {
    SWStringWriter::flush();
    passCommittedText();
}

void SWBufferedWriter::close() {
    SWStringWriter::close();
    outputWriter_.reset();
}

void SWBufferedWriter::passCommittedText() {
    if (outputWriter_ && length() > 0) outputWriter_->writeString(string());
    discardString();
}
