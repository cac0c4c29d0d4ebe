#pragma once
// QFResources: what the interface loads from the application's resource
// folder by name: the images below (1x "Name.png" and 2x "Name@2x.png"),
// the default string table and Info.json, the application's property list.
//
// A missing image is no failure: imageNamed answers null and every view
// that shows one degrades (draws nothing in its place, or falls back to the
// size or colour it documents), so the interface runs from an empty folder.
//
// shared() reads the main bundle (kit/Bundle.h). Tests hand setShared() a
// registry over a folder of their own; the window style rebuilds its
// once-made values when the registry it read them from is replaced.
//
// Threads: main thread only (the images are drawn there).

#include "kit/Bundle.h"
#include "kit/gui/OMImage.h"

#include <QImage>
#include <QString>
#include <nlohmann/json.hpp>

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace QFImageName {
inline constexpr const char* WindowLogotype = "WindowLogotype";
inline constexpr const char* WindowBackground = "WindowBackground";
inline constexpr const char* DropHere = "DropHere";
inline constexpr const char* TaggingPlaceholder = "TaggingPlaceholder";
inline constexpr const char* DocumentErrorPlaceholder = "DocumentErrorPlaceholder";
inline constexpr const char* IndicatorInfoTemplate = "IndicatorInfoTemplate";
inline constexpr const char* IndicatorRepeatTemplate = "IndicatorRepeatTemplate";
inline constexpr const char* ActionExportTemplate = "ActionExportTemplate";
inline constexpr const char* RecentsHeaderTemplate = "RecentsHeaderTemplate";
inline constexpr const char* ExtractingCloud = "ExtractingCloud";
inline constexpr const char* ExtractingIcon = "ExtractingIcon";
inline constexpr const char* PlaceholderButtonNormal = "PlaceholderButtonNormal";
inline constexpr const char* PlaceholderButtonPressed = "PlaceholderButtonPressed";
inline constexpr const char* PlaceholderButtonMask = "PlaceholderButtonMask";
inline constexpr const char* StatusItemTemplate = "StatusItemTemplate";
inline constexpr const char* StatusItemInvertedTemplate = "StatusItemInvertedTemplate";
// The icon the desktop shows for the application and its windows.
inline constexpr const char* ApplicationIcon = "ApplicationIcon";

inline constexpr std::array kAll = {
    WindowLogotype,
    WindowBackground,
    DropHere,
    TaggingPlaceholder,
    DocumentErrorPlaceholder,
    IndicatorInfoTemplate,
    IndicatorRepeatTemplate,
    ActionExportTemplate,
    RecentsHeaderTemplate,
    ExtractingCloud,
    ExtractingIcon,
    PlaceholderButtonNormal,
    PlaceholderButtonPressed,
    PlaceholderButtonMask,
    StatusItemTemplate,
    StatusItemInvertedTemplate,
    ApplicationIcon,
};

// Images whose names end in "Template" are shapes: only their alpha counts,
// and they are drawn in the tint of the moment.
bool isTemplateImageName(std::string_view name);
}  // namespace QFImageName

class QFResources {
public:
    explicit QFResources(std::shared_ptr<const lf::Bundle> bundle);
    QFResources(const QFResources&) = delete;
    QFResources& operator=(const QFResources&) = delete;

    // The registry of the main bundle, or the one given to setShared.
    static std::shared_ptr<const QFResources> shared();
    // Null goes back to the main bundle's registry.
    static void setShared(std::shared_ptr<const QFResources> resources);

    const lf::Bundle& bundle() const { return *bundle_; }

    // The image `name` at 1x and 2x, read once; null when neither file is
    // there.
    std::shared_ptr<const OMImage> imageNamed(std::string_view name) const;
    // The 1x file of `name` exactly as stored (its format and samples
    // untouched); a null image when there is none.
    QImage bitmapFileNamed(std::string_view name) const;

    // Info.json, an object; empty when the file is missing or damaged.
    const nlohmann::json& infoDictionary() const { return info_; }
    // The text under `key` in Info.json, or nullopt.
    std::optional<std::string> infoString(std::string_view key) const;
    // CFBundleName, "layerflow" when Info.json has none.
    std::string productName() const;

    // The default table's text of `key`, the key itself when it has none.
    std::string localizedString(std::string_view key) const;

private:
    static nlohmann::json readInfo(const lf::Bundle& bundle);

    std::shared_ptr<const lf::Bundle> bundle_;
    nlohmann::json info_;
    mutable std::map<std::string, std::shared_ptr<const OMImage>, std::less<>> images_;
};

// The shared registry's text of `key` (the key itself when it has none),
// as the widgets show it.
QString QFLocalizedString(std::string_view key);
