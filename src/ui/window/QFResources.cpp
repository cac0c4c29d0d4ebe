#include "ui/window/QFResources.h"

#include "kit/OMLocalizer.h"
#include "platform/core/Log.h"
#include "platform/files/Data.h"

namespace {

std::shared_ptr<const QFResources>& sharedResources() {
    static std::shared_ptr<const QFResources> resources;
    return resources;
}

}  // namespace

bool QFImageName::isTemplateImageName(std::string_view name) {
    return name.ends_with("Template");
}

QFResources::QFResources(std::shared_ptr<const lf::Bundle> bundle)
    : bundle_(std::move(bundle)), info_(readInfo(*bundle_)) {}

std::shared_ptr<const QFResources> QFResources::shared() {
    auto& resources = sharedResources();
    if (!resources) resources = std::make_shared<const QFResources>(lf::Bundle::main());
    return resources;
}

void QFResources::setShared(std::shared_ptr<const QFResources> resources) {
    sharedResources() = std::move(resources);
}

nlohmann::json QFResources::readInfo(const lf::Bundle& bundle) {
    const auto path = bundle.pathForResource("Info", "json");
    if (!path) return nlohmann::json::object();
    lf::Result<lf::Data> bytes = lf::Data::readFile(path->string());
    if (!bytes) {
        lf::log("*** {}", lf::describe(bytes.error()));
        return nlohmann::json::object();
    }
    auto info = nlohmann::json::parse(bytes->stringView(), nullptr, false);
    if (!info.is_object()) {
        lf::log("*** {} is not a JSON object", path->string());
        return nlohmann::json::object();
    }
    return info;
}

std::shared_ptr<const OMImage> QFResources::imageNamed(std::string_view name) const {
    if (auto found = images_.find(name); found != images_.end()) return found->second;
    std::shared_ptr<const OMImage> image = OMImage::load(*bundle_, name);
    images_.emplace(std::string(name), image);
    return image;
}

QImage QFResources::bitmapFileNamed(std::string_view name) const {
    const auto path = bundle_->pathForResource(name, "png");
    return path ? QImage(QString::fromStdString(path->string())) : QImage();
}

std::optional<std::string> QFResources::infoString(std::string_view key) const {
    const auto found = info_.find(key);
    if (found == info_.end() || !found->is_string()) return std::nullopt;
    return found->get<std::string>();
}

std::string QFResources::productName() const {
    return infoString("CFBundleName").value_or("layerflow");
}

std::string QFResources::localizedString(std::string_view key) const {
    const auto localizer = OMLocalizer::localizerForBundle(bundle_, {});
    return localizer->localizedStringForKey(key).value_or(std::string(key));
}

QString QFLocalizedString(std::string_view key) {
    return QString::fromStdString(QFResources::shared()->localizedString(key));
}
