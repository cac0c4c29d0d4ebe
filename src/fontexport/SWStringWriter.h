#pragma once
// SWStringWriter: a string writer with nested buffers. Text written while a
// buffer is open stays provisional until the buffer is committed (flushed)
// or dropped (discarded), so that a producer can write ahead and take the
// text back. Positions count bytes of the UTF-8 text.
//
// The writer keeps a list of points into its text: first the insertion
// point, then the start of each open buffer from the innermost to the
// outermost; the last point is the end of the committed text. A new writer
// has the single point 0 (no buffer open, everything written is committed).
// Text left behind the insertion point by a discarded buffer is
// overwritten by later writes instead of being deleted.
//
// One thread at a time.

#include "fontexport/SWWriter.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class SWStringWriter : public SWWriter {
public:
    SWStringWriter() = default;
    ~SWStringWriter() override = default;

    // Writes at the insertion point (flushing first when a flush on the next
    // write was asked for and the string is not empty).
    void writeString(std::string_view string) override;
    // Drops every open buffer and the text after the end of the committed
    // text.
    void close() override;

    size_t insertionPoint() const { return points_.front(); }
    // The end of the committed text.
    size_t length() const { return points_.back(); }
    // The committed text.
    std::string string() const { return text_.substr(0, length()); }
    char characterAtIndex(size_t index) const;
    std::string characters(size_t location, size_t length) const;

    // Opens a new innermost buffer at the insertion point.
    void beginBuffering();
    void startBuffering() { beginBuffering(); }
    size_t numberOfBuffers() const { return points_.size() - 1; }
    // Commits the outermost buffer; nothing when no buffer is open.
    virtual void flushFirstBuffer();
    // Drops the innermost buffer and moves the insertion point back to its
    // start. A buffer must be open.
    void discardBuffer();
    // Tells the will-flush handler, then commits every buffer.
    virtual void flush();

    // Inserts the string at the start of buffer `index` (0 is the
    // outermost), before its content; with index 0 the string joins the
    // committed text before every open buffer.
    virtual void writeString(std::string_view string, size_t bufferIndex);
    // With `bypassBuffer`, writeString(string, 0); else writeString(string).
    void writeString(std::string_view string, bool bypassBuffer);

    void flushOnNextWrite() { flushOnNextWrite_ = true; }
    void cancelFlushOnNextWrite() { flushOnNextWrite_ = false; }
    // Back to a new writer's state.
    void removeAllCharacters();
    // Deletes the committed text; every point moves back by its length.
    void discardString();

    // Called with the writer at the start of every flush.
    void setWillFlushHandler(std::function<void(SWStringWriter&)> handler) {
        willFlushHandler_ = std::move(handler);
    }

    // "SWStringWriter" and the text up to the insertion point.
    std::string debugDescription() const;

protected:
    bool flushesOnNextWrite() const { return flushOnNextWrite_; }

private:
    std::string text_;
    std::vector<size_t> points_{0};
    bool flushOnNextWrite_ = false;
    std::function<void(SWStringWriter&)> willFlushHandler_;
};
