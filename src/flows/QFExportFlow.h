#pragma once
// QFExportFlow: the flow of the export plug-in. Its runs read the input's
// Photoshop documents, render their tagged layers and fill the output with
// one file per tag.

#include "flows/QFFlow.h"

class QFExportFlow : public QFFlow {
public:
    static constexpr const char* kClassName = "QFExportFlow";

    const char* archivedClassName() const override { return kClassName; }
    std::shared_ptr<QFFlowRun> newRunWithInput(std::shared_ptr<const QFFlowInputProtocol> input,
                                               std::shared_ptr<QFFlowOutput> output) override;
};
