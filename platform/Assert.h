#pragma once
// Internal-consistency checks. A failed check hands the file, the line and the formatted
// message to the installed handler: by default it is logged as "<ERROR> ..." and the
// program aborts; tests install a handler that throws AssertionError instead.

#include <stdexcept>
#include <string>

namespace quiramo::platform {

using AssertionHandler = void (*)(const char* file, int line, const std::string& message);

// nullptr restores the default (log and abort). Returns the previous handler.
AssertionHandler setAssertionHandler(AssertionHandler handler);

void assertionFailed(const char* file, int line, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

class AssertionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws AssertionError carrying the message.
void throwingAssertionHandler(const char* file, int line, const std::string& message);

}  // namespace quiramo::platform

// Messages end in " in %s" with the operation's name, e.g.
// QRM_ASSERT(ok, "Unknown enhancement type %lu in %s", type, __func__);
#define QRM_ASSERT(condition, ...)                                                \
    do {                                                                          \
        if (!(condition)) ::quiramo::platform::assertionFailed(__FILE__, __LINE__, __VA_ARGS__); \
    } while (0)

#define QRM_FAIL(...) ::quiramo::platform::assertionFailed(__FILE__, __LINE__, __VA_ARGS__)
