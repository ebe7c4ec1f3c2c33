#pragma once

#include <string>
#include <utility>
#include <variant>

namespace fenlowick {

/// Why an operation failed, with the text shown to the user.
struct Error {
    enum class Kind {
        Refused,   ///< the entry was refused by a check; message is the program's own text
        FileRead,  ///< a file could not be opened or read, or is not of the expected kind
        FileWrite, ///< a file could not be created, written or moved into place
        Cancelled, ///< the user stopped the operation
    };
    Kind kind = Kind::Refused;
    std::string message;
};

/// A value or the error that prevented it. A small stand-in for std::expected.
template <typename T> class Expected {
public:
    Expected(T value) : m_state(std::move(value)) {}
    Expected(Error error) : m_state(std::move(error)) {}

    bool hasValue() const { return std::holds_alternative<T>(m_state); }
    explicit operator bool() const { return hasValue(); }

    T& value() { return std::get<T>(m_state); }
    const T& value() const { return std::get<T>(m_state); }
    T& operator*() { return value(); }
    const T& operator*() const { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const Error& error() const { return std::get<Error>(m_state); }

private:
    std::variant<T, Error> m_state;
};

/// Success or an error, for operations without a value.
using Status = Expected<std::monostate>;

inline Status ok() {
    return Status(std::monostate{});
}

} // namespace fenlowick
