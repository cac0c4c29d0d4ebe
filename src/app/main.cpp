// layerflow: the application. Without arguments it opens a flow window;
// given files it opens them in flow windows (or hands either to the
// application that already runs). Given documents and --save-to it exports
// them into the folder without windows (the headless road), never asking a
// running application, and prints each file it wrote.

#include "HeadlessExport.h"
#include "WindowedApplication.h"
#include "app/TerminationSignals.h"
#include "flows/QFPendingOutputRecords.h"
#include "platform/core/SystemInfo.h"
#include "platform/settings/UserDefaults.h"
#include "platform/writing/AtomicFileSet.h"

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: layerflow DOCUMENT... --save-to FOLDER\n"
    "       layerflow [FILE...]\n"
    "\n"
    "Exports every tagged layer of the Photoshop documents (files or folders\n"
    "holding them) into FOLDER, creating it when needed, and prints each file\n"
    "written. On failure prints the error's domain and code and exits with 1;\n"
    "bad arguments exit with 2.\n"
    "\n"
    "Without --save-to, opens the Photoshop documents and flow documents\n"
    "(.tsflow) in flow windows, or an empty flow window without files. When\n"
    "the application already runs, it gets them instead, and this launch ends;\n"
    "when it does not take them, this launch opens nothing and exits with 1.\n"
    "Files that cannot be opened are named and left out, and the exit status\n"
    "is then 1.\n"
    "The application runs on after its last window closes; Quit in a window's\n"
    "menu ends it.\n";

int usage(const std::string& problem) {
    if (!problem.empty()) std::cerr << "layerflow: " << problem << "\n\n";
    std::cerr << kUsage;
    return HeadlessExportBadInput;
}

// What the command line asks for: documents, and the folder of the
// headless road (empty for the windowed application).
struct LaunchRequest {
    std::vector<std::string> documents;
    std::string directory;
};

// The request, or the exit status of a launch that ends here (help or bad
// arguments).
std::variant<LaunchRequest, int> parseArguments(int argc, char** argv) {
    LaunchRequest request;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (argument == "--save-to") {
            if (i + 1 == argc) return usage("--save-to needs a folder");
            if (!request.directory.empty()) return usage("--save-to given twice");
            request.directory = argv[++i];
            if (request.directory.empty()) return usage("--save-to needs a folder");
        } else if (argument.starts_with("-") && argument != "-") {
            return usage("unknown option " + std::string(argument));
        } else {
            request.documents.emplace_back(argument);
        }
    }
    if (!request.directory.empty() && request.documents.empty()) return usage("no documents given");
    return request;
}

int runRequest(const LaunchRequest& request, char** argv) {
    if (!request.directory.empty())
        return runHeadlessExport(request.documents, request.directory, std::cout, std::cerr);
    // The application runs on between exports: what they freed goes back
    // to the system.
    lf::keepFreedMemoryReturnable();
    // Qt reads its own options from the arguments it is given.
    int qtArgc = 1;
    return runWindowedApplication(qtArgc, argv, request.documents);
}

}  // namespace

int main(int argc, char** argv) {
    // A launcher may leave SIGCHLD ignored, which survives exec: the kernel
    // would then reap the children as they end, and how each ended (the
    // archive tools' failures too) could not be read.
    std::signal(SIGCHLD, SIG_DFL);
    // However the process ends (Quit, the end of the headless road, or
    // exit() called on the way, as Qt does when it loses its display), the
    // outputs of a run being moved into their folder all get there first.
    // Handlers and static destructors run in the reverse order of their
    // registration: registered here, the handler runs after the static
    // objects built since main began are destroyed, and before those built
    // before it.
    std::atexit(lf::AtomicFileSet::finishCommitsBeforeExit);
    // A write of the user defaults that waits for the file to settle (an
    // editor's save under way) is made before the process goes, not lost;
    // registered after, it runs before the handler above.
    std::atexit(lf::UserDefaults::writeWaitingChangesBeforeExit);
    // SIGTERM, SIGINT and SIGHUP end the process as a quit does, after the
    // commit under way and once the main thread has noted the writes whose
    // files are in (unless it is held), and then with the status the
    // signal gives.
    lf::endOnTerminationSignalsAfterCommits([] {
        QFPendingOutputRecords::shared().noteAllBeforeExit();
        lf::UserDefaults::writeWaitingChangesBeforeExit();
    });
    auto parsed = parseArguments(argc, argv);
    if (const int* status = std::get_if<int>(&parsed)) return *status;
    // A run keeps each document it exports open until it ends, reading its
    // bytes as they are needed, and each of its outputs until all are
    // written: either may be more than the usual soft limit of 1024 open
    // files.
    lf::raiseOpenFileLimit();
    const int status = runRequest(std::get<LaunchRequest>(parsed), argv);
    // A run whose outputs are being moved in reports to static objects
    // made since main began once they are in, and those are gone by the
    // time the handler above runs: on the way out of main, it waits here
    // first.
    lf::AtomicFileSet::finishCommitsBeforeExit();
    return status;
}
