#pragma once
// NSInvalidArgumentException: a caller passed a value that an operation
// does not accept (an unsupported character encoding). A programming error
// of the caller, raised as an exception so that it can be caught where a
// value comes from outside.

#include <stdexcept>

class NSInvalidArgumentException : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};
