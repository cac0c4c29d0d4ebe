// The engine's download, verification and unpacking of an update.

#include "platform/writing/HiddenName.h"
#include "updater/engine/OMAUExceptions.h"
#include "updater/engine/OMAUFormatByteCount.h"
#include "updater/engine/OMAUStatusController.h"
#include "updater/engine/OMAUUpdater.h"
#include "updater/feed/OMAUVerification.h"
#include "updater/shared/OMAULog.h"
#include "updater/shared/OMAUStringExtras.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace fs = std::filesystem;

namespace {

// Without a length in the feed an archive may be this long at most; updates
// are far smaller, and a server that sends on and on must not fill the disk.
constexpr uint64_t kDefaultMaximumDownloadLength = uint64_t{2} << 30;
// The download folders, "layerflow-update-XXXXXX" in the temporary folder.
constexpr const char* kDownloadFolderPrefix = "layerflow-update-";

// What an archive may exceed the length the feed states by, for a feed
// that rounds it; a longer one fails its checksum anyway.
constexpr uint64_t kStatedLengthSlack = uint64_t{1} << 20;

uint64_t maximumDownloadLength(const OMAUAppcastItem& item) {
    const std::optional<uint64_t>& stated = item.fileLength();
    if (!stated) return kDefaultMaximumDownloadLength;
    return *stated > UINT64_MAX - kStatedLengthSlack ? UINT64_MAX : *stated + kStatedLengthSlack;
}

// A name for the downloaded archive that stays inside its folder: the last
// component of what the server suggests, without a ".txt" that some
// servers add. The name shows in logs, reasons and the tools' messages:
// whatever would act on a terminal, split a line or turn the text around
// (control characters, newlines, bidirectional marks) becomes "_", as does
// a byte of no valid UTF-8 (and NUL, which no name may hold).
std::string safeFileName(const std::string& suggested) {
    std::string name =
        OMAUWithSafeCharacters(suggested.substr(suggested.find_last_of('/') + 1), '_');
    if (fs::path(name).extension() == ".txt") name = fs::path(name).stem().string();
    if (name.empty() || name == "." || name == "..") name = "update";
    return name;
}

// The longest extension kept whole when a name is shortened; a longer one
// is no kind of archive.
constexpr size_t kLongestKeptExtension = 16;

// `name`, shortened where `folder` would refuse it as too long: its
// extension, which tells how to unpack it, is kept, and what goes before
// it shortened as the names of private folders are (lf::hiddenNamePrefix:
// its first bytes, "~" and a hash of the whole name).
std::string nameFittingIn(const fs::path& folder, const std::string& name) {
    const size_t longest = lf::longestNameIn(folder.string());
    if (name.size() <= longest) return name;
    std::string extension = fs::path(name).extension().string();
    if (extension.size() > kLongestKeptExtension) extension.clear();
    const std::string_view stem = std::string_view(name).substr(0, name.size() - extension.size());
    // The prefix begins with a "." of its own, which is not wanted here,
    // and takes a byte of the room.
    return lf::hiddenNamePrefix(stem, extension, 0, longest + 1).substr(1);
}

}  // namespace

void OMAUUpdater::beginDownload() {
    if (!isAutomaticallyUpdating()) {
        statusController_ = std::make_unique<OMAUStatusController>(environment_.host);
        statusController_->beginAction(
            text("Downloading %@ update.", {environment_.host->displayName()}), 0, "");
        statusController_->setButtonTitle(mainTableText("Cancel"), weak_from_this(),
                                          &OMAUUpdater::cancelDownload, false);
        statusController_->setShowsCancelButton(false);
        statusController_->showWindow();
    }
    lf::URLRequest request;
    request.url = updateItem_->fileURL();
    request.requiresSecureTransport = true;
    request.maximumLength = maximumDownloadLength(*updateItem_);
    downloader_ = lf::URLDownload::start(
        request, std::static_pointer_cast<lf::URLDownloadDelegate>(shared_from_this()));
}

void OMAUUpdater::downloadDidReceiveResponse(lf::URLDownload&, const lf::URLResponse& response) {
    // An unknown or empty length leaves the bar indeterminate.
    if (statusController_)
        statusController_->setMaxProgressValue(
            static_cast<double>(response.expectedContentLength.value_or(0)));
}

std::string OMAUUpdater::downloadDecideDestination(lf::URLDownload&, const std::string& suggested) {
    std::string destination;
    atEdge(
        [&] {
            lf::Result<OMAUHeldFolder> folder = OMAUHeldFolder::make(
                (fs::temp_directory_path() / (std::string(kDownloadFolderPrefix) + "XXXXXX"))
                    .string());
            if (!folder) throw OMAUFailTmpWrite("Couldn't create temporary directory in /tmp");
            downloadFolder_ = folder->path();
            downloadFolderHold_ = std::move(*folder);
            downloadPath_ =
                downloadFolder_ / nameFittingIn(downloadFolder_, safeFileName(suggested));
            destination = downloadPath_.string();
        },
        "An error occurred while trying to download the file. Please try again later.");
    return destination;
}

void OMAUUpdater::startLaunchSweep() {
    // Read here: the sweep's thread must not read the environment while
    // another thread may change it.
    std::error_code error;
    const fs::path temporary = fs::temp_directory_path(error);
    if (!error) launchSweep_ = OMAULaunchSweep::start(temporary, kDownloadFolderPrefix);
}

void OMAUUpdater::downloadDidReceiveData(lf::URLDownload&, uint64_t length) {
    if (!statusController_) return;
    const double progress = statusController_->progressValue() + static_cast<double>(length);
    statusController_->setProgressValue(progress);
    const double maximum = statusController_->maxProgressValue();
    if (maximum > 0) {
        statusController_->setStatusText(
            text("%i%% - %@ of %@", {std::to_string(static_cast<int>(progress * 100 / maximum)),
                                     OMAUFormatByteCount(progress), OMAUFormatByteCount(maximum)}));
    } else {
        statusController_->setStatusText(OMAUFormatByteCount(progress));
    }
}

void OMAUUpdater::downloadDidFail(lf::URLDownload& download, const lf::Error& error) {
    abandonUpdate();
    // Why the file could not be made, say, lies underneath.
    const std::shared_ptr<const lf::Error> underlying = error.underlyingError();
    OMAULog("Download error for URL {}: {}{}{}", download.request().url,
            error.localizedDescription(), underlying ? " " : "",
            underlying ? underlying->localizedDescription() : std::string());
    showUpdateErrorAlertWithInfo(
        text("An error occurred while trying to download the file. Please try again later."));
}

void OMAUUpdater::downloadDidFinish(lf::URLDownload&) {
    downloader_.reset();
    atEdge([this] { extractUpdate(); },
           "An error occurred while extracting the Update archive. Please try again later.");
}

void OMAUUpdater::cancelDownload() {
    if (downloader_) downloader_->cancel();
    downloader_.reset();
    abandonUpdate();
}

// Verifying and unpacking

void OMAUUpdater::extractUpdate() {
    const std::string name = environment_.host->displayName();
    if (statusController_ && !isAutomaticallyUpdating()) {
        statusController_->beginAction(text("Preparing %@ update.", {name}), 0,
                                       text("%@ is currently extracting the update.", {name}));
        statusController_->setShowsCancelButton(false);
    }
    try {
        const std::string& md5 = updateItem_->MD5Sum();
        if (!md5.empty() && !OMAUValidatePathWithMD5Hash(downloadPath_, md5))
            throw OMAUUnarchiveException("MD5 verification of the update archive failed.");
        if (environment_.host->infoBool("AUExpectsDSASignature").value_or(false)) {
            if (!OMAUValidatePathWithEncodedDSASignature(
                    downloadPath_, updateItem_->DSASignature(),
                    environment_.host->infoString("AUPublicDSAKey").value_or("")))
                throw OMAUUnarchiveException("DSA verification of the update archive failed.");
        } else if (md5.empty()) {
            throw OMAUUnarchiveException(
                "The update has neither an MD5 checksum nor an expected DSA signature to verify "
                "its archive with.");
        } else if (!feedCameOverHTTPS_ || !lf::isHTTPSURL(updateItem_->fileURL())) {
            // The checksum comes with the feed: it vouches for the archive
            // only where nobody on the way could have changed both.
            throw OMAUUnarchiveException(
                "The update archive is verified only by the feed's MD5 checksum, which counts "
                "only when the feed and the archive both came over https.");
        }
        unarchiver_ = OMAUUnarchiver::create();
        unarchiver_->setDelegate(weak_from_this());
        // Without a name, installing refuses the update later, with a message.
        const std::optional<std::string> name = environment_.host->infoString("CFBundleName");
        unarchiver_->unarchivePath(downloadPath_, name ? *name + ".app" : std::string());
    } catch (const OMAUException& exception) {
        OMAULog("{}", exception.reason());
        showUpdateErrorAlertWithInfo(
            text("An error occurred while extracting the Update archive. Please try again later."));
        abandonUpdate();
    }
}

void OMAUUpdater::unarchiverExtractedLength(OMAUUnarchiver& unarchiver, uint64_t length) {
    if (&unarchiver != unarchiver_.get() || !statusController_ || isAutomaticallyUpdating()) return;
    if (statusController_->maxProgressValue() == 0) {
        std::error_code error;
        const auto size = fs::file_size(downloadPath_, error);
        statusController_->setMaxProgressValue(error ? 0 : static_cast<double>(size));
    }
    statusController_->setProgressValue(statusController_->progressValue() +
                                        static_cast<double>(length));
}

void OMAUUpdater::unarchiverDidFail(std::shared_ptr<OMAUUnarchiver> unarchiver) {
    // An update abandoned meanwhile has nothing to report.
    if (unarchiver != unarchiver_) return;
    unarchiver_.reset();
    showUpdateErrorAlertWithInfo(
        text("An error occurred while extracting the archive. Please try again later."));
    abandonUpdate();
}

void OMAUUpdater::unarchiverDidFinish(std::shared_ptr<OMAUUnarchiver> unarchiver) {
    if (unarchiver != unarchiver_) return;
    unarchiver_.reset();
    if (isAutomaticallyUpdating()) {
        atEdge([this] { installAndRestart(); },
               "An error occurred during installation. Please try again later.");
        return;
    }
    if (!statusController_) return;
    statusController_->beginAction(
        text("Do you want to install the update?"), 1.0,
        fmt::format("{} {} is ready to be installed.", environment_.host->displayName(),
                    updateItem_->versionString().value_or("")));
    statusController_->setProgressValue(1.0);
    statusController_->setButtonTitle(text("Install and Relaunch"), weak_from_this(),
                                      &OMAUUpdater::installAndRestart, true);
    statusController_->setShowsCancelButton(true);
    environment_.presenter->requestUserAttention();
}
