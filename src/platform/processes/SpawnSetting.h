#pragma once
// The file actions and attributes of one posix_spawn call, destroyed
// with it.

#include <spawn.h>

namespace lf {

struct SpawnSetting {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;

    SpawnSetting() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetting() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetting(const SpawnSetting&) = delete;
    SpawnSetting& operator=(const SpawnSetting&) = delete;
};

}  // namespace lf
