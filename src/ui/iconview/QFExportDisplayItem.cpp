#include "ui/iconview/QFExportDisplayItem.h"

#include "ui/iconview/QFOutputImage.h"

std::shared_ptr<const OMImage> QFExportDisplayItem::image(QSize bound) const {
    if (!cachedImage_ || cachedImageBound_ != bound) {
        cachedImage_ = QFImageWithData(data(), bound);
        cachedImageBound_ = bound;
    }
    return cachedImage_;
}

const lf::Data& QFExportDisplayItem::data() const {
    static const lf::Data none;
    return outputItem_ ? outputItem_->data() : none;
}

void QFExportDisplayItem::setOutputItem(std::shared_ptr<QFFlowOutputItem> item) {
    outputItem_ = std::move(item);
    cachedImage_.reset();
    temporaryFile_.reset();
}
