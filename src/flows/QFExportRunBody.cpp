#include "flows/QFExportRunBody.h"

#include "flows/QFConfinedPath.h"
#include "flows/QFExportFlowError.h"
#include "flows/QFICNSContainer.h"
#include "flows/QFPSDScanner.h"
#include "platform/DispatchGroup.h"
#include "platform/DispatchQueue.h"
#include "platform/DispatchSemaphore.h"
#include "platform/Log.h"
#include "platform/SystemInfo.h"
#include "psd/OMPSDDocument.h"

#include <algorithm>
#include <map>

namespace {

// The name with NUL characters shown, for a log line.
std::string printableName(const std::string& name) {
    std::string printable;
    for (char c : name)
        c == '\0' ? printable += "\\0" : printable += c;
    return printable;
}

void addOutputItem(QFFlowOutput& output, const std::string& path, lf::Data data, bool replace) {
    auto components = QFConfinedPathComponents(path);
    if (!components) {
        lf::log("Output name \"{}\" refused: it does not name a file inside the output folder",
                printableName(path));
        return;
    }
    auto item = std::make_shared<QFFlowOutputItem>(std::move(*components));
    item->setData(std::move(data));
    output.addOutputItem(std::move(item), replace);
}

// Every recipe run on the global queue, at most one per processor at once.
void runRecipes(const std::vector<std::shared_ptr<QFExportRecipe>>& recipes) {
    lf::DispatchSemaphore slots(lf::processorCount());
    lf::DispatchGroup group;
    for (const auto& recipe : recipes) {
        slots.wait();
        group.async(lf::DispatchQueue::global(lf::QueuePriority::Default),
                    [recipe, slots]() mutable {
                        recipe->run();
                        slots.signal();
                    });
    }
    group.wait();
}

// The icon elements of every path merged into one ICNS file; a file
// without any element that can be written is not made.
void addIconResults(const QFPSDScanner& scanner, QFFlowOutput& output) {
    std::map<std::string, std::vector<const QFIconExportRecipe*>> recipesByPath;
    for (const auto& recipe : scanner.iconRecipes())
        recipesByPath[*recipe->path()].push_back(recipe.get());
    for (const auto& [path, recipes] : recipesByPath) {
        QFICNSContainer container;
        for (const auto* recipe : recipes)
            for (const auto& [resultPath, elements] : recipe->results())
                for (const auto& element : elements)
                    if (element->hasPayloads()) container.addElement(element);
        if (container.elements().empty()) continue;
        addOutputItem(output, path, container.ICNSRepresentation(), true);
    }
}

}  // namespace

QFExportInputItem QFExportInputItem::forFile(std::string path) {
    return {path, [path] { return lf::Data::readFile(path); }};
}

lf::Status QFExportRunBody(std::vector<QFExportInputItem> inputItems, QFFlowOutput& output) {
    output.removeAllItems();
    std::stable_sort(inputItems.begin(), inputItems.end(),
                     [](const auto& a, const auto& b) { return a.path < b.path; });

    QFPSDScanner scanner;
    std::vector<std::shared_ptr<OMPSDDocument>> documents;  // alive until every recipe ran
    for (const auto& item : inputItems) {
        auto data = item.readData();
        if (!data) return data.error();
        auto document = OMPSDDocument::create(std::move(*data));
        if (!document)
            return QFExportFlowError(QFExportFlowFailure::invalidDocument,
                                     std::make_shared<lf::Error>(document.error()), item.path);
        if ((*document)->colorMode() != OMPSDDocument::rgb)
            return QFExportFlowError(QFExportFlowFailure::unsupportedColorMode, nullptr, item.path);
        if ((*document)->depth() != 8 && (*document)->depth() != 16)
            return QFExportFlowError(QFExportFlowFailure::unsupportedColorDepth, nullptr,
                                     item.path);
        if (auto scanned = scanner.scanPSD(**document); !scanned)
            return QFExportFlowError(QFExportFlowFailure::scanFailed,
                                     std::make_shared<lf::Error>(scanned.error()));
        documents.push_back(std::move(*document));
    }

    std::vector<std::shared_ptr<QFExportRecipe>> recipes(scanner.imageRecipes().begin(),
                                                         scanner.imageRecipes().end());
    recipes.insert(recipes.end(), scanner.iconRecipes().begin(), scanner.iconRecipes().end());
    if (recipes.empty()) return QFExportFlowError(QFExportFlowFailure::noTaggedLayers);
    runRecipes(recipes);

    // Image files first, so that an icon file of the same path replaces one.
    for (const auto& recipe : scanner.imageRecipes())
        for (const auto& [path, data] : recipe->results())
            addOutputItem(output, path, data, recipe->shouldReplaceExistingItemsForPath(path));
    addIconResults(scanner, output);
    return {};
}
