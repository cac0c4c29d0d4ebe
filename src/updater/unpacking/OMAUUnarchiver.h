#pragma once
// OMAUUnarchiver: unpacks one update archive (OMAUArchiveExtraction.h) on a
// thread of its own. The delegate hears on the main queue: the length of
// each piece of the archive handed to the tool, then, waited for, the end.
// The thread keeps the unarchiver alive until the delegate has heard the
// end; the delegate is held weakly.
//
// An unpacking may be cancelled: it ends at the step under way, its tool
// killed, its private folder removed, and the delegate hears nothing more.
// What it unpacked beside the archive stays only once the delegate has
// heard the end; cancelled before, that goes too. Quitting cancels every
// unpacking under way and waits for each to have cleared up
// (OMAUEndUnpackings), so none is left behind, nor its tool running.

#include "platform/core/Error.h"
#include "platform/core/Result.h"
#include "updater/unpacking/OMAUArchiveExtraction.h"
#include "updater/unpacking/OMAUWorkUnderWay.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>

class OMAUUnarchiver;

class OMAUUnarchiverDelegate {
public:
    virtual ~OMAUUnarchiverDelegate() = default;
    virtual void unarchiverExtractedLength(OMAUUnarchiver&, uint64_t) {}
    virtual void unarchiverDidFinish(std::shared_ptr<OMAUUnarchiver>) {}
    virtual void unarchiverDidFail(std::shared_ptr<OMAUUnarchiver>) {}
};

class OMAUUnarchiver : public std::enable_shared_from_this<OMAUUnarchiver> {
public:
    static std::shared_ptr<OMAUUnarchiver> create() {
        return std::shared_ptr<OMAUUnarchiver>(new OMAUUnarchiver);
    }

    void setDelegate(std::weak_ptr<OMAUUnarchiverDelegate> delegate) {
        delegate_ = std::move(delegate);
    }
    std::shared_ptr<OMAUUnarchiverDelegate> delegate() const { return delegate_.lock(); }
    // The caller's own value, kept and never used.
    void setContext(void* context) { context_ = context; }
    void* context() const { return context_; }

    // Starts unpacking `path` and returns at once; one archive per
    // unarchiver. The links in the application's folder, named
    // `applicationFolder` ("layerflow.app"), must stay within it.
    void unarchivePath(const std::string& path, const std::string& applicationFolder = {});
    // Cancels the unpacking, on any thread; returns at once. Its thread
    // kills the tool and removes what it unpacked.
    void cancel() { stop_.request_stop(); }
    // Called on the unarchiver's thread after each step once the tool has
    // ended (OMAUUnpackingRequest::afterStep): tests have a quit come then.
    // Set before unarchivePath.
    void setStepHook(std::function<void(OMAUUnpackingStep, std::stop_token)> hook) {
        afterStep_ = std::move(hook);
    }
    // Why the extraction failed, once the delegate has heard so.
    const std::optional<lf::Error>& failure() const { return failure_; }

private:
    OMAUUnarchiver() = default;
    // On the unarchiver's thread.
    void extract(const std::string& path, const std::string& applicationFolder);
    // On the main thread.
    void tellEnd(const lf::Status& extracted);

    std::weak_ptr<OMAUUnarchiverDelegate> delegate_;
    void* context_ = nullptr;
    std::optional<lf::Error> failure_;
    std::stop_source stop_;
    std::function<void(OMAUUnpackingStep, std::stop_token)> afterStep_;
};
