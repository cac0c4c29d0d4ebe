#pragma once
// QFExportFlow: the flow of the export plug-in. Its runs read the input's
// Photoshop documents, render their tagged layers and fill the output with
// one file per tag.
//
// An error about one document names it by its path below the input folder
// that holds it ("icons/x.psd"), or by its file name when it was given
// itself, so two documents of one name in different folders are told
// apart. A run that finds no document while a path it was given is gone
// fails with the missing-document error, which names that path.

#include "bytearray/BAByteArray.h"
#include "flows/QFFlow.h"
#include "platform/Result.h"

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
