#include "platform/Log.h"

#include <syslog.h>

#include <cstdarg>
#include <cstdio>
#include <set>

namespace quiramo::platform {
namespace {

// openlog(3) keeps the ident pointer and uses it for every later syslog(3) call, whichever
// sink (or library) makes it, so the text must outlive every sink: idents live for the
// whole process.
const char* persistentIdent(const char* ident) {
    static std::mutex mutex;
    static auto* idents = new std::set<std::string>;  // never freed: syslog may run at exit
    std::lock_guard lock(mutex);
    return idents->emplace(ident ? ident : "").first->c_str();
}

class SyslogSink : public LogSink {
public:
    explicit SyslogSink(const char* ident) { openlog(persistentIdent(ident), LOG_PID, LOG_USER); }
    void write(std::string_view line) override {
        int priority = LOG_INFO;
        if (line.starts_with("<ERROR>")) {
            priority = LOG_ERR;
        } else if (line.starts_with("<WARNING>")) {
            priority = LOG_WARNING;
        }
        syslog(priority, "%.*s", static_cast<int>(line.size()), line.data());
    }
};

class StderrSink : public LogSink {
public:
    void write(std::string_view line) override {
        std::string text(line);
        text += '\n';
        std::fwrite(text.data(), 1, text.size(), stderr);
    }
};

class NullSink : public LogSink {
public:
    void write(std::string_view) override {}
};

std::mutex& sinkMutex() {
    static std::mutex m;
    return m;
}

std::shared_ptr<LogSink>& currentSink() {
    static std::shared_ptr<LogSink> sink = makeSyslogSink();
    return sink;
}

std::string vformat(const char* fmt, va_list args) {
    va_list copy;
    va_copy(copy, args);
    char small[512];
    const int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n < 0) return {};
    if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), fmt, args);
    out.resize(static_cast<size_t>(n));
    return out;
}

}  // namespace

std::shared_ptr<LogSink> makeSyslogSink(const char* ident) { return std::make_shared<SyslogSink>(ident); }
std::shared_ptr<LogSink> makeStderrSink() { return std::make_shared<StderrSink>(); }
std::shared_ptr<LogSink> makeNullSink() { return std::make_shared<NullSink>(); }

void MemoryLogSink::write(std::string_view line) {
    std::lock_guard lock(mutex_);
    lines_.emplace_back(line);
}

std::vector<std::string> MemoryLogSink::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

void MemoryLogSink::clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
}

std::shared_ptr<LogSink> setLogSink(std::shared_ptr<LogSink> sink) {
    std::lock_guard lock(sinkMutex());
    auto previous = currentSink();
    currentSink() = sink ? std::move(sink) : makeSyslogSink();
    return previous;
}

void logText(std::string_view line) {
    std::shared_ptr<LogSink> sink;
    {
        std::lock_guard lock(sinkMutex());
        sink = currentSink();
    }
    sink->write(line);
}

void log(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const std::string line = vformat(fmt, args);
    va_end(args);
    logText(line);
}

std::string format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::string out = vformat(fmt, args);
    va_end(args);
    return out;
}

ScopedMemoryLog::ScopedMemoryLog()
    : sink_(std::make_shared<MemoryLogSink>()), previous_(setLogSink(sink_)) {}

ScopedMemoryLog::~ScopedMemoryLog() { setLogSink(previous_); }

}  // namespace quiramo::platform
