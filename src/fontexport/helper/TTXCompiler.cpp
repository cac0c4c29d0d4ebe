#include "TTXCompiler.h"

#include "platform/files/FileDescriptor.h"
#include "platform/processes/ChildProcess.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// A folder only we can read (mkdtemp makes it 0700), removed with its
// contents when the object goes.
class PrivateFolder {
public:
    PrivateFolder() {
        std::string pattern = (fs::temp_directory_path() / "layerflow-ttx-XXXXXX").string();
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~PrivateFolder() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

bool writeFile(const fs::path& path, const lf::Data& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.bytes()),
              static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(out);
}

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

enum class RunResult { Succeeded, Failed, Abandoned };

// One ttx run with its output and errors appended to `logPath`.
RunResult runTTX(std::vector<std::string> arguments, const fs::path& logPath,
                 std::chrono::steady_clock::time_point deadline,
                 const std::function<bool()>& keepWaiting, std::string& log) {
    lf::FileDescriptor output(
        ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600));
    lf::FileDescriptor input(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (!output.isOpen() || !input.isOpen()) {
        log += fmt::format("cannot open the log file: {}\n", std::strerror(errno));
        return RunResult::Failed;
    }
    lf::ChildProcess::Options options;
    options.arguments = std::move(arguments);
    options.searchPath = true;
    options.descriptors = {{input.get(), 0}, {output.get(), 1}, {output.get(), 2}};
    options.environment = {"LC_ALL=C.UTF-8"};
    auto ttx = lf::ChildProcess::spawn(options);
    if (!ttx) {
        log += lf::describe(ttx.error()) + "\n";
        return RunResult::Failed;
    }
    auto ended = ttx->waitUntil(deadline, keepWaiting);
    if (!ended) {
        ttx->kill();
        if (keepWaiting && !keepWaiting()) return RunResult::Abandoned;
        log += "ttx did not finish in time and was stopped\n";
        return RunResult::Failed;
    }
    if (!ended->exited() || ended->exitCode() != 0) {
        log += fmt::format("ttx {}\n", ended->description());
        return RunResult::Failed;
    }
    return RunResult::Succeeded;
}

}  // namespace

TTXCompilation compileTTX(const lf::Data& ttxDocument,
                          std::chrono::steady_clock::time_point deadline,
                          const std::function<bool()>& keepWaiting) {
    TTXCompilation compilation;
    PrivateFolder folder;
    if (folder.path().empty()) {
        compilation.log = fmt::format("cannot make a temporary folder: {}\n", std::strerror(errno));
        return compilation;
    }
    fs::path source = folder.path() / "font.ttx";
    fs::path logPath = folder.path() / "ttx.log";
    if (!writeFile(source, ttxDocument)) {
        compilation.log = "cannot write the TTX document into the temporary folder\n";
        return compilation;
    }
    struct Form {
        std::vector<std::string> flavor;
        const char* fileName;
        std::optional<lf::Data>* result;
    };
    const Form forms[] = {{{}, "font.otf", &compilation.sfntData},
                          {{"--flavor", "woff"}, "font.woff", &compilation.woffData}};
    std::string failures;
    for (const auto& form : forms) {
        fs::path target = folder.path() / form.fileName;
        std::vector<std::string> arguments = {"ttx"};
        arguments.insert(arguments.end(), form.flavor.begin(), form.flavor.end());
        arguments.insert(arguments.end(), {"-o", target.string(), source.string()});
        RunResult run = runTTX(std::move(arguments), logPath, deadline, keepWaiting, failures);
        if (run == RunResult::Abandoned) {
            compilation.abandoned = true;
            break;
        }
        if (run == RunResult::Succeeded) {
            auto data = lf::Data::readFile(target.string());
            if (data) {
                *form.result = std::move(*data);
            } else {
                failures += lf::describe(data.error()) + "\n";
            }
        }
    }
    compilation.log = readText(logPath) + failures;
    return compilation;
}
