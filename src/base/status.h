#pragma once

#include <stdexcept>
#include <string>

namespace tolvi {

// How an operation ended, as a value: callers decide by it, never by the words of a message.
enum class Outcome {
    Ok,            // success
    Warning,       // success, with a message that says what was unusual
    FileNotFound,  // a file that cannot be opened: the parameter, material or data file
    FileRefused,   // a file whose content is refused (line count, header value, layer type, ...)
    Refused,       // a request refused as it stands: a seventh slot, a medium with gain, ...
    WriteFailed,   // an output file that could not be written (an old file stays untouched)
    FitFailed,     // a fit engine that ended with an error status
    Cancelled,     // stopped by the user before it ended: nothing of it was kept
};

inline bool succeeded(Outcome o) {
    return o == Outcome::Ok || o == Outcome::Warning;
}

// Result of a fallible operation: the outcome, the numeric code of the operation's documented
// status set (0 success, -1 a file that cannot be opened, positive values content errors) and
// the status-line text ("--->OK", ...). A status has no two-value form: whoever makes one says
// how the operation ended.
struct [[nodiscard]] Status {
    int code = 0;
    std::string message;
    Outcome outcome = Outcome::Ok;

    Status() = default;
    Status(int code, std::string message, Outcome outcome)
        : code(code), message(std::move(message)), outcome(outcome) {}

    static Status success(std::string message) { return {0, std::move(message), Outcome::Ok}; }
    static Status warning(std::string message) {
        return {0, std::move(message), Outcome::Warning};
    }

    bool ok() const { return code == 0; }
    bool succeeded() const { return tolvi::succeeded(outcome); }
};

// The one exception of the core: a number that cannot be read (or a field that is missing),
// or a calculation that would store a NaN or infinity. It ends the current action; the caller
// (the window's handler guard, the command-line tool's main) shows its message.
class NumberError : public std::runtime_error {
  public:
    explicit NumberError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace tolvi
