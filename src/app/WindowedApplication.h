#pragma once
// The application with its windows: when an application already runs for
// this user and display, the files given (or the wish for a new window)
// go to it and this launch ends at once. One that does not take them (it
// is stopped, or refuses them) keeps them: this launch ends with a failure
// status and opens nothing, so that no file opens twice and no two
// applications run flows side by side. Otherwise (no application runs, or
// the one that held the place has ended) the shell's launch, then the
// files given (as if the desktop had opened them), or one untitled flow
// window when there are none, and the event loop, which outlives the
// windows, until Quit.

#include <string>
#include <vector>

int runWindowedApplication(int& argc, char** argv, const std::vector<std::string>& files);
