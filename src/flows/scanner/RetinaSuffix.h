#pragma once
// RetinaSuffix: output names read and changed through
// QFResourcePathComponents. Each function parses `path`, changes at most
// one piece and builds the name again (so a device modifier always ends up
// after "@2x").

#include <string>
#include <string_view>

namespace RetinaSuffix {

bool hasRetinaSuffix(std::string_view path);
// The modifier after "~", or "".
std::string deviceModifier(std::string_view path);
std::string stringByAppendingRetinaSuffix(std::string_view path);
std::string stringByRemovingRetinaSuffix(std::string_view path);
std::string stringByAppendingDeviceModifier(std::string_view path, std::string modifier);
std::string stringByRemovingDeviceModifier(std::string_view path);

}  // namespace RetinaSuffix
