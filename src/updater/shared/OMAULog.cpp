#include "updater/shared/OMAULog.h"

#include "platform/core/Log.h"
#include "updater/shared/OMAUStringExtras.h"

void OMAUWriteLogLine(std::string_view line) {
    lf::writeLogLine(OMAUEscapedForDisplay(line));
}
