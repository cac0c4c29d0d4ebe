#include "ui/shell/QFFlowDocument.h"

#include "platform/writing/AtomicFile.h"
#include "ui/shell/QFDocumentController.h"
#include "ui/shell/QFFlowWindowController.h"
#include "ui/window/QFWindow.h"

#include <QString>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <stdio.h>
#include <system_error>

namespace fs = std::filesystem;

namespace {

lf::Error posixError(const std::error_code& error, const std::string& what) {
    return lf::Error::posix(error.value(), what);
}

// A sibling of `path` that does not exist yet.
fs::path temporarySibling(const fs::path& path) {
    std::random_device random;
    for (;;) {
        fs::path candidate = path;
        candidate += ".writing-" + std::to_string(random());
        std::error_code error;
        if (!fs::exists(fs::symlink_status(candidate, error))) return candidate;
    }
}

}  // namespace

QFFlowDocument::~QFFlowDocument() = default;

bool QFFlowDocument::isFlowDocumentPath(const std::string& path) {
    return QString::fromStdString(fs::path(path).extension().string()).toLower() ==
           QStringLiteral(".") + kPathExtension;
}

lf::Status QFFlowDocument::writeToURL(const std::string& path) const {
    // The package is made beside the target and then swapped in, so a
    // failure half way leaves the old package whole.
    const fs::path target = path;
    const fs::path staging = temporarySibling(target);
    std::error_code error;
    if (!fs::create_directory(staging, error))
        return posixError(error, "create " + staging.string());
    if (auto written = lf::writeFileAtomically((staging / kWorkflowFileName).string(),
                                               std::span<const uint8_t>());
        !written) {
        fs::remove_all(staging, error);
        return written.error();
    }
    const bool exists = fs::exists(fs::symlink_status(target, error));
    const int swapped =
        exists ? renameat2(AT_FDCWD, staging.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE)
               : rename(staging.c_str(), target.c_str());
    if (swapped != 0) {
        const int errnum = errno;
        fs::remove_all(staging, error);
        return lf::Error::posix(errnum, "replace " + target.string());
    }
    // After an exchange the staging name holds the old package.
    if (exists) fs::remove_all(staging, error);
    return {};
}

lf::Status QFFlowDocument::readFromURL(const std::string& path) {
    std::error_code error;
    if (!fs::exists(path, error)) {
        return lf::Error("NSCocoaErrorDomain", 260,
                         {{lf::kLocalizedDescriptionKey,
                           "The file “" + fs::path(path).filename().string() +
                               "” couldn’t be opened because there is no such file."},
                          {lf::kURLErrorKey, path}});
    }
    return {};
}

void QFFlowDocument::makeWindowControllers() {
    addWindowController(QFFlowWindowController::create());
}

void QFFlowDocument::addWindowController(
    const std::shared_ptr<QFFlowWindowController>& controller) {
    if (!controller) return;
    if (auto previous = controller->document().lock(); previous && previous.get() != this)
        previous->removeWindowController(*controller);
    if (std::find(windowControllers_.begin(), windowControllers_.end(), controller) ==
        windowControllers_.end())
        windowControllers_.push_back(controller);
    controller->setDocument(weak_from_this());
}

void QFFlowDocument::removeWindowController(const QFFlowWindowController& controller) {
    auto found = std::find_if(windowControllers_.begin(), windowControllers_.end(),
                              [&](const auto& c) { return c.get() == &controller; });
    if (found == windowControllers_.end()) return;
    (*found)->setDocument({});
    windowControllers_.erase(found);
}

void QFFlowDocument::showWindows() {
    for (const auto& controller : windowControllers_)
        controller->showWindow();
}

QFFlowWindowController* QFFlowDocument::mainWindowController() const {
    for (auto it = windowControllers_.rbegin(); it != windowControllers_.rend(); ++it) {
        if ((*it)->window()->isActiveWindow()) return it->get();
    }
    return windowControllers_.empty() ? nullptr : windowControllers_.front().get();
}

void QFFlowDocument::close() {
    // Kept alive until the end: the controller list may hold the last
    // reference.
    const auto self = shared_from_this();
    for (const auto& controller : std::vector(windowControllers_))
        controller->closeWindow();
    windowControllers_.clear();
    QFDocumentController::shared().removeDocument(*this);
}
