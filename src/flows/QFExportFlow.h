#pragma once
// QFExportFlow: the flow of the export plug-in. Its runs read the input's
// Photoshop documents, render their tagged layers and fill the output with
// one file per tag.
//
// An error about one document names it by its path below the input folder
// that holds it ("icons/x.psd"), or by its file name when it was given
// itself, so two documents of one name in different folders are told
// apart.
//
// A path the flow was given that yields no document ends the run with an
// error that names it and says what is wrong, in the command line's words
// (QFExportFlowInputError): when something stands there that cannot be
// read (a loop of links, a FIFO, a socket or a device, a folder on the way
// it may not enter), whatever else the run has; when nothing a document
// could come from is there (missing, a link to nothing, a file of another
// type, a folder that holds no document), only when the run has no
// document at all.

#include "bytearray/BAByteArray.h"
#include "flows/QFFlow.h"
#include "platform/core/Result.h"

#include <functional>

class QFFlowInputItem;

class QFExportFlow : public QFFlow {
public:
    static constexpr const char* kClassName = "QFExportFlow";

    const char* archivedClassName() const override { return kClassName; }
    // Called on the main thread; the run reads on its own.
    std::shared_ptr<QFFlowRun> newRunWithInput(std::shared_ptr<const QFFlowInputProtocol> input,
                                               std::shared_ptr<QFFlowOutput> output) override;

protected:
    // How a run opens `document`: its file, read as the run needs its
    // bytes, past the system's cache (QFExportInputItem::openBytes). Asked
    // when the run is made; the opener is called on the run's thread, the
    // bytes are read on the run's and its workers'. Tests hold a read part
    // of the way.
    virtual std::function<lf::Result<BASlice>()> documentReader(
        std::shared_ptr<const QFFlowInputItem> document) const;
};
