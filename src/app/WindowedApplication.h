#pragma once
// The application with its windows: the shell's launch, then the files
// given (as if the desktop had opened them), or one untitled flow window
// when there are none, and the event loop until the last window closes.

#include <string>
#include <vector>

int runWindowedApplication(int& argc, char** argv, const std::vector<std::string>& files);
