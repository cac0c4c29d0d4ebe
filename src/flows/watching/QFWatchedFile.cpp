#include "flows/watching/QFWatchedFile.h"

#include "flows/shared/QFKeyedArchive.h"

#include <unistd.h>

std::shared_ptr<QFWatchedFile> QFWatchedFile::create(std::string url) {
    if (url.empty()) return nullptr;
    return std::make_shared<QFWatchedFile>(std::move(url));
}

std::shared_ptr<QFWatchedFile> QFWatchedFile::decode(const nlohmann::json& archive) {
    QFKeyedDecoder decoder(archive, kClassName);
    auto path = decoder.decodeString("path");
    auto lastModified = decoder.decodeDate("lastModified");
    if (decoder.isDamaged() || !path || ::access(path->c_str(), R_OK) != 0) return nullptr;
    auto file = create(*path);
    if (file && lastModified) file->setLastModified(*lastModified);
    return file;
}

nlohmann::json QFWatchedFile::encode() const {
    return {{QFArchivedClassKey, kClassName},
            {"path", url_},
            {"lastModified", QFArchivedDate(lastModified_)}};
}
