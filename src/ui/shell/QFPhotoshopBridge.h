#pragma once
// QFPhotoshopBridge: asks the image editor (Photoshop, found by its bundle
// identifier "com.adobe.Photoshop") which document it shows. No such
// editor runs on this system, so the bridge answers that none is running
// and that there is no active document; tests put a bridge of their own in
// its place.
//
// Threads: activeDocumentURL may be called on any thread (the status item
// asks on a background queue, since a real editor may take long to
// answer); the rest on the main thread.

#include <memory>
#include <optional>
#include <string>

class QFPhotoshopBridge {
public:
    static constexpr const char* kBundleIdentifier = "com.adobe.Photoshop";

    virtual ~QFPhotoshopBridge() = default;

    // The one in use; a caller that queues work keeps the pointer.
    static std::shared_ptr<QFPhotoshopBridge> shared();
    // Null goes back to this system's bridge.
    static void setShared(std::shared_ptr<QFPhotoshopBridge> bridge);

    // Whether the editor runs and has finished launching.
    virtual bool isPhotoshopRunning() const { return false; }
    // The file of the editor's current document; none unless the editor
    // runs and its current document was ever saved.
    virtual std::optional<std::string> activeDocumentURL() const { return std::nullopt; }
};
