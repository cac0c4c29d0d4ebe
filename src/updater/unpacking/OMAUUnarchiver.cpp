#include "updater/unpacking/OMAUUnarchiver.h"

#include "platform/Log.h"
#include "platform/MainQueue.h"
#include "updater/unpacking/OMAUArchiveExtraction.h"

#include <thread>

void OMAUUnarchiver::unarchivePath(const std::string& path, const std::string& applicationFolder) {
    std::thread([self = shared_from_this(), path, applicationFolder] {
        auto main = lf::MainQueue::shared();
        auto extractedLength = [&](uint64_t length) {
            main->async([self, length] {
                if (auto delegate = self->delegate())
                    delegate->unarchiverExtractedLength(*self, length);
            });
        };
        lf::Status extracted = OMAUExtractArchive(path, extractedLength, {}, applicationFolder);
        if (!extracted) lf::log("Extracting {}: {}", path, lf::describe(extracted.error()));
        main->sync([&] {
            if (!extracted) self->failure_ = extracted.error();
            auto delegate = self->delegate();
            if (!delegate) return;
            if (extracted)
                delegate->unarchiverDidFinish(self);
            else
                delegate->unarchiverDidFail(self);
        });
    }).detach();
}
