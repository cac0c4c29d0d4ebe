#include "updater/engine/OMAUStatusController.h"

#include "updater/engine/OMAUUpdater.h"
#include "updater/interface/OMAUWindowParts.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The bar's own scale: progress is shown in thousandths of the maximum.
constexpr int kBarSteps = 1000;

}  // namespace

OMAUStatusController::OMAUStatusController(std::shared_ptr<const OMAUHost>)
    : window_(std::make_unique<QWidget>(nullptr, Qt::Window)) {
    window_->setWindowTitle(QString());
    auto* icon = OMAUMakeIconLabel(window_.get());
    titleLabel_ = OMAUMakeHeadingLabel(window_.get());
    progressBar_ = new QProgressBar(window_.get());
    progressBar_->setTextVisible(false);
    statusLabel_ = new QLabel(window_.get());
    cancelButton_ = new QPushButton(window_.get());
    cancelButton_->setText(QStringLiteral("×"));
    cancelButton_->setFlat(true);
    cancelButton_->setVisible(false);
    actionButton_ = new QPushButton(window_.get());

    auto* text = new QVBoxLayout;
    text->addWidget(titleLabel_);
    auto* bar = new QHBoxLayout;
    bar->addWidget(progressBar_, 1);
    bar->addWidget(cancelButton_);
    text->addLayout(bar);
    text->addWidget(statusLabel_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(actionButton_);
    text->addLayout(buttons);
    auto* layout = new QHBoxLayout(window_.get());
    layout->setContentsMargins(20, 20, 14, 14);
    layout->addWidget(icon);
    layout->addLayout(text, 1);
    window_->setMinimumWidth(420);

    QObject::connect(cancelButton_, &QPushButton::clicked, window_.get(),
                     [this] { performCancel(); });
    QObject::connect(actionButton_, &QPushButton::clicked, window_.get(),
                     [this] { performAction(); });
    showProgress();
    OMAUCentreWindow(window_.get());
}

OMAUStatusController::~OMAUStatusController() {
    // The window may be delivering the click that ended the update.
    window_->hide();
    window_.release()->deleteLater();
}

void OMAUStatusController::showWindow() {
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void OMAUStatusController::beginAction(const std::string& title, double maxProgressValue,
                                       const std::string& statusText) {
    setTitle(title);
    setMaxProgressValue(maxProgressValue);
    setStatusText(statusText);
}

void OMAUStatusController::setButtonTitle(const std::string& title,
                                          std::weak_ptr<OMAUUpdater> target, Action action,
                                          bool isDefault) {
    buttonTitle_ = title;
    actionButton_->setText(QString::fromStdString(title));
    actionButton_->setMinimumWidth(actionButton_->sizeHint().width() + 15);
    actionButton_->setDefault(isDefault);
    actionButton_->setAutoDefault(isDefault);
    target_ = std::move(target);
    action_ = action;
    actionButton_->setEnabled(true);
}

void OMAUStatusController::setShowsCancelButton(bool shows) {
    showsCancelButton_ = shows;
    cancelButton_->setVisible(shows);
}

void OMAUStatusController::setProgressValue(double value) {
    progressValue_ = value;
    showProgress();
}

void OMAUStatusController::setMaxProgressValue(double value) {
    maxProgressValue_ = value;
    progressValue_ = 0;
    showProgress();
}

void OMAUStatusController::setStatusText(const std::string& text) {
    statusText_ = text;
    statusLabel_->setText(QString::fromStdString(text));
}

void OMAUStatusController::setTitle(const std::string& title) {
    title_ = title;
    titleLabel_->setText(QString::fromStdString(title));
}

void OMAUStatusController::showProgress() {
    if (maxProgressValue_ <= 0) {
        // An unknown amount: the bar only shows that something happens.
        progressBar_->setRange(0, 0);
        return;
    }
    progressBar_->setRange(0, kBarSteps);
    const double share = std::clamp(progressValue_ / maxProgressValue_, 0.0, 1.0);
    progressBar_->setValue(static_cast<int>(share * kBarSteps));
}

void OMAUStatusController::performCancel() {
    if (auto target = target_.lock()) target->cancelDownload();
}

void OMAUStatusController::performAction() {
    auto target = target_.lock();
    if (!target || !action_) return;
    const Action action = action_;
    target->atEdge([&] { ((*target).*action)(); },
                   "An error occurred during installation. Please try again later.");
}
