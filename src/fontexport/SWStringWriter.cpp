#include "fontexport/SWStringWriter.h"

#include "platform/core/Assert.h"

#include <algorithm>

void SWStringWriter::writeString(std::string_view string) {
    if (flushOnNextWrite_ && !string.empty()) flush();
    size_t& insertion = points_.front();
    size_t replaced = std::min(string.size(), text_.size() - insertion);
    text_.replace(insertion, replaced, string);
    insertion += string.size();
}

void SWStringWriter::close() {
    text_.erase(length());
    points_.assign(1, text_.size());
}

char SWStringWriter::characterAtIndex(size_t index) const {
    LF_PRECONDITION(index < length(), "Invalid parameter not satisfying: index < length");
    return text_[index];
}

std::string SWStringWriter::characters(size_t location, size_t length) const {
    LF_PRECONDITION(location <= this->length() && length <= this->length() - location,
                    "Invalid parameter not satisfying: range within the committed text");
    return text_.substr(location, length);
}

void SWStringWriter::beginBuffering() {
    points_.insert(points_.begin() + 1, points_.front());
}

void SWStringWriter::flushFirstBuffer() {
    if (numberOfBuffers() > 0) points_.pop_back();
}

void SWStringWriter::discardBuffer() {
    LF_PRECONDITION(numberOfBuffers() > 0, "Invalid parameter not satisfying: a buffer is open");
    points_.front() = points_[1];
    points_.erase(points_.begin() + 1);
}

void SWStringWriter::flush() {
    if (willFlushHandler_) willFlushHandler_(*this);
    points_.resize(1);
    flushOnNextWrite_ = false;
}

void SWStringWriter::writeString(std::string_view string, size_t bufferIndex) {
    size_t buffers = numberOfBuffers();
    LF_PRECONDITION(bufferIndex < std::max<size_t>(buffers, 1),
                    "Invalid parameter not satisfying: bufferIndex < numberOfBuffers");
    // Buffer i, counted from the outermost, starts at points_[buffers - i];
    // that point and every point before it in the list lie at or after it.
    size_t startIndex = buffers - bufferIndex;
    size_t start = points_[startIndex];
    LF_PRECONDITION(start <= points_.front(),
                    "Invalid parameter not satisfying: start <= insertionPoint");
    text_.insert(start, string);
    for (size_t i = 0; i <= startIndex; ++i)
        points_[i] += string.size();
}

void SWStringWriter::writeString(std::string_view string, bool bypassBuffer) {
    if (bypassBuffer) {
        writeString(string, size_t{0});
    } else {
        writeString(string);
    }
}

void SWStringWriter::removeAllCharacters() {
    text_.clear();
    points_.assign(1, 0);
}

void SWStringWriter::discardString() {
    size_t committed = length();
    text_.erase(0, committed);
    for (size_t& point : points_)
        point -= committed;
}

std::string SWStringWriter::debugDescription() const {
    return "SWStringWriter " + text_.substr(0, insertionPoint());
}
