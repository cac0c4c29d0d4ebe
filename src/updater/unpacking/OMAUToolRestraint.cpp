#include "updater/unpacking/OMAUToolRestraint.h"

#include <csignal>

OMAUProcessorPin::OMAUProcessorPin() {
    const int processor = ::sched_getcpu();
    if (processor < 0 || ::sched_getaffinity(0, sizeof previous_, &previous_) != 0) return;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(processor, &one);
    pinned_ = ::sched_setaffinity(0, sizeof one, &one) == 0;
}

OMAUProcessorPin::~OMAUProcessorPin() {
    if (pinned_) ::sched_setaffinity(0, sizeof previous_, &previous_);
}

OMAUGroupHold::OMAUGroupHold(pid_t group) : group_(group), held_(::kill(-group, SIGSTOP) == 0) {}

OMAUGroupHold::~OMAUGroupHold() {
    if (held_) ::kill(-group_, SIGCONT);
}
