#pragma once

#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace common {

// What kind of trouble an operation met, where the caller acts on it; most
// callers only show the message.
enum class FaultKind {
    cannotOpen,   // a file, folder, database or socket cannot be made or opened
    locked,       // another process holds it longer than we wait
    readOnly,     // it may not be written
    corrupt,      // it is not what it should be, or a damaged one
    diskFull,     // the disk, or the file's size limit, is full
    newerSchema,  // written by a newer version of the program
    other,
};

// Why an operation failed, as one readable sentence: the operation, the
// path or address, and the system's reason.
struct Fault {
    Fault() = default;
    Fault(std::string text) : message(std::move(text)) {}
    Fault(FaultKind what, std::string text) : message(std::move(text)), kind(what) {}

    std::string message;
    FaultKind kind = FaultKind::other;
};

// For calls that give nothing back when they succeed.
struct Done {};

// A value, or the fault that stopped it from being made: how every call
// that can fail reports it, in every library. A policy's refusal is not a
// fault: it is a value of its own named type.
template <typename T>
class [[nodiscard]] Expected final {
public:
    Expected(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    Expected(Fault fault) : m_state(std::in_place_index<1>, std::move(fault)) {}

    bool ok() const { return m_state.index() == 0; }
    // A result without a value reads only through ok(): a plain `if (result)`
    // is too easily read as "if it failed".
    explicit operator bool() const requires(!std::is_same_v<T, Done>) { return ok(); }
    T &value() { return std::get<0>(m_state); }
    const T &value() const { return std::get<0>(m_state); }
    T *operator->() { return &value(); }
    const T *operator->() const { return &value(); }
    T &operator*() { return value(); }
    const T &operator*() const { return value(); }
    const Fault &fault() const { return std::get<1>(m_state); }

private:
    std::variant<T, Fault> m_state;
};

}
