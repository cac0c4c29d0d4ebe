#include "ui/recents/QFRecentRowView.h"

#include "flows/QFFlow.h"
#include "flows/QFFlowInterfaceHooks.h"
#include "flows/QFFlowManager.h"
#include "kit/gui/OMDeviceLayer.h"
#include "kit/gui/OMDeviceSpace.h"
#include "kit/gui/OMDrawing.h"
#include "ui/popovers/QFPopoverLabel.h"
#include "ui/recents/QFRecentFlowButton.h"
#include "ui/recents/QFRecentIndicatorButton.h"
#include "ui/recents/QFRecentsStyle.h"
#include "ui/window/QFAlignmentRect.h"
#include "ui/window/QFResources.h"

#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace {

// Horizontal spacing: the flow button 10 in, the texts 11 beyond it, the
// standard 8 before the indicators, 4 between the dot and the indicator,
// which stands 7 from the right edge.
constexpr double kFlowButtonInset = 10;
constexpr double kFlowButtonToText = 11;
constexpr double kTextToIndicator = 8;
constexpr double kDotToIndicator = 4;
constexpr double kIndicatorInset = 7;
// The ring drawn while the context menu is open.
constexpr double kRingAlpha = 0.8;

QFRecentRowView::MenuPresenter& menuPresenter() {
    static QFRecentRowView::MenuPresenter presenter;
    return presenter;
}

// `view`'s frame for an alignment rectangle of its natural size whose
// left edge is `x`, centred on `centreY`.
void place(QWidget& view, QSizeF size, double x, double centreY) {
    const QRectF alignment(x, std::round(centreY - size.height() / 2), size.width(), size.height());
    view.setGeometry(QFFrameForAlignmentRect(view, alignment).toAlignedRect());
}

}  // namespace

QFRecentRowView::QFRecentRowView(QWidget* parent)
    : QWidget(parent),
      textContainer_(new QWidget(this)),
      label_(new QFPopoverLabel(textContainer_)),
      statusLabel_(new QFPopoverLabel(textContainer_)),
      flowButton_(new QFRecentFlowButton(this)),
      repeatButton_(new QFRecentIndicatorButton(this)),
      hasChangesButton_(new QFRecentIndicatorButton(this)) {
    setContextMenuPolicy(Qt::PreventContextMenu);
    label_->setLabelType(QFPopoverLabelTypeTitle);
    statusLabel_->setLabelType(QFPopoverLabelTypeDetail);
    repeatButton_->setIndicatorType(QFRecentIndicatorTypeRepeat);
    hasChangesButton_->setIndicatorType(QFRecentIndicatorTypeHasChanges);
    hasChangesButton_->hide();
    connect(flowButton_, &QAbstractButton::clicked, this, &QFRecentRowView::repeatFlowWithUI);
    connect(repeatButton_, &QAbstractButton::clicked, this, &QFRecentRowView::repeatFlowWithoutUI);
    connect(hasChangesButton_, &QAbstractButton::clicked, this,
            &QFRecentRowView::repeatFlowWithoutUI);
    for (QFWindowButton* button :
         std::initializer_list<QFWindowButton*>{flowButton_, repeatButton_, hasChangesButton_}) {
        button->setMouseInsideHandler([this](bool inside) {
            if (inside)
                mouseEnteredButton();
            else
                mouseExitedButton();
        });
    }
}

QFRecentRowView::~QFRecentRowView() {
    for (QFWindowButton* button :
         std::initializer_list<QFWindowButton*>{flowButton_, repeatButton_, hasChangesButton_})
        button->setMouseInsideHandler({});
    setRepresentedFlow(nullptr);
}

void QFRecentRowView::setMenuPresenter(MenuPresenter presenter) {
    menuPresenter() = std::move(presenter);
}

void QFRecentRowView::setRepresentedFlow(std::shared_ptr<QFFlow> flow) {
    flowObservations_.clear();
    representedFlow_ = std::move(flow);
    if (!representedFlow_) return;
    flowObservations_.push_back(
        representedFlow_->addObserver("name", [this](const std::string&) { updateLabel(); }));
    flowObservations_.push_back(representedFlow_->addObserver(
        "hasChangesToRun", [this](const std::string&) { updateLayout(); }));
    flowObservations_.push_back(representedFlow_->addObserver(
        "localizedStatusDescription", [this](const std::string&) { updateStatusLabel(); }));
    updateLabel();
    updateStatusLabel();
    updateLayout();
}

void QFRecentRowView::updateLabel() {
    label_->setText(representedFlow_ ? QString::fromStdString(representedFlow_->displayName())
                                     : QString());
}

void QFRecentRowView::updateStatusLabel() {
    const QFFlow* flow = representedFlow_.get();
    if (!flow) {
        statusLabel_->setText({});
        setToolTip({});
        return;
    }
    if (flow->status() == QFFlowStatusIdle) lastClickedRunButton_ = nullptr;
    const QString status = QString::fromStdString(flow->localizedStatusDescription());
    // The line is cut short at the row's width, or shows a hint: the whole
    // status (a failure's full text) stays at hand.
    setToolTip(status);
    QString text;
    if (flowButton_->isMouseInside()) {
        text = lastClickedRunButton_ == flowButton_
                   ? status
                   : QFLocalizedString("recents-repeat.flow.repeat-in-window.tooltip");
    } else if (repeatButton_->isMouseInside()) {
        if (lastClickedRunButton_ == repeatButton_)
            text = status;
        else if (flow->behavior() == QFFlowBehaviorNotifyWhenChanged && !flow->hasChangesToRun())
            text = QFLocalizedString("recents-repeat.flow.notifies-when-changed.tooltip");
        else if (flow->behavior() == QFFlowBehaviorRepeatAutomatically)
            text = QFLocalizedString("recents-repeat.flow.repeats-when-changed.tooltip");
        else
            text = QFLocalizedString("recents-repeat.flow.repeat-in-background.tooltip");
    } else if (isMouseInside_) {
        text = QFLocalizedString("recents-repeat.flow.double-click.tooltip");
    } else {
        text = status;
    }
    statusLabel_->setText(text);
}

bool QFRecentRowView::showsHasChangesButton() const {
    return representedFlow_ && representedFlow_->behavior() == QFFlowBehaviorNotifyWhenChanged &&
           representedFlow_->hasChangesToRun();
}

void QFRecentRowView::updateLayout() {
    const bool hasChanges = showsHasChangesButton();
    hasChangesButton_->setVisible(hasChanges);
    int32_t indicator = QFRecentIndicatorTypeRepeat;
    if (representedFlow_) {
        switch (representedFlow_->behavior()) {
            case QFFlowBehaviorRepeatAutomatically:
                indicator = QFRecentIndicatorTypeRecentRepeat;
                break;
            case QFFlowBehaviorNotifyWhenChanged:
                indicator =
                    hasChanges ? QFRecentIndicatorTypeRepeat : QFRecentIndicatorTypeDashedCircle;
                break;
            default:
                break;
        }
        flowButton_->reflectFlow(*representedFlow_);
    }
    repeatButton_->setIndicatorType(indicator);
    layoutSubviews();
    update();
}

void QFRecentRowView::layoutSubviews() {
    const double centreY = height() / 2.0;
    place(*flowButton_, flowButton_->intrinsicContentSize(), kFlowButtonInset, centreY);
    const QSizeF repeat = repeatButton_->intrinsicContentSize();
    const double repeatX = width() - kIndicatorInset - repeat.width();
    place(*repeatButton_, repeat, repeatX, centreY);
    double textRight = repeatX - kTextToIndicator;
    if (hasChangesButton_->isVisibleTo(this)) {
        const QSizeF dot = hasChangesButton_->intrinsicContentSize();
        const double dotX = repeatX - kDotToIndicator - dot.width();
        place(*hasChangesButton_, dot, dotX, centreY);
        textRight = dotX - kTextToIndicator;
    }
    const double textX = kFlowButtonInset + QFRecentFlowButton::kSize + kFlowButtonToText;
    const int labelHeight = label_->sizeHint().height();
    const int statusHeight = statusLabel_->sizeHint().height();
    const int textWidth = std::max(0, static_cast<int>(textRight - textX));
    const int textHeight = labelHeight + statusHeight;
    textContainer_->setGeometry(static_cast<int>(textX),
                                static_cast<int>(std::round(centreY - textHeight / 2.0)), textWidth,
                                textHeight);
    label_->setGeometry(0, 0, textWidth, labelHeight);
    statusLabel_->setGeometry(0, labelHeight, textWidth, statusHeight);
}

void QFRecentRowView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutSubviews();
}

void QFRecentRowView::repeatFlowWithUI() {
    if (!representedFlow_) return;
    lastClickedRunButton_ = flowButton_;
    representedFlow_->runWithUI();
}

void QFRecentRowView::repeatFlowWithoutUI() {
    if (!representedFlow_) return;
    // A smart flow repeats by itself; only changes to run give a click work.
    if (representedFlow_->behavior() != QFFlowBehaviorNone && !representedFlow_->hasChangesToRun())
        return;
    lastClickedRunButton_ = repeatButton_;
    representedFlow_->run();
}

void QFRecentRowView::contextMenuShowInFinder() {
    if (!representedFlow_) return;
    for (const std::string& url : representedFlow_->inputURLs())
        QFFlowInterfaceHooks::current().revealInFileViewer(url);
}

void QFRecentRowView::contextMenuShowOutputDirectoryInFinder() {
    if (representedFlow_) representedFlow_->activateFileViewerSelectingOutputURL();
}

void QFRecentRowView::contextMenuRemoveFromRecents() {
    // The list follows through its observation of the recents.
    if (std::shared_ptr<QFFlow> flow = representedFlow_)
        QFFlowManager::defaultManager()->removeFlow(flow);
}

void QFRecentRowView::mouseEntered() {
    if (isMouseInside_) return;
    isMouseInside_ = true;
    updateStatusLabel();
}

void QFRecentRowView::mouseExited() {
    if (!isMouseInside_) return;
    isMouseInside_ = false;
    updateStatusLabel();
}

void QFRecentRowView::mouseExitedButton() {
    lastClickedRunButton_ = nullptr;
    updateStatusLabel();
}

void QFRecentRowView::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    mouseEntered();
}

void QFRecentRowView::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    mouseExited();
}

void QFRecentRowView::mousePressEvent(QMouseEvent* event) {
    const bool controlClick =
        event->button() == Qt::LeftButton && (event->modifiers() & Qt::ControlModifier);
    if (event->button() == Qt::RightButton || controlClick) {
        showContextMenu(event->globalPosition().toPoint());
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void QFRecentRowView::showContextMenu(const QPoint& globalPosition) {
    if (!representedFlow_) return;
    QMenu menu(this);
    menu.addAction(QFLocalizedString("recents-repeat.flow.menu.reveal-input-in-finder"), this,
                   &QFRecentRowView::contextMenuShowInFinder);
    if (representedFlow_->hasOutputDirectory()) {
        menu.addAction(
            QFLocalizedString("recents-repeat.flow.menu.reveal-output-directory-in-finder"), this,
            &QFRecentRowView::contextMenuShowOutputDirectoryInFinder);
    }
    menu.addSeparator();
    menu.addAction(QFLocalizedString("recents-repeat.flow.menu.remove-from-recents"), this,
                   &QFRecentRowView::contextMenuRemoveFromRecents);
    isShowingContextMenu_ = true;
    repaint();
    if (const MenuPresenter& presenter = menuPresenter())
        presenter(menu, globalPosition);
    else
        menu.exec(globalPosition);
    isShowingContextMenu_ = false;
    repaint();
}

void QFRecentRowView::paintEvent(QPaintEvent*) {
    if (!isShowingContextMenu_) return;
    const QRectF bounds(rect());
    QPainterPath ring = OMBezierPathWithRoundedRect(bounds.adjusted(2, 2, -2, -2), 3);
    ring.addPath(OMBezierPathWithRoundedRect(bounds.adjusted(4, 4, -4, -4), 1));
    ring.setFillRule(Qt::OddEvenFill);
    QPainter painter(this);
    const QTransform toDevice = OMUserToDeviceTransform(painter);
    OMDeviceLayer layer(toDevice.mapRect(bounds).toAlignedRect());
    layer.paint(toDevice, [&](QPainter& canvas) {
        QFRecentsStyle::smartIndicatorEffectWithMask(1).drawBezierPath(canvas, ring);
    });
    painter.setOpacity(kRingAlpha);
    layer.drawOnto(painter);
}
