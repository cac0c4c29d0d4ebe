#pragma once
// The dates of feed items ("pubDate"), read as leniently as feeds write
// them: RFC 822 and 2822 ("Wed, 09 Jan 2013 19:20:11 +0000", with a zone
// name such as GMT or PST, seconds optional, two-digit years) and ISO 8601
// ("2013-01-09T19:20:11Z", "2013-01-09"). A date without a zone is UTC.

#include <chrono>
#include <optional>
#include <string_view>

std::optional<std::chrono::sys_seconds> RSSParseDate(std::string_view text);
