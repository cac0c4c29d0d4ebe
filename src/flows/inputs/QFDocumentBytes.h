#pragma once
// The bytes of an input document as an export run reads them: from the
// document's file, a range at a time as the document reader asks for them,
// never the whole file at once. A run holds what it decodes and renders,
// not the file, so a file of gigabytes costs what its header and layers
// describe rather than its size.
//
// QFDocumentBytes stands between the document reader and the document's
// source of bytes and keeps the first read that failed, on whichever thread
// it came: opening and scanning read on the run's thread, planes are
// decoded and read on a recipe's or a tile worker's. The reader takes a
// read that fails for damage (a plane it cannot read draws nothing), so the
// run asks afterwards and ends with the read's error instead of outputs
// drawn without what could not be read.
//
// It also keeps a digest of what each range of bytes gave when it was
// first read, so that once every read is done the run can read them again
// and tell whether the file still holds what the outputs were drawn from
// (readsAgainAsRead). A write to the file changes its stamp when it
// begins, not as it goes: a write already under way when the run took the
// stamp leaves the stamp as it was, yet changes bytes that the run read
// before the write reached them. Bytes a source holds in memory are not
// read, and never change.

#include "bytearray/BAByteArray.h"
#include "platform/core/Error.h"
#include "platform/core/Result.h"

#include <memory>
#include <optional>
#include <string>

// The file at `path`, opened now and read later as needed, with positioned
// reads past the system's cache (BAFileReference): the whole of it as one
// slice. The error of opening it names the path; a folder is refused with
// EISDIR.
lf::Result<BASlice> QFOpenDocumentFile(const std::string& path);

// The read error of the document at `path`: the POSIX error `code`, "read
// PATH: <reason>", as the command line names what goes wrong with a file.
lf::Error QFDocumentReadError(const std::string& path, int code);

class QFDocumentBytes {
public:
    // The bytes of `slice`, those of the document at `path`.
    QFDocumentBytes(BASlice slice, std::string path);

    // What a document is opened from; shared with what the document makes
    // of it.
    const std::shared_ptr<const BAByteArray>& byteArray() const { return array_; }
    // The first read of the bytes that failed, as the document's read
    // error: QFDocumentReadError where the system refused the read, else
    // the source's own error. None while every read succeeded. Any thread.
    std::optional<lf::Error> readError() const;
    // Reads again every range read so far, each once however often it was
    // read, and tells whether each gives what it first gave (false too when
    // two first reads of a range, on two threads, gave two contents). Only
    // a write under way when the stamp was taken escapes the stamp, and it
    // goes over each byte once: a range that gives now what its first read
    // gave gave it to every read between. A read that fails now is kept as
    // a failed read (readError) and is the error returned; what a read
    // throws is thrown. Once the reads it should cover are done; any
    // thread.
    lf::Result<bool> readsAgainAsRead() const;

private:
    class RecordingSource;
    std::shared_ptr<const RecordingSource> source_;
    std::shared_ptr<const BAByteArray> array_;
};
