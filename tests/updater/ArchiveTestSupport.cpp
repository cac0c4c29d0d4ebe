#include "ArchiveTestSupport.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>

namespace fs = std::filesystem;

namespace lf::test {

void ArchiveTest::SetUp() {
    LF_REQUIRE_INSTALLED(hasProgram("tar") && hasProgram("zip") && hasProgram("unzip") &&
                             hasProgram("7z") && hasProgram("bzip2") && hasProgram("gzip") &&
                             hasProgram("prlimit"),
                         "tar, zip, unzip, bzip2, gzip, 7z and prlimit");
    makeApplication(source(), "layerflow.app", "2.0");
    fs::create_directories(download());
}

fs::path ArchiveTest::make(const std::string& name, const std::string& command, fs::path from) {
    const fs::path archive = download() / name;
    std::string line = command;
    std::string quoted = "'";
    quoted += archive.string() + "'";
    line.replace(line.find("%s"), 2, quoted);
    EXPECT_TRUE(runIn(from.empty() ? source() : from, line)) << line;
    return archive;
}

lf::Status ArchiveTest::extract(const fs::path& archive) {
    extracted_ = 0;
    return OMAUExtractArchive(archive.string(), [this](uint64_t length) { extracted_ += length; });
}

void ArchiveTest::truncate(const fs::path& archive, double share) {
    fs::resize_file(archive, static_cast<uintmax_t>(fs::file_size(archive) * share));
}

std::vector<std::string> ArchiveTest::downloadHolds() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(download()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool limitAddressSpace(size_t more) {
    const std::string status = readText("/proc/self/status");
    const size_t mapped = std::stoull(status.substr(status.find("VmSize:") + 7)) << 10;
    const rlimit addressSpace = {mapped + more, mapped + more};
    return ::setrlimit(RLIMIT_AS, &addressSpace) == 0;
}

void understateZipLengths(const fs::path& archive, uint32_t length) {
    std::string bytes = lf::test::readText(archive);
    for (const auto& [signature, offset] :
         {std::pair{std::string("PK\3\4"), 22}, std::pair{std::string("PK\1\2"), 24}})
        for (size_t at = bytes.find(signature); at != std::string::npos;
             at = bytes.find(signature, at + 4))
            for (int i = 0; i < 4; ++i)
                bytes[at + offset + i] = static_cast<char>(length >> (8 * i));
    lf::test::writeFile(archive, bytes);
}

void setZipFolderModes(const fs::path& archive, const std::map<std::string, mode_t>& modes) {
    std::string bytes = lf::test::readText(archive);
    for (size_t at = bytes.find("PK\1\2"); at != std::string::npos;
         at = bytes.find("PK\1\2", at + 4)) {
        const auto field = [&](size_t offset) {
            return static_cast<uint8_t>(bytes[at + offset]) |
                   static_cast<uint8_t>(bytes[at + offset + 1]) << 8;
        };
        const auto mode = modes.find(bytes.substr(at + 46, field(28)));
        if (mode == modes.end()) continue;
        // The MS-DOS half says "folder" (0x10).
        const uint32_t attributes = static_cast<uint32_t>(S_IFDIR | mode->second) << 16 | 0x10;
        for (int i = 0; i < 4; ++i)
            bytes[at + 38 + i] = static_cast<char>(attributes >> (8 * i));
    }
    lf::test::writeFile(archive, bytes);
}

void writeZip(const fs::path& archive, const std::vector<ZipEntry>& entries) {
    const auto put = [](std::string& bytes, uint32_t value, int length) {
        for (int i = 0; i < length; ++i)
            bytes.push_back(static_cast<char>(value >> (8 * i)));
    };
    std::string contents, directory;
    for (const ZipEntry& entry : entries) {
        const bool folder = entry.name.ends_with('/');
        // From the version needed to the extra fields' length, alike in the
        // local header and the directory: stored, on 1980-01-01, empty.
        std::string shared;
        put(shared, 20, 2);
        put(shared, entry.flaggedUTF8 ? 1 << 11 : 0, 2);
        put(shared, 0, 2);
        put(shared, 0, 2);
        put(shared, 0x21, 2);
        shared.append(12, '\0');
        put(shared, static_cast<uint32_t>(entry.name.size()), 2);
        put(shared, 0, 2);
        // Unix keeps the mode in the upper half of the attributes; MS-DOS
        // marks a folder in the lower.
        const uint32_t mode = entry.system == 3 ? (folder ? 040755u : 0100644u) << 16 : 0;
        put(directory, 0x02014b50, 4);
        put(directory, static_cast<uint32_t>(entry.system) << 8 | 20, 2);
        directory += shared;
        directory.append(6, '\0');
        put(directory, mode | (folder ? 0x10 : 0), 4);
        put(directory, static_cast<uint32_t>(contents.size()), 4);
        directory += entry.name;
        put(contents, 0x04034b50, 4);
        contents += shared + entry.name;
    }
    std::string end;
    put(end, 0x06054b50, 4);
    put(end, 0, 4);
    put(end, static_cast<uint32_t>(entries.size() % 0x10000), 2);
    put(end, static_cast<uint32_t>(entries.size() % 0x10000), 2);
    put(end, static_cast<uint32_t>(directory.size()), 4);
    put(end, static_cast<uint32_t>(contents.size()), 4);
    put(end, 0, 2);
    lf::test::writeFile(archive, contents + directory + end);
}

namespace {

// The keys of zip's traditional encryption, as they start for any password
// and go on with each byte of plain text.
class ZipKeys {
public:
    uint8_t stream() const {
        const uint32_t low = (keys_[2] | 2) & 0xffff;
        return static_cast<uint8_t>((low * (low ^ 1)) >> 8);
    }
    void update(uint8_t plain) {
        keys_[0] = crc(keys_[0], plain);
        keys_[1] = (keys_[1] + (keys_[0] & 0xff)) * 134775813 + 1;
        keys_[2] = crc(keys_[2], static_cast<uint8_t>(keys_[1] >> 24));
    }

private:
    static uint32_t crc(uint32_t value, uint8_t byte) {
        value ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            value = value & 1 ? value >> 1 ^ 0xEDB88320 : value >> 1;
        return value;
    }
    uint32_t keys_[3] = {0x12345678, 0x23456789, 0x34567890};
};

}  // namespace

void refuseTheEmptyZipPassword(const fs::path& archive) {
    std::string bytes = lf::test::readText(archive);
    const auto field = [&](size_t at, int length) {
        uint32_t value = 0;
        for (int i = length; i-- > 0;)
            value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
        return value;
    };
    for (size_t entry = field(bytes.rfind("PK\5\6") + 16, 4);
         bytes.compare(entry, 4, "PK\1\2") == 0;
         entry += 46 + field(entry + 28, 2) + field(entry + 30, 2) + field(entry + 32, 2)) {
        if (!(field(entry + 8, 2) & 1)) continue;
        const size_t local = field(entry + 42, 4);
        const size_t header = local + 30 + field(local + 26, 2) + field(local + 28, 2);
        ZipKeys keys;
        for (size_t i = 0; i < 11; ++i)
            keys.update(static_cast<uint8_t>(bytes[header + i]) ^ keys.stream());
        // The checksum's high byte, or the time's where a descriptor
        // follows the contents.
        const uint32_t checks[] = {field(entry + 16, 4) >> 24, field(local + 11, 1)};
        uint8_t plain = 0;
        while (plain == checks[0] || plain == checks[1])
            ++plain;
        bytes[header + 11] = static_cast<char>(plain ^ keys.stream());
    }
    lf::test::writeFile(archive, bytes);
}

void understateGzipLength(const fs::path& archive, uint32_t length) {
    std::string bytes = lf::test::readText(archive);
    for (int i = 0; i < 4; ++i)
        bytes[bytes.size() - 4 + i] = static_cast<char>(length >> (8 * i));
    lf::test::writeFile(archive, bytes);
}

namespace {

// The bytes of the plain files under `folder` other than `leftOut`. Each
// folder is walked on its own, so one that goes during the walk hides
// nothing beside it.
uint64_t lengthUnderLeavingOut(const fs::path& folder, const fs::path& leftOut) {
    uint64_t total = 0;
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        struct stat status {};
        if (::lstat(entry->path().c_str(), &status) != 0) continue;
        if (S_ISDIR(status.st_mode))
            total += lengthUnderLeavingOut(entry->path(), leftOut);
        else if (S_ISREG(status.st_mode) && entry->path() != leftOut)
            total += static_cast<uint64_t>(status.st_size);
    }
    return total;
}

}  // namespace

uint64_t lengthUnder(const fs::path& folder) {
    return lengthUnderLeavingOut(folder, {});
}

uint64_t largestLengthWhile(const fs::path& archive, const std::function<void()>& work) {
    std::atomic<bool> done = false;
    uint64_t largest = 0;
    std::thread looker([&] {
        while (!done) {
            largest = std::max(largest, lengthUnderLeavingOut(archive.parent_path(), archive));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    work();
    done = true;
    looker.join();
    return largest;
}

OMAUUnpackingTool shellTool(const fs::path& folder, const std::string& script) {
    OMAUUnpackingTool tool;
    tool.arguments = {"sh", "-c", script, folder.string()};
    tool.folder = folder;
    return tool;
}

std::optional<char> processState(pid_t pid) {
    const std::optional<std::string> fields =
        procStatFields(fs::path("/proc") / std::to_string(pid) / "stat");
    if (!fields) return std::nullopt;
    return fields->front();
}

std::vector<GroupMember> groupMembers(pid_t group) {
    std::vector<GroupMember> members;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        // Gone meanwhile: not a member any more.
        const std::optional<std::string> stat = procStatFields(entry.path() / "stat");
        if (!stat) continue;
        std::istringstream fields(*stat);
        char state = 0;
        pid_t parent = 0, itsGroup = 0, session = 0;
        if (fields >> state >> parent >> itsGroup >> session && itsGroup == group)
            members.push_back({static_cast<pid_t>(std::stoi(name)), state, session});
    }
    return members;
}

std::optional<pid_t> processGroupOf(pid_t pid) {
    const std::optional<std::string> stat =
        procStatFields(fs::path("/proc") / std::to_string(pid) / "stat");
    if (!stat) return std::nullopt;
    std::istringstream fields(*stat);
    char state = 0;
    pid_t parent = 0, group = 0;
    if (!(fields >> state >> parent >> group)) return std::nullopt;
    return group;
}

std::vector<pid_t> processesNaming(const std::string& text) {
    std::vector<pid_t> naming;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        // Arguments apart by NUL bytes; gone meanwhile, nothing.
        if (readText(entry.path() / "cmdline").find(text) != std::string::npos)
            naming.push_back(static_cast<pid_t>(std::stoi(name)));
    }
    return naming;
}

}  // namespace lf::test
