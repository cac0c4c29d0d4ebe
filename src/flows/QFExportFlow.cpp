#include "flows/QFExportFlow.h"

#include "flows/QFExportRunBody.h"
#include "flows/QFFlowOutput.h"
#include "flows/QFFlowRun.h"
#include "platform/TypeIdentifier.h"

std::shared_ptr<QFFlowRun> QFExportFlow::newRunWithInput(
    std::shared_ptr<const QFFlowInputProtocol> input, std::shared_ptr<QFFlowOutput> output) {
    return QFFlowRun::create(
        [input = std::move(input), output = std::move(output)](QFFlowRun& run) {
            std::vector<QFExportInputItem> items;
            if (auto documents =
                    input->inputItemsForType(lf::kTypePhotoshopImage, QFFlowInputItemsAll)) {
                for (const auto& document : *documents)
                    items.push_back({document->itemURL(), [document] {
                                         return document->dataWithOptions(QFDataReadingUncached);
                                     }});
            }
            lf::Status exported = QFExportRunBody(std::move(items), *output);
            if (exported)
                run.didFinish();
            else
                run.didFailWithError(exported.error());
        });
}
