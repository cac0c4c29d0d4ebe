#include "updater/interface/OMAUUpdateAlert.h"

#include "platform/dispatch/MainQueue.h"
#include "platform/settings/UserDefaults.h"
#include "platform/transfers/URLRequest.h"
#include "updater/interface/OMAUFeedLinks.h"
#include "updater/interface/OMAUSpinner.h"
#include "updater/interface/OMAUWindowParts.h"
#include "updater/shared/OMAUHost.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextDocument>
#include <QVBoxLayout>

#include <thread>

namespace {

constexpr const char* kFrameKey = "OMAUUpdateAlertFrame";
constexpr auto kReleaseNotesTimeout = std::chrono::seconds(30);
constexpr uint64_t kMaximumReleaseNotesLength = 8 * 1024 * 1024;

QString qt(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

OMAUUpdateAlert::OMAUUpdateAlert(OMAUAppcastItem item, std::shared_ptr<const OMAUHost> host,
                                 std::shared_ptr<lf::UserDefaults> defaults)
    : QWidget(nullptr, Qt::Window | Qt::WindowStaysOnTopHint),
      updateItem_(std::move(item)),
      host_(std::move(host)),
      defaults_(std::move(defaults)) {
    auto* heading = OMAUMakeHeadingLabel(this);
    heading->setText(qt(titleText()));
    auto* description = new QLabel(qt(descriptionText()), this);
    description->setWordWrap(true);

    auto* text = new QVBoxLayout;
    text->addWidget(heading);
    text->addWidget(description);
    if (showsReleaseNotes()) {
        text->addWidget(new QLabel(qt(host_->localizedString("Release Notes:")), this));
        releaseNotesView_ = new QTextBrowser(this);
        releaseNotesView_->setOpenLinks(false);
        releaseNotesView_->setMinimumSize(360, 200);
        connect(releaseNotesView_, &QTextBrowser::anchorClicked, this,
                [this](const QUrl& url) { linkActivated(url); });
        // The spinner turns in the middle of the notes while they load.
        auto* notes = new QGridLayout;
        notes->addWidget(releaseNotesView_, 0, 0);
        releaseNotesSpinner_ = new OMAUSpinner(this);
        notes->addWidget(releaseNotesSpinner_, 0, 0, Qt::AlignCenter);
        text->addLayout(notes, 1);
    }
    if (allowsAutomaticUpdates()) {
        automaticUpdates_ = new QCheckBox(
            qt(host_->localizedString("Automatically download and install updates in the future")),
            this);
        automaticUpdates_->setChecked(defaults_->boolForKey("AUAutomaticallyUpdate"));
        connect(automaticUpdates_, &QCheckBox::toggled, this,
                [this](bool on) { defaults_->setObject("AUAutomaticallyUpdate", on); });
        text->addWidget(automaticUpdates_);
    }
    auto* skip = new QPushButton(qt(host_->localizedString("Skip This Version")), this);
    auto* later = new QPushButton(qt(host_->localizedString("Remind Me Later")), this);
    auto* install = new QPushButton(qt(host_->localizedString("Install Update")), this);
    install->setDefault(true);
    connect(skip, &QPushButton::clicked, this, [this] { skipThisVersion(); });
    connect(later, &QPushButton::clicked, this, [this] { remindMeLater(); });
    connect(install, &QPushButton::clicked, this, [this] { installUpdate(); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(skip);
    buttons->addStretch(1);
    buttons->addWidget(later);
    buttons->addWidget(install);
    text->addLayout(buttons);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(OMAUMakeIconLabel(this));
    layout->addLayout(text, 1);

    OMAUCentreWindow(this);
    if (showsReleaseNotes()) {
        restoreFrame();
        displayReleaseNotes();
    } else {
        // Without the notes there is nothing worth a larger window.
        setFixedSize(sizeHint());
    }
}

OMAUUpdateAlert::~OMAUUpdateAlert() {
    *alive_ = false;
}

std::string OMAUUpdateAlert::titleText() const {
    return OMAUFormat(host_->localizedString("A new version of %@ is available."),
                      {host_->displayName()});
}

std::string OMAUUpdateAlert::descriptionText() const {
    return OMAUFormat(
        host_->localizedString("%@ %@ is now available (you are using %@). Would you "
                               "like to download the new version?"),
        {host_->displayName(), updateItem_.versionString().value_or(""), host_->versionString()});
}

bool OMAUUpdateAlert::showsReleaseNotes() const {
    return host_->infoBool("AUShowReleaseNotes").value_or(true);
}

bool OMAUUpdateAlert::allowsAutomaticUpdates() const {
    if (!host_->infoValueForKey("AUExpectsDSASignature")) return false;
    return host_->infoBool("AUAllowsAutomaticUpdates").value_or(true);
}

void OMAUUpdateAlert::displayReleaseNotes() {
    releaseNotesSpinner_->startAnimation();
    webViewFinishedLoading_ = false;
    const std::optional<std::string>& url = updateItem_.releaseNotesURL();
    if (!url) {
        showReleaseNotes(qt(updateItem_.description()), QUrl());
        return;
    }
    std::thread([alive = alive_, url = *url, self = this] {
        lf::URLRequest request;
        request.url = url;
        request.timeout = kReleaseNotesTimeout;
        request.maximumLength = kMaximumReleaseNotesLength;
        request.requiresSecureTransport = true;
        lf::Result<lf::Data> notes = lf::loadURLSynchronously(request);
        QString html = notes ? QString::fromUtf8(notes->stringView().data(),
                                                 static_cast<qsizetype>(notes->size()))
                             : QString::fromStdString(lf::describe(notes.error())).toHtmlEscaped();
        lf::MainQueue::shared()->async([alive, self, html, url] {
            if (*alive) self->showReleaseNotes(html, QUrl(QString::fromStdString(url)));
        });
    }).detach();
}

void OMAUUpdateAlert::showReleaseNotes(const QString& html, const QUrl& base) {
    // Relative links in the notes lead to pages beside them.
    releaseNotesView_->document()->setMetaInformation(QTextDocument::DocumentUrl, base.toString());
    releaseNotesView_->setHtml(html);
    webViewFinishedLoading_ = true;
    releaseNotesSpinner_->stopAnimation();
}

void OMAUUpdateAlert::linkActivated(const QUrl& url) {
    if (!webViewFinishedLoading_) return;
    const QUrl base(releaseNotesView_->document()->metaInformation(QTextDocument::DocumentUrl));
    OMAUOpenFeedLink(base.isEmpty() ? url : base.resolved(url));
}

void OMAUUpdateAlert::endWithSelection(int choice) {
    if (ended_) return;
    ended_ = true;
    *alive_ = false;
    if (releaseNotesSpinner_) releaseNotesSpinner_->stopAnimation();
    saveFrame();
    close();
    if (auto delegate = delegate_.lock()) delegate->updateAlertFinishedWithChoice(this, choice);
}

void OMAUUpdateAlert::closeEvent(QCloseEvent* event) {
    event->accept();
    // Closing the window is "remind me later".
    if (!ended_) endWithSelection(1);
}

void OMAUUpdateAlert::restoreFrame() {
    auto frame = defaults_->objectForKey(kFrameKey);
    if (!frame || !frame->is_array() || frame->size() != 4) return;
    for (const auto& value : *frame)
        if (!value.is_number_integer()) return;
    const QRect saved((*frame)[0].get<int>(), (*frame)[1].get<int>(), (*frame)[2].get<int>(),
                      (*frame)[3].get<int>());
    if (saved.width() > 0 && saved.height() > 0) setGeometry(saved);
}

void OMAUUpdateAlert::saveFrame() {
    if (!showsReleaseNotes()) return;
    const QRect frame = geometry();
    defaults_->setObject(kFrameKey, {frame.x(), frame.y(), frame.width(), frame.height()});
}
