// The icon view's answers to the user: presses and drags that select items
// and drag them out, copying, keys, and the preview panel.

#include "kit/gui/OMWindowPlacement.h"
#include "ui/iconview/QFIconView.h"
#include "ui/iconview/QFPreviewPanel.h"

#include <QClipboard>
#include <QDrag>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineF>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <cmath>

// Mouse ---------------------------------------------------------------------------------

void QFIconView::mousePressEvent(QMouseEvent* event) {
    // In the other modes a press belongs to the window, which moves.
    if (mode_ != ModeOutput) {
        event->ignore();
        return;
    }
    event->accept();
    if (isAnimating() || event->button() != Qt::LeftButton) return;
    isMouseDown_ = true;
    didStartDrag_ = false;
    // Shift or Ctrl extends the selection, as in file managers.
    isExtendingSelection_ = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier);
    initialSelectionPoint_ = event->position();

    const std::optional<size_t> index = indexOfItemAtPoint(initialSelectionPoint_);
    if (!index) {
        isSelecting_ = true;
        previousSelection_.clear();
        for (const auto& layer : outputItemLayers_) {
            if (!isExtendingSelection_)
                layer->setSelected(false);
            else if (layer->isSelected())
                previousSelection_.push_back(layer);
        }
        selectionLayer_->setFrame(QRectF(initialSelectionPoint_, QSizeF(1, 1)));
        selectionLayer_->setHidden(false);
    } else {
        QFIconLayer& clicked = *outputItemLayers_[*index];
        if (!isExtendingSelection_ && !clicked.isSelected()) {
            for (const auto& layer : outputItemLayers_)
                layer->setSelected(false);
        }
        clicked.setSelected(true);
    }
    selectionDidChange();
}

void QFIconView::mouseMoveEvent(QMouseEvent* event) {
    if (!isMouseDown_) {
        event->ignore();
        return;
    }
    const QPointF point = event->position();
    if (isSelecting_) {
        QRectF band = QRectF(initialSelectionPoint_, point).normalized();
        band.setWidth(std::max(band.width(), 1.0));
        band.setHeight(std::max(band.height(), 1.0));
        const double left = std::floor(band.left()), top = std::floor(band.top());
        band = QRectF(left, top, std::ceil(band.right()) - left, std::ceil(band.bottom()) - top);
        selectionLayer_->setFrame(band);
        for (const auto& layer : outputItemLayers_) {
            bool selected = layer->contentIntersectsRect(band);
            if (isExtendingSelection_) {
                const bool before = std::find(previousSelection_.begin(), previousSelection_.end(),
                                              layer) != previousSelection_.end();
                selected = selected != before;
            }
            layer->setSelected(selected);
        }
        selectionDidChange();
        return;
    }
    if (didStartDrag_ || QLineF(initialSelectionPoint_, point).length() < kDragDistance) return;
    std::vector<DraggingItem> dragged;
    for (const auto& layer : outputItemLayers_) {
        if (!layer->isSelected()) continue;
        if (auto item = draggingItemForLayer(*layer)) dragged.push_back(std::move(*item));
    }
    if (dragged.empty()) return;
    didStartDrag_ = true;
    beginDraggingSession(dragged, initialSelectionPoint_);
}

void QFIconView::mouseReleaseEvent(QMouseEvent* event) {
    if (!isMouseDown_) {
        event->ignore();
        return;
    }
    isMouseDown_ = false;
    if (isSelecting_) {
        isSelecting_ = false;
        selectionLayer_->setHidden(true);
    }
}

// Dragging and copying -------------------------------------------------------------------

std::optional<QFIconView::DraggingItem> QFIconView::draggingItemForLayer(QFIconLayer& layer) {
    const std::shared_ptr<QFIconViewItem> item = layer.item().lock();
    if (!item || !delegate_) return std::nullopt;
    const std::optional<QUrl> url = delegate_->pasteboardWriterForItem(*this, *item);
    if (!url) return std::nullopt;
    return DraggingItem{*url, layer.frame(), layer.draggingImageComponents()};
}

void QFIconView::beginDraggingSession(const std::vector<DraggingItem>& items, QPointF pressPoint) {
    // One picture of every dragged tile's picture and name, where they show.
    QRectF area;
    QList<QUrl> urls;
    for (const DraggingItem& item : items) {
        urls.append(item.url);
        for (const auto& component : item.components)
            area = area.united(component.frame);
    }
    const double scale = devicePixelRatioF();
    QPixmap pixmap((area.size() * scale).toSize());
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        for (const DraggingItem& item : items) {
            for (const auto& component : item.components) {
                if (component.image)
                    component.image->draw(painter, component.frame.translated(-area.topLeft()));
            }
        }
    }
    auto* data = new QMimeData;  // owned by the drag
    data->setUrls(urls);
    auto* drag = new QDrag(this);  // Qt deletes it when the drag has ended
    drag->setMimeData(data);
    drag->setPixmap(pixmap);
    drag->setHotSpot((pressPoint - area.topLeft()).toPoint());
    drag->exec(Qt::CopyAction);
}

Qt::DropActions QFIconView::sourceOperationMaskForDraggingContext(bool insideApplication) const {
    return insideApplication ? Qt::IgnoreAction : Qt::CopyAction;
}

std::vector<QUrl> QFIconView::pasteboardURLsOfSelection() {
    std::vector<QUrl> urls;
    if (!delegate_) return urls;
    for (const auto& layer : outputItemLayers_) {
        if (!layer->isSelected()) continue;
        if (const auto item = layer->item().lock()) {
            if (auto url = delegate_->pasteboardWriterForItem(*this, *item))
                urls.push_back(std::move(*url));
        }
    }
    return urls;
}

void QFIconView::copy() {
    const std::vector<QUrl> urls = pasteboardURLsOfSelection();
    if (urls.empty()) return;
    auto* data = new QMimeData;  // owned by the clipboard
    data->setUrls(QList<QUrl>(urls.begin(), urls.end()));
    QGuiApplication::clipboard()->setMimeData(data);
}

bool QFIconView::canCopy() const {
    return std::any_of(outputItemLayers_.begin(), outputItemLayers_.end(),
                       [](const auto& layer) { return layer->isSelected(); });
}

// Keyboard ---------------------------------------------------------------------------------

void QFIconView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space) {
        quickLookPreviewItems();
        return;
    }
    if (!interpretKeyEvent(event)) QFLayerView::keyPressEvent(event);
}

bool QFIconView::interpretKeyEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
        return true;
    }
    if (event->matches(QKeySequence::Copy)) {
        copy();
        return true;
    }
    const bool extending = event->modifiers() & Qt::ShiftModifier;
    switch (event->key()) {
        case Qt::Key_Escape:
            cancelOperation();
            return true;
        case Qt::Key_Up:
            if (!extending) moveUp();
            return true;
        case Qt::Key_Down:
            if (!extending) moveDown();
            return true;
        case Qt::Key_Left:
            if (!extending) moveLeft();
            return true;
        case Qt::Key_Right:
            if (!extending) moveRight();
            return true;
        default:
            return false;
    }
}

void QFIconView::moveSelection(Direction direction) {
    const size_t count = outputItemLayers_.size();
    const size_t columns = std::max<size_t>(numberOfColumns_, 1);
    if (count == 0) return;
    const std::vector<size_t> selected = selectedIndexes();
    if (selected.empty()) {
        const bool backwards = direction == Direction::Up || direction == Direction::Left;
        return setSelectedIndexes({backwards ? count - 1 : 0});
    }
    // From the last selected item, never past a row's ends or the grid.
    const size_t last = selected.back();
    std::optional<size_t> next;
    switch (direction) {
        case Direction::Up:
            if (last >= columns) next = last - columns;
            break;
        case Direction::Down:
            if (last + columns < count) next = last + columns;
            break;
        case Direction::Left:
            if (last % columns != 0) next = last - 1;
            break;
        case Direction::Right:
            if (last % columns != columns - 1 && last + 1 < count) next = last + 1;
            break;
    }
    if (next) setSelectedIndexes({*next});
}

void QFIconView::selectAll() {
    if (outputItemLayers_.empty()) return;
    std::vector<size_t> all(outputItemLayers_.size());
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = i;
    setSelectedIndexes(all);
}

void QFIconView::cancelOperation() {
    setSelectedIndexes({});
}

// Preview ------------------------------------------------------------------------------------

void QFIconView::quickLookPreviewItems() {
    if (previewPanel_ && previewPanel_->isVisible()) {
        previewPanel_->hide();
        return;
    }
    // Nothing selected, nothing to preview: an empty panel would open.
    if (selectedIndexes().empty()) return;
    if (!previewPanel_) {
        previewPanel_ = new QFPreviewPanel(this);  // a window owned by the view
        previewPanel_->setKeyHandler([this](QKeyEvent* event) { return interpretKeyEvent(event); });
    }
    reloadPreviewPanel();
    // Over the window it previews, as far as the screen's available area
    // lets it: a window system left to place it may put it partly off the
    // screen, below a window low on it.
    OMPlaceWindowInsideAvailableArea(*previewPanel_, window()->frameGeometry().center());
    previewPanel_->show();
    previewPanel_->activateWindow();
}

void QFIconView::previewPanelFollowsItems() {
    if (!previewPanel_ || !previewPanel_->isVisible()) return;
    // The tiles kept their selection: the outputs previewed that are still
    // produced show their new pictures; with none of them left it closes.
    if (selectedIndexes().empty())
        previewPanel_->hide();
    else
        reloadPreviewPanel();
}

void QFIconView::reloadPreviewPanel() {
    std::vector<QFPreviewPanel::Item> items;
    for (const auto& layer : outputItemLayers_) {
        if (!layer->isSelected()) continue;
        QFPreviewPanel::Item entry;
        entry.title = layer->label();
        if (!layer->icons().empty()) entry.fallbackImage = layer->icons().back();
        if (const auto item = layer->item().lock(); item && delegate_)
            entry.url = delegate_->fileURLForItem(*this, *item).value_or(QUrl());
        items.push_back(std::move(entry));
    }
    previewPanel_->setItems(std::move(items));
}
