#pragma once
// QFExportDisplayItem: one output file as the icon view shows it: its path
// relative to the output folder (also its name under the tile) and the
// picture made from its bytes, made on first use at the size asked for
// (again when another size is asked for). It also remembers the
// temporary file written for dragging it out or previewing it.
//
// The item stays the same object from run to run while its path is
// produced; each run hands it its new output, which drops the picture and
// the temporary file, so a changed output is shown and written anew.
//
// Threads: main thread only.

#include "flows/runs/QFFlowOutputItem.h"
#include "ui/layers/QFIconViewItem.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

class QFExportDisplayItem final : public QFIconViewItem {
public:
    explicit QFExportDisplayItem(std::string relativePath)
        : relativePath_(std::move(relativePath)) {}

    const std::string& relativePath() const { return relativePath_; }
    QString label() const override { return QString::fromStdString(relativePath_); }
    std::shared_ptr<const OMImage> image(QSize bound) const override;
    // The output's bytes; empty without an output.
    const lf::Data& data() const;

    const std::shared_ptr<QFFlowOutputItem>& outputItem() const { return outputItem_; }
    void setOutputItem(std::shared_ptr<QFFlowOutputItem> item);

    const std::optional<std::filesystem::path>& temporaryFile() const { return temporaryFile_; }
    void setTemporaryFile(std::optional<std::filesystem::path> file) {
        temporaryFile_ = std::move(file);
    }

private:
    std::string relativePath_;
    mutable std::shared_ptr<const OMImage> cachedImage_;
    mutable QSize cachedImageBound_;
    std::optional<std::filesystem::path> temporaryFile_;
    std::shared_ptr<QFFlowOutputItem> outputItem_;
};
