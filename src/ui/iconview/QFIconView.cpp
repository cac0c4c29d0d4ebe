#include "ui/iconview/QFIconView.h"

#include "kit/gui/OMAppKitWindow.h"
#include "kit/gui/OMApplicationHooks.h"
#include "ui/layers/QFPreviewLayer.h"
#include "ui/window/QFResources.h"
#include "ui/window/QFWindowStyle.h"

#include <QAbstractScrollArea>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPalette>
#include <QScrollArea>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <set>

// The layers the animations move, for as long as the view lives.
class QFIconView::Context final : public QFIconViewAnimationContext {
public:
    explicit Context(QFIconView* view) : view_(view) {}
    void detach() { view_ = nullptr; }

    std::shared_ptr<QFIconLayer> inputItemLayer() const override {
        return view_ ? view_->inputItemLayer_ : nullptr;
    }
    std::vector<std::shared_ptr<QFIconLayer>> outputItemLayers() const override {
        return view_ ? view_->outputItemLayers_ : std::vector<std::shared_ptr<QFIconLayer>>();
    }
    std::shared_ptr<QFLayer> statusLayer() const override {
        return view_ ? view_->statusLayer_ : nullptr;
    }

private:
    QFIconView* view_;
};

namespace {

// The keyboard-focus colour at `alpha`.
QColor focusColor(double alpha) {
    QColor color = QGuiApplication::palette().color(QPalette::Active, QPalette::Highlight);
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}

void setScaleDepthFirst(QFLayer& layer, double scale) {
    layer.setContentsScale(scale);
    layer.setRasterizationScale(scale);
    for (const auto& sublayer : layer.sublayers())
        setScaleDepthFirst(*sublayer, scale);
}

}  // namespace

QFIconView::QFIconView(QWidget* parent)
    : QFLayerView(parent),
      context_(std::make_shared<Context>(this)),
      hostLayer_(std::make_shared<QFLayer>()) {
    setFocusPolicy(Qt::StrongFocus);
    layer()->addSublayer(hostLayer_);
    buildFixedLayers();
}

QFIconView::~QFIconView() {
    context_->detach();
    if (animationOverlay_) delete animationOverlay_.data();
}

// Fixed layers ----------------------------------------------------------------

void QFIconView::buildFixedLayers() {
    const std::shared_ptr<const QFResources> resources = QFResources::shared();

    // The input item: the document being extracted, small until it pulses.
    const std::shared_ptr<const OMImage> icon = resources->imageNamed(QFImageName::ExtractingIcon);
    const QRectF iconFrame(QPointF(0, 0), icon ? icon->size() : QSizeF(0, 0));
    auto container = std::make_shared<QFLayer>();
    container->setFrame(iconFrame);
    auto image = std::make_shared<QFLayer>();
    image->setFrame(iconFrame);
    image->setContents(icon);
    image->setAutoresizingMask(QFLayer::FlexibleMargins);
    container->addSublayer(image);
    inputItemLayer_ = std::make_shared<QFIconLayer>();
    inputItemLayer_->setZPosition(0);
    inputItemLayer_->setOpacity(0);
    inputItemLayer_->setContentLayer(container);
    inputItemLayer_->setTransform(QTransform::fromScale(0.1, 0.1));
    hostLayer_->addSublayer(inputItemLayer_);

    // The status badge: the cloud over the status text.
    statusLabelLayer_ = std::make_shared<QFLabelLayer>();
    statusLabelLayer_->setAutoresizingMask(QFLayer::WidthSizable);
    statusLabelLayer_->setFontSize(14);
    statusLabelLayer_->setFont(QFWindowStyle::boldSystemFontOfSize(14));
    statusLabelLayer_->setIsStatusText(true);
    const double labelHeight = std::ceil(statusLabelLayer_->lineHeight() + 4);
    statusLabelLayer_->setFrame(QRectF(0, 0, 100, labelHeight));
    const std::shared_ptr<const OMImage> cloud =
        resources->imageNamed(QFImageName::ExtractingCloud);
    arrowsLayer_ = std::make_shared<QFLayer>();
    arrowsLayer_->setContents(cloud);
    arrowsLayer_->setAutoresizingMask(QFLayer::FlexibleMargins);
    arrowsLayer_->setContentsGravity(QFLayer::ContentsGravity::TopLeft);
    arrowsLayer_->setFrame(QRectF(QPointF(0, 0), cloud ? cloud->size() : QSizeF(0, 0)));
    statusLayer_ = std::make_shared<QFLayer>();
    statusLayer_->setZPosition(-2);
    statusLayer_->setFrame(arrowsLayer_->frame().adjusted(0, -labelHeight, 0, labelHeight));
    statusLayer_->addSublayer(arrowsLayer_);
    statusLayer_->addSublayer(statusLabelLayer_);
    hostLayer_->addSublayer(statusLayer_);
    const QSizeF status = statusLayer_->bounds().size();
    statusLabelLayer_->setFrame(
        QRectF(0, status.height() - labelHeight, status.width(), labelHeight));
    const QSizeF arrows = arrowsLayer_->bounds().size();
    arrowsLayer_->setFrame(QRectF(std::floor((status.width() - arrows.width()) / 2),
                                  std::floor((status.height() - arrows.height()) / 2),
                                  arrows.width(), arrows.height()));
    statusLayer_->setOpacity(0);

    // The rubber band.
    selectionLayer_ = std::make_shared<QFLayer>();
    selectionLayer_->setBackgroundColor(focusColor(0.25));
    selectionLayer_->setBorderColor(focusColor(0.5));
    selectionLayer_->setBorderWidth(1);
    selectionLayer_->setHidden(true);
    selectionLayer_->setZPosition(2);
    hostLayer_->addSublayer(selectionLayer_);
}

void QFIconView::setStatusText(const QString& text) {
    statusLabelLayer_->setString(text);
    // The status text is never cut short, and a layer draws only within its
    // bounds: the label grows to the text, about the status layer's middle.
    const double statusWidth = statusLayer_->bounds().width();
    const double width =
        std::max(statusWidth, std::ceil(statusLabelLayer_->statusTextImageSize().width()));
    const QRectF frame = statusLabelLayer_->frame();
    statusLabelLayer_->setFrame(
        QRectF(std::floor((statusWidth - width) / 2), frame.y(), width, frame.height()));
}

// Items -------------------------------------------------------------------------

void QFIconView::setItems(std::vector<std::shared_ptr<QFIconViewItem>> items) {
    const std::vector<std::shared_ptr<QFIconLayer>> previous = std::exchange(outputItemLayers_, {});
    const double scale = devicePixelRatioF();
    for (const auto& item : items) {
        if (!item) continue;
        std::shared_ptr<QFIconLayer>& layer = keyedOutputItemLayers_[item.get()];
        if (!layer) {
            layer = std::make_shared<QFIconLayer>();
            layer->setItem(item);
            layer->setContentsScale(scale);
            layer->setRasterizationScale(scale);
            layer->setIconSize(QSizeF(kIconSize, kIconSize));
            hostLayer_->insertSublayerBelow(layer, inputItemLayer_.get());
            auto preview = std::make_shared<QFPreviewLayer>();
            preview->setContentsScale(scale);
            preview->setRasterizationScale(scale);
            layer->setContentLayer(preview);
        }
        layer->setLabel(item->label());
        if (mode_ != ModeOutput) {
            // The animations reveal them.
            layer->setOpacity(0);
            layer->setZPosition(-1);
        }
        outputItemLayers_.push_back(layer);
        reloadItem(*item);
    }
    items_ = std::move(items);

    for (const auto& layer : previous) {
        if (std::find(outputItemLayers_.begin(), outputItemLayers_.end(), layer) ==
            outputItemLayers_.end())
            layer->removeFromSuperlayer();
    }
    std::set<const QFIconViewItem*> kept;
    for (const auto& item : items_)
        kept.insert(item.get());
    std::erase_if(keyedOutputItemLayers_,
                  [&](const auto& entry) { return !kept.count(entry.first); });

    sizeToFitItems();
    updateOutputItemLayout();
    updateLayersForWindowAppearanceChange();
    previewPanelFollowsItems();
}

void QFIconView::reloadItem(const QFIconViewItem& item) {
    const auto found = keyedOutputItemLayers_.find(&item);
    if (found == keyedOutputItemLayers_.end()) return;
    QFIconLayer& layer = *found->second;
    // Read at the tile's size on this screen: a large output would cost the
    // time and memory of its whole picture for a tile's worth of pixels.
    const int side = static_cast<int>(std::ceil(kIconSize * devicePixelRatioF()));
    std::shared_ptr<const OMImage> image = item.image(QSize(side, side));
    std::vector<std::shared_ptr<const OMImage>> icons;
    if (image) icons.push_back(image);
    layer.setIcons(std::move(icons));
    if (auto* preview = dynamic_cast<QFPreviewLayer*>(layer.contentLayer().get()))
        preview->setImage(std::move(image));
}

// Geometry --------------------------------------------------------------------------

QAbstractScrollArea* QFIconView::enclosingScrollView() const {
    for (QWidget* widget = parentWidget(); widget; widget = widget->parentWidget()) {
        if (auto* scrollView = qobject_cast<QAbstractScrollArea*>(widget)) return scrollView;
    }
    return nullptr;
}

double QFIconView::scrollViewHeight() const {
    const QAbstractScrollArea* scrollView = enclosingScrollView();
    return scrollView ? scrollView->viewport()->height() : 0;
}

double QFIconView::tilePitch() const {
    return outputItemLayers_.back()->bounds().width();
}

size_t QFIconView::columnsForWidth(double width) const {
    const double fitting = std::min(width / tilePitch(), double(outputItemLayers_.size()));
    return static_cast<size_t>(std::max(1.0, std::trunc(fitting)));
}

void QFIconView::setFrameSize(QSizeF size) {
    const double visibleHeight = scrollViewHeight();
    if (outputItemLayers_.empty()) {
        resize(QSizeF(size.width(), visibleHeight).toSize());
        return;
    }
    const double pitch = tilePitch();
    numberOfColumns_ = columnsForWidth(size.width());
    numberOfRows_ = (outputItemLayers_.size() + numberOfColumns_ - 1) / numberOfColumns_;
    const double height =
        isAnimating() ? visibleHeight : std::max(double(numberOfRows_) * pitch, visibleHeight);
    resize(QSizeF(size.width(), height).toSize());
    updateOverlayFrame();
}

void QFIconView::updateOutputItemLayout() {
    if (outputItemLayers_.empty()) return;
    const QRectF bounds(rect());
    const double pitch = tilePitch();
    const size_t columns = columnsForWidth(bounds.width());
    const double rows = double((outputItemLayers_.size() + columns - 1) / columns);
    const double gridX = std::floor((bounds.width() - double(columns) * pitch) / 2);
    const double gridY = std::max(std::floor((bounds.height() - rows * pitch) / 2), 0.0);
    const double half = std::floor(pitch / 2);
    for (size_t i = 0; i < outputItemLayers_.size(); ++i) {
        outputItemLayers_[i]->setPosition(QPointF(gridX + half + double(i % columns) * pitch,
                                                  gridY + half + double(i / columns) * pitch));
    }
}

void QFIconView::layoutLayers() {
    const QRectF bounds(rect());
    if (!isUsingAnimationOverlay_) hostLayer_->setFrame(bounds);
    updateOutputItemLayout();
    const QPointF centre(std::floor(bounds.center().x()), std::floor(bounds.center().y()));
    inputItemLayer_->setPosition(centre);
    statusLayer_->setPosition(centre - QPointF(0, 24));
    const QRectF status = statusLayer_->frame();
    statusLayer_->setFrame(
        QRectF(std::floor(status.x()), std::floor(status.y()), status.width(), status.height()));
}

void QFIconView::resizeEvent(QResizeEvent* event) {
    QFLayerView::resizeEvent(event);
    layoutLayers();
}

void QFIconView::applyBackingScale() {
    setScaleDepthFirst(*hostLayer_, devicePixelRatioF());
}

bool QFIconView::event(QEvent* event) {
    // Escape with tiles selected only clears the selection: the view takes
    // the key before any shortcut of the window (the menu's Cancel, which
    // would throw the outputs away). Without a selection the key goes on.
    if (event->type() == QEvent::ShortcutOverride &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && !selectedIndexes().empty()) {
        event->accept();
        return true;
    }
    const bool handled = QFLayerView::event(event);
    switch (event->type()) {
        case QEvent::ScreenChangeInternal:
            applyBackingScale();
            // The pictures were read for the last screen's scale.
            for (const auto& item : items_)
                reloadItem(*item);
            break;
        case QEvent::ParentChange:
        case QEvent::Show:
            updateLayersForWindowAppearanceChange();
            if (animationOverlay_ && animationOverlay_->parentWidget() != window()) {
                animationOverlay_->setParent(window());
                updateOverlayFrame();
                animationOverlay_->show();
                animationOverlay_->raise();
            }
            applyBackingScale();
            break;
        default:
            break;
    }
    return handled;
}

// Appearance --------------------------------------------------------------------------

void QFIconView::updateLayersForWindowAppearanceChange() {
    const bool active = OMWindowHasActiveAppearance(window());
    for (const auto& layer : outputItemLayers_)
        layer->setHasActiveAppearance(active);
    statusLabelLayer_->setHasActiveAppearance(active);
    inputItemLayer_->setHasActiveAppearance(active);
}

bool QFIconView::needsDisplayForChangedWindowAppearance() {
    updateLayersForWindowAppearanceChange();
    return true;
}

void QFIconView::focusInEvent(QFocusEvent* event) {
    QFLayerView::focusInEvent(event);
    QTimer::singleShot(0, this, &QFIconView::updateLayersForWindowAppearanceChange);
}

void QFIconView::focusOutEvent(QFocusEvent* event) {
    QFLayerView::focusOutEvent(event);
    QTimer::singleShot(0, this, &QFIconView::updateLayersForWindowAppearanceChange);
}

// Selection ----------------------------------------------------------------------------

std::vector<size_t> QFIconView::selectedIndexes() const {
    std::vector<size_t> indexes;
    for (size_t i = 0; i < outputItemLayers_.size(); ++i) {
        if (outputItemLayers_[i]->isSelected()) indexes.push_back(i);
    }
    return indexes;
}

void QFIconView::setSelectedIndexes(const std::vector<size_t>& indexes) {
    const std::set<size_t> selected(indexes.begin(), indexes.end());
    for (size_t i = 0; i < outputItemLayers_.size(); ++i)
        outputItemLayers_[i]->setSelected(selected.count(i) > 0);
    selectionDidChange();
}

void QFIconView::selectionDidChange() {
    const std::vector<size_t> selected = selectedIndexes();
    const auto event = OMCurrentInputEvent();
    if (selected.size() == 1 && event && event->type == QEvent::KeyPress) {
        if (auto* scrollView = qobject_cast<QScrollArea*>(enclosingScrollView())) {
            const QRectF frame = outputItemLayers_[selected.front()]->frame();
            scrollView->ensureVisible(
                static_cast<int>(frame.center().x()), static_cast<int>(frame.center().y()),
                static_cast<int>(frame.width() / 2), static_cast<int>(frame.height() / 2));
        }
    }
    if (previewPanel_ && previewPanel_->isVisible()) reloadPreviewPanel();
    updateLayersForWindowAppearanceChange();
}

std::optional<size_t> QFIconView::indexOfItemAtPoint(QPointF point) const {
    for (size_t i = 0; i < outputItemLayers_.size(); ++i) {
        if (outputItemLayers_[i]->contentContainsPoint(point)) return i;
    }
    return std::nullopt;
}

// Modes and animations -------------------------------------------------------------------------

void QFIconView::setMode(int32_t mode, bool, std::function<void()> completionHandler) {
    if (mode == mode_ && !isAnimating()) {
        if (completionHandler) completionHandler();
        return;
    }
    // Away from the outputs (a run failed and emptied them), nothing is left
    // to preview.
    if (mode != ModeOutput && previewPanel_) previewPanel_->hide();
    const int32_t startMode = currentAnimation_ ? currentAnimation_->endMode() : mode_;
    std::shared_ptr<QFIconViewAnimation> animation =
        QFIconViewAnimation::animationWithStartMode(startMode, mode, context_);
    if (!animation) return;

    // A view that is gone hears nothing more of its animations, nor do
    // those who asked it for them.
    const QPointer<QFIconView> view(this);
    const std::weak_ptr<QFIconViewAnimation> weak = animation;
    animation->addCompletionHandler([view, weak, mode] {
        if (view) view->animationDidRun(weak.lock(), mode);
    });
    if (completionHandler) {
        animation->addCompletionHandler([view, handler = std::move(completionHandler)] {
            if (view) handler();
        });
    }

    if (currentAnimation_) {
        pendingAnimation_ = std::move(animation);
        if (currentAnimation_->repeatsForever()) startPendingAnimation();
        return;
    }
    runAnimation(animation);
}

void QFIconView::runAnimation(const std::shared_ptr<QFIconViewAnimation>& animation) {
    currentAnimation_ = animation;
    if (animation->needsAnimationWindow()) moveHostLayerToOverlay();
    animation->run();
}

void QFIconView::startPendingAnimation() {
    if (!pendingAnimation_) return;
    if (currentAnimation_ && currentAnimation_->repeatsForever()) {
        currentAnimation_->stopWithCompletionHandler([view = QPointer<QFIconView>(this)] {
            if (!view) return;
            view->moveHostLayerBack();
            view->sizeToFitItems();
            view->currentAnimation_.reset();
            view->startPendingAnimation();
        });
        return;
    }
    runAnimation(std::exchange(pendingAnimation_, nullptr));
}

void QFIconView::animationDidRun(const std::shared_ptr<QFIconViewAnimation>& animation,
                                 int32_t mode) {
    if (animation && animation == currentAnimation_ && !animation->repeatsForever()) {
        moveHostLayerBack();
        currentAnimation_.reset();
    }
    mode_ = mode;
    sizeToFitItems();
    startPendingAnimation();
}

// The animation overlay ---------------------------------------------------------------------

void QFIconView::updateOverlayFrame() {
    if (animationOverlay_ && animationOverlay_->parentWidget())
        animationOverlay_->setGeometry(animationOverlay_->parentWidget()->rect());
}

void QFIconView::moveHostLayerToOverlay() {
    if (isUsingAnimationOverlay_) return;
    QWidget* top = window();
    if (!animationOverlay_) {
        animationOverlay_ = new QFLayerView(top);  // a child of the window
        animationOverlay_->setAttribute(Qt::WA_TransparentForMouseEvents);
        animationOverlay_->setFocusPolicy(Qt::NoFocus);
    }
    updateOverlayFrame();
    animationOverlay_->show();
    animationOverlay_->raise();
    const QRectF frame(top == this ? QPointF(0, 0) : mapTo(top, QPointF(0, 0)), QSizeF(size()));
    animationOverlay_->layer()->addSublayer(hostLayer_);
    hostLayer_->setFrame(frame);
    isUsingAnimationOverlay_ = true;
    update();
}

void QFIconView::moveHostLayerBack() {
    if (!isUsingAnimationOverlay_) return;
    layer()->addSublayer(hostLayer_);
    isUsingAnimationOverlay_ = false;
    layoutLayers();
    update();
    if (animationOverlay_) {
        animationOverlay_->hide();
        animationOverlay_->deleteLater();
        animationOverlay_ = nullptr;
    }
}
