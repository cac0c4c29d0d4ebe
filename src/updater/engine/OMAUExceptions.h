#pragma once
// The updater's named failures. The engine raises them where a step cannot
// go on and catches them at its own edge (its callbacks from timers, the
// main queue and the facade), where the update is abandoned and the user
// told; what() is the reason, name() the failure's name for the log.

#include <stdexcept>
#include <string>

class OMAUException : public std::runtime_error {
public:
    OMAUException(const char* name, const std::string& reason)
        : std::runtime_error(reason), name_(name) {}
    const char* name() const { return name_; }
    std::string reason() const { return what(); }

private:
    const char* name_;
};

// No feed URL in the user defaults or the property list.
class OMAUNoFeedURL : public OMAUException {
public:
    explicit OMAUNoFeedURL(const std::string& reason) : OMAUException("OMAUNoFeedURL", reason) {}
};

// The private folder for a download could not be made.
class OMAUFailTmpWrite : public OMAUException {
public:
    explicit OMAUFailTmpWrite(const std::string& reason)
        : OMAUException("OMAUFailTmpWrite", reason) {}
};

// The archive failed its verification or could not be unpacked.
class OMAUUnarchiveException : public OMAUException {
public:
    explicit OMAUUnarchiveException(const std::string& reason)
        : OMAUException("OMAUUnarchiveException", reason) {}
};

// The unpacked update cannot be installed.
class OMAUInstallException : public OMAUException {
public:
    explicit OMAUInstallException(const std::string& reason)
        : OMAUException("OMAUInstallException", reason) {}
};
