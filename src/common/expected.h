#pragma once
// A value or an error with a message. The core reports every failure this way; only the
// window turns an error into a message box. Taking the value of an error, or the error of a
// value, breaks a precondition (common/expects.h): test ok() first.

#include "common/expects.h"

#include <cstddef>
#include <string>
#include <utility>
#include <variant>

namespace morvane {

// What kind of failure an error is, for callers that act on it: they test the kind, never the
// wording of the message.
enum class ErrorKind {
    BadInput, // the input is not what it should be (the default)
    Exists,   // the file to be made is there already
    Busy,     // another program or writer holds the file
    Io,       // the system refused a read or a write
    Limit,    // the input is past a limit this program keeps
};

struct Error {
    std::string message;  // what is wrong, without the place
    std::size_t line = 0; // 1-based line of the input it concerns, as an editor shows it; 0: none
    ErrorKind kind = ErrorKind::BadInput;
};

// "line 57: 'seven' is not a valid integer value (cycle number)", or the bare message.
inline std::string describe(const Error& error)
{
    return error.line == 0 ? error.message : "line " + std::to_string(error.line) + ": " + error.message;
}

template <typename T> class [[nodiscard]] Expected {
public:
    Expected(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    Expected(Error error) : m_state(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() &
    {
        MORVANE_EXPECTS(ok());
        return *std::get_if<0>(&m_state);
    }
    const T& value() const&
    {
        MORVANE_EXPECTS(ok());
        return *std::get_if<0>(&m_state);
    }
    T&& value() &&
    {
        MORVANE_EXPECTS(ok());
        return std::move(*std::get_if<0>(&m_state));
    }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const Error& error() const
    {
        MORVANE_EXPECTS(!ok());
        return *std::get_if<1>(&m_state);
    }

private:
    std::variant<T, Error> m_state;
};

// Success or an error, for operations without a result.
using Status = Expected<std::monostate>;
inline Status success()
{
    return Status(std::monostate{});
}

} // namespace morvane
