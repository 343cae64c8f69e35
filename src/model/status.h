#pragma once

#include <stdexcept>
#include <string>

namespace tolvi {

// Result of a fallible operation: code 0 is success, -1 a file that cannot be opened,
// positive values content errors. The message is the status-line text ("--->OK", ...).
struct [[nodiscard]] Status {
    int code = 0;
    std::string message;

    bool ok() const { return code == 0; }
};

// The one exception of the core: a number that cannot be read (or a field that is missing),
// or a calculation that would store a NaN or infinity. It ends the current action; the caller
// (the window's handler guard, the command-line tool's main) shows its message.
class NumberError : public std::runtime_error {
  public:
    explicit NumberError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace tolvi
