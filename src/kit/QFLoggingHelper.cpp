#include "kit/QFLoggingHelper.h"

#include "kit/OMCharacterSets.h"

#include <cstdio>
#include <string>

QFLoggingHelper& QFLoggingHelper::currentLoggingHelper() {
    thread_local QFLoggingHelper helper;
    return helper;
}

void QFLoggingHelper::log(fmt::string_view format, fmt::format_args args) {
    const std::string text = fmt::vformat(format, args);
    std::string indentation;
    for (int64_t level = 0; level < indentationLevel_; ++level)
        indentation += kIndentation;

    std::string lines = indentation;
    for (size_t i = 0; i < text.size();) {
        const size_t start = i;
        if (OMIsNewline(OMNextCodePoint(text, i))) {
            lines += '\n';
            lines += indentation;
        } else {
            lines.append(text, start, i - start);
        }
    }
    lines += '\n';
    std::fwrite(lines.data(), 1, lines.size(), stdout);
    std::fflush(stdout);
}

void QFLogv(fmt::string_view format, fmt::format_args args) {
    QFLoggingHelper::currentLoggingHelper().log(format, args);
}

void QFIncreaseLogIndentation() {
    QFLoggingHelper::currentLoggingHelper().increaseLoggingIndentation();
}

void QFDecreaseLogIndentation() {
    QFLoggingHelper::currentLoggingHelper().decreaseLoggingIndentation();
}
