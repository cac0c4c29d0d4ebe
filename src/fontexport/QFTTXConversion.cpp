#include "fontexport/QFTTXConversion.h"

#include "fontexport/PressletXPC.h"
#include "fontexport/QFFontError.h"
#include "fontexport/XPCConnection.h"
#include "platform/core/Log.h"
#include "platform/dispatch/DispatchSemaphore.h"

#include <fmt/format.h>

#include <cstdlib>
#include <mutex>
#include <optional>

namespace {

constexpr const char* kFailureLine = "Error building caches from ttx data";

// What the handlers leave for the waiting caller. The first handler to
// answer settles it; handlers that come later, or after the caller gave up,
// change nothing.
struct Exchange {
    std::mutex mutex;
    bool settled = false;
    std::optional<nlohmann::json> reply;
    lf::DispatchSemaphore done{0};

    void settle(std::optional<nlohmann::json> answer) {
        {
            std::lock_guard lock(mutex);
            if (settled) return;
            settled = true;
            reply = std::move(answer);
        }
        done.signal();
    }
};

std::string logText(const nlohmann::json& reply) {
    auto log = reply.find("ttxLog");
    if (log == reply.end()) return "(no log)";
    return log->is_string() ? log->get<std::string>() : log->dump();
}

}  // namespace

std::string QFTTXConverterServiceName() {
    const char* path = std::getenv(kQFTTXConverterVariable);
    return path && *path ? path : kQFTTXConverterServiceName;
}

lf::Result<QFConvertedFont> QFConvertTTXDocument(const lf::Data& ttxDocument,
                                                 std::chrono::milliseconds timeLimit) {
    auto exchange = std::make_shared<Exchange>();
    auto connection = XPCConnection::createWithName(QFTTXConverterServiceName());
    connection->setErrorHandler([exchange] {
        lf::log("{}", kFailureLine);
        exchange->settle(std::nullopt);
    });
    nlohmann::json request = {{"ttxData", PressletJSONFromData(ttxDocument)}};
    connection->sendMessage(request,
                            [exchange](const nlohmann::json& reply) { exchange->settle(reply); });
    connection->resume();

    if (!exchange->done.waitFor(timeLimit)) {
        lf::log("{}: no reply within {} ms", kFailureLine, timeLimit.count());
        return QFFontMakeError(
            QFFontErrorConversionTimedOut,
            fmt::format("The TTX converter did not reply within {} ms.", timeLimit.count()));
    }
    std::lock_guard lock(exchange->mutex);
    if (!exchange->reply) {
        return QFFontMakeError(QFFontErrorConversionFailed,
                               "The TTX converter failed before it replied.");
    }
    const nlohmann::json& reply = *exchange->reply;
    auto sfnt = reply.contains("sfntData") ? PressletDataFromJSON(reply["sfntData"]) : std::nullopt;
    auto woff = reply.contains("woffData") ? PressletDataFromJSON(reply["woffData"]) : std::nullopt;
    if (!sfnt || sfnt->empty() || !woff || woff->empty()) {
        std::string log = logText(reply);
        lf::log("{}", log);
        return QFFontMakeError(QFFontErrorConversionIncomplete,
                               "The TTX converter replied without a font.",
                               {{QFTTXLogErrorKey, log}});
    }
    return QFConvertedFont{std::move(*sfnt), std::move(*woff)};
}
