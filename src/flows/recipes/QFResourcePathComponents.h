#pragma once
// QFResourcePathComponents: an output path taken apart into the pieces its
// name is built from, "folder/base@2x~device.ext":
// - basePath: everything before the last component ("" when none);
// - baseFileName: the last component without its extension, "@2x" and
//   device modifier;
// - pathExtension: the extension as written;
// - hasRetinaSuffix: the name carries "@2x" (double density);
// - deviceModifier: the word after "~" at the end of the base name, without
//   "@2x".
// path() builds the name again with the device modifier always after
// "@2x": "icon~ipad@2x.png" comes back as "icon@2x~ipad.png".

#include <string>
#include <string_view>

class QFResourcePathComponents {
public:
    explicit QFResourcePathComponents(std::string_view path);

    const std::string& basePath() const { return basePath_; }
    const std::string& baseFileName() const { return baseFileName_; }
    const std::string& pathExtension() const { return pathExtension_; }
    bool hasRetinaSuffix() const { return hasRetinaSuffix_; }
    void setHasRetinaSuffix(bool hasRetinaSuffix) { hasRetinaSuffix_ = hasRetinaSuffix; }
    const std::string& deviceModifier() const { return deviceModifier_; }
    void setDeviceModifier(std::string deviceModifier) {
        deviceModifier_ = std::move(deviceModifier);
    }

    std::string path() const;

private:
    std::string basePath_;
    std::string baseFileName_;
    std::string pathExtension_;
    bool hasRetinaSuffix_ = false;
    std::string deviceModifier_;
};

// The path helpers names are taken apart with: the last component
// (trailing "/" ignored), and the text after its last "." ("" for a name
// that only starts with one); the lower-cased extension.
std::string_view QFLastPathComponent(std::string_view path);
std::string_view QFPathExtension(std::string_view path);
std::string QFLowercasePathExtension(std::string_view path);
