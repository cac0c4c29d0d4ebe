#pragma once
// What the updater asks of the running application: to redraw its windows
// at once, to start the relaunch waiter and to quit.
//
// Threads: main thread only.

#include <filesystem>

struct OMAURelaunchRequest;

// Handles the events that are waiting, so windows show their new state
// before a long step holds the main thread.
void OMAUProcessPendingEvents();

// Starts layerflow-relaunch (beside the running executable), which waits
// until this process has ended, removes the download folder and starts the
// installed executable.
void OMAUStartRelaunchWaiter(const OMAURelaunchRequest& request);

// Ends the application's event loop.
void OMAUTerminateApplication();
