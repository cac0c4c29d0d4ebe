#pragma once
// Result<T>: a value or the Error that prevented it. Result<void> (alias
// Status) carries only success or the Error.
//
//     Result<Data> data = Data::readFile(path);
//     if (!data) return data.error();
//     use(*data);
//
// LF_TRY(expr) returns the error of a failed Status-like expression from the
// enclosing function.

#include "platform/core/Error.h"

#include <cassert>
#include <optional>
#include <utility>
#include <variant>

namespace lf {

template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & {
        assert(ok());
        return std::get<0>(state_);
    }
    const T& value() const& {
        assert(ok());
        return std::get<0>(state_);
    }
    T&& value() && {
        assert(ok());
        return std::get<0>(std::move(state_));
    }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T&& operator*() && { return std::move(*this).value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const Error& error() const {
        assert(!ok());
        return std::get<1>(state_);
    }

    T valueOr(T fallback) const { return ok() ? value() : std::move(fallback); }

private:
    std::variant<T, Error> state_;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error) : error_(std::move(error)) {}

    bool ok() const { return !error_.has_value(); }
    explicit operator bool() const { return ok(); }
    const Error& error() const {
        assert(!ok());
        return *error_;
    }

private:
    std::optional<Error> error_;
};

using Status = Result<void>;

}  // namespace lf

#define LF_TRY(expr)                                        \
    do {                                                    \
        auto lf_try_result_ = (expr);                       \
        if (!lf_try_result_) return lf_try_result_.error(); \
    } while (0)
