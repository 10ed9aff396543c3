#pragma once
// The system log. Lines carry their own "<Info> ", "<WARNING> " or "<ERROR> " prefix and
// go to one sink at a time: syslog by default, stderr for the command line, memory for tests.

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace quiramo::platform {

class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void write(std::string_view line) = 0;
};

// syslog(3) under the given ident; the priority follows the line's prefix.
std::shared_ptr<LogSink> makeSyslogSink(const char* ident = "Quiramo");
// One line per event on standard error.
std::shared_ptr<LogSink> makeStderrSink();
// Discards everything.
std::shared_ptr<LogSink> makeNullSink();

// Keeps every line; tests compare them.
class MemoryLogSink : public LogSink {
public:
    void write(std::string_view line) override;
    std::vector<std::string> lines() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// Installs a sink; nullptr restores the syslog sink. Returns the previous sink.
std::shared_ptr<LogSink> setLogSink(std::shared_ptr<LogSink> sink);

// printf-style logging of one line. "%s" takes UTF-8 text.
void log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logText(std::string_view line);

// printf-style formatting into a std::string, shared by everything that builds texts.
std::string format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Routes the log into a memory sink for the lifetime of the object.
class ScopedMemoryLog {
public:
    ScopedMemoryLog();
    ~ScopedMemoryLog();
    ScopedMemoryLog(const ScopedMemoryLog&) = delete;
    ScopedMemoryLog& operator=(const ScopedMemoryLog&) = delete;
    std::vector<std::string> lines() const { return sink_->lines(); }
    void clear() { sink_->clear(); }

private:
    std::shared_ptr<MemoryLogSink> sink_;
    std::shared_ptr<LogSink> previous_;
};

}  // namespace quiramo::platform
