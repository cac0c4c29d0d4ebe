#pragma once
// The application with its windows: when an application already runs for
// this user and display, the files given (or the wish for a new window)
// go to it and this launch ends at once. Otherwise the shell's launch,
// then the files given (as if the desktop had opened them), or one
// untitled flow window when there are none, and the event loop, which
// outlives the windows, until Quit.

#include <string>
#include <vector>

int runWindowedApplication(int& argc, char** argv, const std::vector<std::string>& files);
