#pragma once
// Observation: one registered observer (of a user default, of a key of an
// observable object) for as long as it lives. Ending it, by reset() or by
// destruction, removes the observer, which is then never called again; an
// observation that outlives what it observes ends quietly. Move-only.

#include <functional>
#include <utility>

namespace lf {

class Observation {
public:
    Observation() = default;
    // `end` removes the observer; it is called at most once.
    explicit Observation(std::function<void()> end) : end_(std::move(end)) {}
    Observation(Observation&& other) noexcept : end_(std::exchange(other.end_, nullptr)) {}
    Observation& operator=(Observation&& other) noexcept {
        if (this != &other) {
            reset();
            end_ = std::exchange(other.end_, nullptr);
        }
        return *this;
    }
    Observation(const Observation&) = delete;
    Observation& operator=(const Observation&) = delete;
    ~Observation() { reset(); }

    void reset() {
        if (auto end = std::exchange(end_, nullptr)) end();
    }

private:
    std::function<void()> end_;
};

}  // namespace lf
