#pragma once

#include <stdexcept>
#include <string>

namespace mosaikon {

// A failure as the program reports it: the exception carries the short description that
// follows "<Procedure> has caused an error " in the report ("Overflow", "Type mismatch", ...).
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace failure {
inline constexpr const char* TypeMismatch = "Type mismatch";
inline constexpr const char* Overflow = "Overflow";
inline constexpr const char* DivisionByZero = "Division by zero";
inline constexpr const char* SubscriptOutOfRange = "Subscript out of range";
inline constexpr const char* OutOfMemory = "Out of memory";
}  // namespace failure

[[noreturn]] void Fail(const std::string& description);

// Throws a Failure carrying the system's text for errno (as the platform words file errors).
[[noreturn]] void FailWithSystemError(int errorNumber);

// The description of the exception being handled; call only inside a catch block.
std::string CurrentFailureDescription();

}  // namespace mosaikon
