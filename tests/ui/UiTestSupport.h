#pragma once
// Resource folders made by the tests: a background of a known colour, a
// logotype of a chosen height, and nothing else, so each test sees the
// resources it states.

#include "kit/Bundle.h"
#include "support/TestSupport.h"
#include "ui/window/QFResources.h"

#include <QColor>
#include <QImage>
#include <QSize>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace lf::test {

// A clock that stands still until the test moves it, in the ticks of
// OMCurrentAbsoluteTime (nanoseconds). Its function shares the time, so an
// animator that outlives the test's clock (its step stays in the frame
// loop) still reads a valid one.
class FakeClock {
public:
    void advance(double seconds) { *now_ += static_cast<uint64_t>(seconds * 1e9); }
    std::function<uint64_t()> function() {
        return [now = now_] { return *now; };
    }

private:
    std::shared_ptr<uint64_t> now_ = std::make_shared<uint64_t>(1'000'000'000);
};

class ScopedResources {
public:
    ScopedResources() { std::filesystem::create_directories(directory_ / "strings"); }
    ~ScopedResources() { QFResources::setShared(nullptr); }

    // Writes "name.png" (1x) as `image`.
    ScopedResources& image(const std::string& name, const QImage& image) {
        image.save(QString::fromStdString((directory_ / (name + ".png")).string()));
        return *this;
    }
    // A background filled with `color`, in `format`.
    ScopedResources& background(const QColor& color,
                                QImage::Format format = QImage::Format_ARGB32) {
        QImage tile(8, 8, format);
        tile.fill(color);
        return image("WindowBackground", tile);
    }
    // A logotype `height` points high.
    ScopedResources& logotype(int height) {
        QImage shape(60, height, QImage::Format_ARGB32);
        shape.fill(Qt::black);
        return image("WindowLogotype", shape);
    }
    ScopedResources& file(const std::string& name, const std::string& bytes) {
        writeFile(directory_ / name, bytes);
        return *this;
    }
    // Makes these the shared resources.
    void install() {
        QFResources::setShared(
            std::make_shared<QFResources>(std::make_shared<const lf::Bundle>(directory_.path())));
    }

private:
    TemporaryDirectory directory_;
};

}  // namespace lf::test
