#include "platform/Assert.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "platform/Log.h"

namespace quiramo::platform {
namespace {

void defaultHandler(const char* file, int line, const std::string& message) {
    log("<ERROR> %s (%s:%d)", message.c_str(), file, line);
    std::fprintf(stderr, "Quiramo: internal error: %s (%s:%d)\n", message.c_str(), file, line);
    std::abort();
}

std::atomic<AssertionHandler>& handler() {
    static std::atomic<AssertionHandler> h{&defaultHandler};
    return h;
}

}  // namespace

AssertionHandler setAssertionHandler(AssertionHandler h) {
    return handler().exchange(h ? h : &defaultHandler);
}

void assertionFailed(const char* file, int line, const char* fmt, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    handler().load()(file, line, buffer);
}

void throwingAssertionHandler(const char*, int, const std::string& message) { throw AssertionError(message); }

}  // namespace quiramo::platform
