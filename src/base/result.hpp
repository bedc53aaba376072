#pragma once

#include <string>
#include <utility>
#include <variant>

namespace trx {

// What kind of thing went wrong; each front decides what it tells the user (the command line
// maps each kind to an exit status of its own).
enum class ErrorKind {
    usage,            // the command line itself: an unknown command, option or field
    bad_input,        // a value, a field or a file the step cannot take
    port,             // the port cannot be opened, took no bytes, or failed under us
    no_answer,        // nothing came within the time-out
    not_acknowledged, // the scanner did not confirm a store
    device,           // the scanner answered, but with a reply that makes no sense
    local_file,       // a file or folder of this PC cannot be written (full disk, no right)
    flash,            // a step of the firmware update failed
    interrupted,      // the user asked the step to stop (SIGINT, SIGTERM)
};

struct Error {
    ErrorKind kind = ErrorKind::bad_input;
    std::string message; // one line, no trailing full stop
};

// The value of a step that gives none.
struct Done {};

// A step's value, or the error that says what happened instead.
template <class T> class Result {
public:
    Result(T value) : v_(std::move(value)) {}     // NOLINT(google-explicit-constructor)
    Result(Error error) : v_(std::move(error)) {} // NOLINT(google-explicit-constructor)

    [[nodiscard]] bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }
    [[nodiscard]] const T& value() const { return std::get<0>(v_); }
    [[nodiscard]] T& value() { return std::get<0>(v_); }
    const T& operator*() const { return value(); }
    const T* operator->() const { return &value(); }
    [[nodiscard]] const Error& error() const { return std::get<1>(v_); }

private:
    std::variant<T, Error> v_;
};

} // namespace trx
