#pragma once
// What the tests of unpacking share: a folder with an application to
// archive and a download folder to unpack in, archives made with the
// system's tools and made to lie, and looks at the processes and files a
// tool leaves.

#include "UpdaterTestSupport.h"
#include "support/TestSupport.h"
#include "updater/unpacking/OMAUArchiveExtraction.h"
#include "updater/unpacking/OMAUUnarchiver.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace lf::test {

// The address sanitizer reports an allocation that fails and ends the
// process, where std::bad_alloc would be thrown; the thread sanitizer
// cannot map the memory it keeps of its own under a tight limit.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitizerEndsWhereMemoryRunsOut = true;
#elif defined(__has_feature)
inline constexpr bool kSanitizerEndsWhereMemoryRunsOut =
    __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
inline constexpr bool kSanitizerEndsWhereMemoryRunsOut = false;
#endif

// source() holds "layerflow.app" at version 2.0, to be archived into
// download().
class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override;
    std::filesystem::path source() const { return folder_ / "source"; }
    std::filesystem::path download() const { return folder_ / "download"; }
    // Makes download()/name in `from` (source() unless given) with
    // `command` ("%s" = the archive).
    std::filesystem::path make(const std::string& name, const std::string& command,
                               std::filesystem::path from = {});
    // Unpacks `archive` with the default limits, counting what is fed.
    lf::Status extract(const std::filesystem::path& archive);
    // Truncates the archive to `share` of its size.
    void truncate(const std::filesystem::path& archive, double share);
    // The names in download(), sorted.
    std::vector<std::string> downloadHolds() const;

    TemporaryDirectory folder_;
    uint64_t extracted_ = 0;
};

// Limits this process's address space to what it maps now and `more`;
// whether it could.
bool limitAddressSpace(size_t more);

// Rewrites every length a zip archive states of its entries' contents (in
// the local headers and the central directory) as `length`: the contents
// stay whole, so the archive still tests as sound (unzip -t). The archive
// must hold no folder entries (zip -D).
void understateZipLengths(const std::filesystem::path& archive, uint32_t length);

// Gives the folders that `modes` names the modes it gives them, in the
// Unix half of their attributes in the zip archive's central directory,
// which unzip applies once everything is unpacked.
void setZipFolderModes(const std::filesystem::path& archive,
                       const std::map<std::string, mode_t>& modes);

// An empty entry of a zip archive that writeZip makes: its name as the
// archive gives it (a folder's ending with "/"), the system that made it
// (0: MS-DOS, 3: Unix), and whether it is flagged as named in UTF-8.
struct ZipEntry {
    std::string name;
    uint8_t system = 3;
    bool flaggedUTF8 = false;
};

// Writes a zip archive of `entries`, stored, as zip writers do without
// Zip64: its end record states their number modulo 65,536.
void writeZip(const std::filesystem::path& archive, const std::vector<ZipEntry>& entries);

// Makes each encrypted entry of the zip archive (no bytes before its
// first entry) fail the check that unzip, told the empty password, makes
// of it: the last byte of its encryption header, decrypted with that
// password, set apart from the entry's checksum and time, which a random
// header matches about once in 256. The entry then never decrypts by chance.
void refuseTheEmptyZipPassword(const std::filesystem::path& archive);

// Rewrites the length a gzip stream states of its contents, in its trailer.
void understateGzipLength(const std::filesystem::path& archive, uint32_t length);

// The most the files beside `archive` held together at any of the looks,
// taken every millisecond, while `work` ran.
uint64_t largestLengthWhile(const std::filesystem::path& archive,
                            const std::function<void()>& work);

// The bytes of the plain files under `folder`, as they are at this moment;
// files that go meanwhile are passed over.
uint64_t lengthUnder(const std::filesystem::path& folder);

// `script` run by sh as an unpacking tool of `folder`, which it finds as $0.
OMAUUnpackingTool shellTool(const std::filesystem::path& folder, const std::string& script);

// The kernel's state letter of the process `pid` ("R", "T": stopped, "Z":
// ended, not reaped); none once it is gone.
std::optional<char> processState(pid_t pid);
// The processes whose command line holds `text`, ended ones too.
std::vector<pid_t> processesNaming(const std::string& text);
// Whether `pid` has ended, reaped or not.
inline bool processEnded(pid_t pid) {
    const std::optional<char> state = processState(pid);
    return !state || *state == 'Z' || *state == 'X';
}

// A process of a group and what the kernel says of it: its state letter
// ("T": stopped, "Z": ended, not reaped) and session.
struct GroupMember {
    pid_t pid;
    char state;
    pid_t session;
};
// The processes of the group `group`, as they are now.
std::vector<GroupMember> groupMembers(pid_t group);
// The group of the process `pid`; none once it is gone.
std::optional<pid_t> processGroupOf(pid_t pid);

// Records what an unarchiver's delegate hears.
class UnarchiverRecorder : public OMAUUnarchiverDelegate {
public:
    uint64_t extracted = 0;
    std::optional<bool> finished;
    void unarchiverExtractedLength(OMAUUnarchiver&, uint64_t length) override {
        extracted += length;
    }
    void unarchiverDidFinish(std::shared_ptr<OMAUUnarchiver>) override { finished = true; }
    void unarchiverDidFail(std::shared_ptr<OMAUUnarchiver>) override { finished = false; }
};

}  // namespace lf::test
