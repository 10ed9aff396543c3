// quiramo-cli: converts batches of audio files from the command line, with the same engine,
// settings store and selection rules as the desktop application.

#include <getopt.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/QtSettingsStore.h"
#include "engine/MetricsReport.h"
#include "engine/Queue.h"
#include "engine/record/Catalogue.h"
#include "engine/record/Settings.h"
#include "engine/record/SettingsRules.h"
#include "platform/Host.h"
#include "platform/Log.h"

#ifndef QUIRAMO_VERSION
#define QUIRAMO_VERSION "unknown"
#endif

namespace {

using namespace quiramo;
namespace cat = quiramo::catalogue;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

volatile sig_atomic_t gInterrupted = 0;

void onInterrupt(int) { gInterrupted = 1; }

const char* const kUsage =
    "Usage: quiramo-cli convert [OPTIONS] FILE...\n"
    "       quiramo-cli analyse [OPTIONS] FILE...\n"
    "       quiramo-cli list\n"
    "       quiramo-cli settings [KEY VALUE]\n"
    "\n"
    "Converts WAV, AIFF, AIFF-C and FLAC files through two enhancements into new files;\n"
    "a source file is never modified and an existing file is never overwritten.\n"
    "\n"
    "Options:\n"
    "  -1, --enhancement1 CODE  Enhancement 1 by its code (see 'list'), e.g. NO, HR\n"
    "  -2, --enhancement2 CODE  Enhancement 2 by its code\n"
    "  -f, --format NAME        output format: unchanged, wav, aiff, aifc, flac, wav-lr, wav-clfe,\n"
    "                           wav-slsr, wav-l, wav-r, wav-c, wav-lfe, wav-sl, wav-sr\n"
    "  -o, --output-dir DIR     write into DIR (default: the stored destination choice)\n"
    "      --set KEY=VALUE      use a settings value for this run only (repeatable)\n"
    "      --report             print each file's metrics report when it ends\n"
    "  -v, --verbose            write the log to standard error\n"
    "  -q, --quiet              no progress, warnings or summary on standard error\n"
    "  -h, --help               show this help\n"
    "      --version            show the version\n"
    "\n"
    "Exit status: 0 every file converted (or analysed), 1 some failed, 2 usage error,\n"
    "130 interrupted.\n";

struct Options {
    std::string command;
    std::vector<std::string> files;
    std::optional<std::string> enhancement1, enhancement2, format, outputDir;
    std::vector<std::pair<std::string, std::string>> sets;
    bool report = false;
    bool verbose = false;
    bool quiet = false;
};

int usageError(const std::string& message) {
    std::fprintf(stderr, "quiramo-cli: %s\nTry 'quiramo-cli --help' for more information.\n", message.c_str());
    return kExitUsage;
}

std::string codesOf(uint64_t mask) {
    std::string out;
    for (const auto& e : cat::enhancements()) {
        if (mask & e.value()) out += (out.empty() ? "" : ", ") + std::string(e.code);
    }
    return out.empty() ? "none" : out;
}

// The host of a run without a window: refreshes wake the main loop, the two dialogs become
// lines on standard error, and the settings read afresh come from this run's store.
class CliHost : public platform::Host {
public:
    CliHost(settings::SettingsStore& store, bool quiet) : store_(store), quiet_(quiet) {}

    void postRefresh(const AudioFile*) override {
        {
            std::lock_guard lock(mutex_);
            ++refreshes_;
        }
        changed_.notify_one();
    }

    bool showAlreadyProcessedWarning(const std::string& text) override {
        if (!quiet_) std::fprintf(stderr, "quiramo-cli: warning: %s\n", text.c_str());
        return false;
    }

    platform::ClipAlertAnswer showClippingAlert(const std::string& text) override {
        if (!quiet_) std::fprintf(stderr, "quiramo-cli: clipping: %s Answering \"Attenuate\".\n", text.c_str());
        return {platform::kClipOptionAttenuate, false};
    }

    std::string readStoredSetting(const std::string& key) override { return store_.value(key); }

    // A run never changes the stored settings.
    void storeChoice(const std::string&, const std::string&) override {}

    // Waits for a refresh or the timeout.
    void waitForChange(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        const unsigned seen = refreshes_;
        changed_.wait_for(lock, timeout, [&] { return refreshes_ != seen; });
    }

private:
    settings::SettingsStore& store_;
    bool quiet_;
    std::mutex mutex_;
    std::condition_variable changed_;
    unsigned refreshes_ = 0;
};

int parseOptions(int argc, char** argv, Options& o) {
    enum { kOptSet = 1000, kOptReport, kOptVersion };
    static const option longOptions[] = {
        {"enhancement1", required_argument, nullptr, '1'},
        {"enhancement2", required_argument, nullptr, '2'},
        {"format", required_argument, nullptr, 'f'},
        {"output-dir", required_argument, nullptr, 'o'},
        {"set", required_argument, nullptr, kOptSet},
        {"report", no_argument, nullptr, kOptReport},
        {"verbose", no_argument, nullptr, 'v'},
        {"quiet", no_argument, nullptr, 'q'},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, kOptVersion},
        {nullptr, 0, nullptr, 0},
    };
    // "settings KEY VALUE" takes its words as they are: a value may well start with "-".
    if (argc >= 2 && std::strcmp(argv[1], "settings") == 0) {
        o.command = argv[1];
        for (int i = 2; i < argc; ++i) o.files.emplace_back(argv[i]);
        return -1;
    }
    opterr = 0;
    // Options may come before or after the command and the files; "--" ends them.
    int c;
    while ((c = getopt_long(argc, argv, "1:2:f:o:vqh", longOptions, nullptr)) != -1) {
        switch (c) {
            case '1': o.enhancement1 = optarg; break;
            case '2': o.enhancement2 = optarg; break;
            case 'f': o.format = optarg; break;
            case 'o': o.outputDir = optarg; break;
            case kOptSet: {
                const std::string s = optarg;
                const auto eq = s.find('=');
                if (eq == std::string::npos || eq == 0) return usageError("--set needs KEY=VALUE, got '" + s + "'");
                o.sets.emplace_back(s.substr(0, eq), s.substr(eq + 1));
                break;
            }
            case kOptReport: o.report = true; break;
            case 'v': o.verbose = true; break;
            case 'q': o.quiet = true; break;
            case 'h': std::fputs(kUsage, stdout); return kExitOk;
            case kOptVersion: std::printf("quiramo-cli %s\n", QUIRAMO_VERSION); return kExitOk;
            default: {
                const std::string bad = optopt ? std::string("-") + static_cast<char>(optopt) : argv[optind - 1];
                return usageError("unknown or incomplete option '" + bad + "'");
            }
        }
    }
    for (int i = optind; i < argc; ++i) {
        if (o.command.empty()) {
            o.command = argv[i];
        } else {
            o.files.emplace_back(argv[i]);
        }
    }
    return -1;
}

void printCatalogue() {
    const uint64_t available = cat::availableTypes();
    std::printf("Enhancements (code, name, may be followed by):\n");
    for (const auto& e : cat::enhancements()) {
        if (!(available & e.value())) continue;
        std::printf("  %-6s %-40s %s\n", e.code, e.name, codesOf(cat::allowedAfter(e.value()) & available).c_str());
    }
    std::printf("Output formats:\n");
    for (const auto& f : cat::outputFormats()) std::printf("  %-10s %s\n", f.cliName, f.title);
}

int settingsCommand(const Options& o, QtSettingsStore& store) {
    if (o.files.empty()) {
        for (const auto& k : settings::keys()) {
            if (k.encoding == settings::Encoding::list) {
                std::string joined;
                for (const auto& v : store.list(k.key)) joined += (joined.empty() ? "" : ",") + v;
                std::printf("%s = %s\n", k.key.c_str(), joined.c_str());
            } else {
                std::printf("%s = %s\n", k.key.c_str(), store.value(k.key).c_str());
            }
        }
        return kExitOk;
    }
    if (o.files.size() != 2) return usageError("settings takes either nothing or KEY VALUE");
    std::string why;
    if (!settings::validateSetting(o.files[0], o.files[1], why)) return usageError(why);
    store.setValue(o.files[0], o.files[1]);
    if (!store.usable()) {
        std::fprintf(stderr, "quiramo-cli: cannot write %s\n", store.fileName().c_str());
        return kExitFailed;
    }
    return kExitOk;
}

bool isDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Works out the enhancement pair, output format and destination of this run, refusing
// what the selection rules would not allow.
int chooseSelection(const Options& o, settings::SettingsStore& store, settings::Selection& sel) {
    const uint64_t available = cat::availableTypes();
    auto pick = [&](const std::optional<std::string>& code, const char* key, uint64_t& out) -> int {
        if (code) {
            const cat::Enhancement* e = cat::findEnhancementByCode(*code);
            if (!e) return usageError("unknown enhancement code '" + *code + "'; see 'quiramo-cli list'");
            out = e->value();
        } else {
            out = settings::decodeU64(store.value(key));
            if (!cat::findEnhancement(out)) out = cat::kTypeNO;
        }
        if (!(available & out)) {
            return usageError(std::string("enhancement ") + cat::findEnhancement(out)->code + " (" +
                              cat::displayName(out) + ") is not available yet; available: " + codesOf(available));
        }
        return -1;
    };
    if (int rc = pick(o.enhancement1, "FilterType_1", sel.filterType_1); rc >= 0) return rc;
    if (int rc = pick(o.enhancement2, "FilterType_2", sel.filterType_2); rc >= 0) return rc;
    const uint64_t allowed = cat::allowedAfter(sel.filterType_1) & available;
    if (!(allowed & sel.filterType_2)) {
        return usageError(std::string(cat::findEnhancement(sel.filterType_2)->code) + " may not follow " +
                          cat::findEnhancement(sel.filterType_1)->code + "; allowed as enhancement 2: " +
                          codesOf(allowed));
    }

    if (o.format) {
        const cat::OutputFormat* f = cat::findOutputFormatByName(*o.format);
        if (!f) return usageError("unknown output format '" + *o.format + "'; see 'quiramo-cli list'");
        sel.outputFormatType = f->value;
    } else {
        const uint64_t stored = settings::decodeU64(store.value("OutputFormatType"));
        sel.outputFormatType = cat::findOutputFormat(static_cast<int>(stored)) ? static_cast<int>(stored) : 1;
    }
    const bool multichannel = (sel.filterType_1 | sel.filterType_2) & cat::kMultichannelTypes;
    if ((sel.outputFormatType & cat::kSplitOutputFormats) && !multichannel) {
        std::string names;
        for (const auto& f : cat::outputFormats()) {
            if (!(f.value & cat::kSplitOutputFormats)) names += (names.empty() ? "" : ", ") + std::string(f.cliName);
        }
        return usageError(std::string("output format ") + cat::findOutputFormat(sel.outputFormatType)->cliName +
                          " needs a multichannel enhancement; allowed: " + names);
    }

    if (o.outputDir) {
        if (!isDirectory(*o.outputDir)) return usageError("output folder '" + *o.outputDir + "' does not exist");
        sel.destinationOption = 2;
        sel.destinationText = *o.outputDir;
    } else {
        sel.destinationOption = settings::decodeInteger(store.value("DestinationFolderOption")) == 1 ? 1 : 2;
        sel.destinationText = store.value("DestinationFolder");
    }
    sel.suffix_1 = store.value(cat::suffixKey(*cat::findEnhancement(sel.filterType_1)));
    sel.suffix_2 = store.value(cat::suffixKey(*cat::findEnhancement(sel.filterType_2)));
    return -1;
}

struct FileRun {
    std::string path;
    Queue::Job job;   // null when the file was refused
    bool dispatched = false;
    bool finished = false;
    bool ok = false;
};

int runFiles(const Options& o, settings::SettingsStore& store) {
    if (o.files.empty()) return usageError(o.command + " needs at least one FILE");
    settings::Selection sel;
    if (int rc = chooseSelection(o, store, sel); rc >= 0) return rc;
    const settings::SettingsMirror mirror = settings::readMirror(store);

    CliHost host(store, o.quiet);
    platform::setHost(&host);
    const bool converting = o.command == "convert";
    const bool showProgress = !o.quiet && isatty(STDERR_FILENO);

    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    std::vector<FileRun> runs;
    unsigned reported = 0, converted = 0, failed = 0;
    {
        Queue queue([&](PassTurn turn) { return settings::makeSnapshot(turn, mirror, sel); });
        for (const auto& f : o.files) {
            FileRun r;
            r.path = f;
            r.job = queue.add(f);
            if (!r.job) {
                std::printf("%s: Invalid file type. \n", f.c_str());
                r.finished = true;
                ++failed;
            }
            runs.push_back(std::move(r));
        }
        std::fflush(stdout);

        bool interrupted = false;
        for (;;) {
            if (gInterrupted && !interrupted) {
                interrupted = true;
                for (auto& r : runs) {
                    if (r.job && !r.finished) queue.cancel(r.job);
                }
            }
            bool allDone = true;
            std::string progressLine;
            for (size_t i = 0; i < runs.size(); ++i) {
                FileRun& r = runs[i];
                if (r.finished) continue;
                allDone = false;
                const int state = r.job->state;
                if (state == kStateAnalysed && !r.dispatched) {
                    if (r.job->error == 0 && converting && !interrupted) {
                        const AudioFile* target = r.job.get();
                        queue.convert([target](size_t, const AudioFile& j) { return &j == target; });
                        r.dispatched = true;
                        continue;
                    }
                    r.finished = true;
                    r.ok = r.job->error == 0 && !converting;
                } else if (state == kStateConverted || state == kStateFailed) {
                    r.finished = true;
                    r.ok = state == kStateConverted;
                } else {
                    if (showProgress && progressLine.empty() && (state == kStateConverting || state == kStateAnalysing)) {
                        const RowTexts t = r.job->rowTexts();
                        progressLine = platform::format("[%zu/%zu] %s: %s %s", i + 1, runs.size(),
                                                        t.sourceNameTableText.c_str(), t.stateTableText.c_str(),
                                                        t.progressTableText.c_str());
                    }
                    continue;
                }
                // The file has ended.
                if (showProgress) std::fputs("\r\033[K", stderr);
                const RowTexts t = r.job->rowTexts();
                if (r.ok && converting) {
                    std::printf("%s -> %s: %s\n", r.path.c_str(), t.destinationNameTableText.c_str(),
                                t.stateTableText.c_str());
                    ++converted;
                } else if (interrupted && r.job->state == kStateAnalysed && r.job->error == 0) {
                    std::printf("%s: Not converted: interrupted\n", r.path.c_str());
                    ++failed;
                } else {
                    std::printf("%s: %s\n", r.path.c_str(), t.stateTableText.c_str());
                    if (r.ok) {
                        ++converted;
                    } else {
                        ++failed;
                    }
                }
                if (o.report) {
                    std::vector<std::string> lines;
                    if (appendMetricsReport(*r.job, ++reported, lines)) {
                        for (const auto& l : lines) std::printf("%s\n", l.c_str());
                    } else {
                        --reported;
                    }
                }
                std::fflush(stdout);
            }
            if (allDone) break;
            if (showProgress && !progressLine.empty()) {
                std::fprintf(stderr, "\r\033[K%s", progressLine.c_str());
                std::fflush(stderr);
            }
            host.waitForChange(std::chrono::milliseconds(100));
        }
        if (showProgress) std::fputs("\r\033[K", stderr);
        queue.waitForPasses();
    }
    platform::setHost(nullptr);

    if (!o.quiet) {
        if (converting) {
            const std::string where = sel.destinationOption == 1 ? "beside their sources" : "into " + sel.destinationText;
            std::fprintf(stderr, "quiramo-cli: %u converted, %u failed; files written %s\n", converted, failed,
                         where.c_str());
        } else {
            std::fprintf(stderr, "quiramo-cli: %u analysed, %u failed\n", converted, failed);
        }
    }
    if (gInterrupted) return kExitInterrupted;
    return failed == 0 ? kExitOk : kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (int rc = parseOptions(argc, argv, o); rc >= 0) return rc;
    platform::setLogSink(o.verbose ? platform::makeStderrSink() : platform::makeSyslogSink());

    if (o.command.empty()) return usageError("no command given");
    if (o.command == "list") {
        printCatalogue();
        return kExitOk;
    }

    QtSettingsStore store;
    store.registerDefaults();
    if (o.command == "settings") return settingsCommand(o, store);
    if (o.command != "convert" && o.command != "analyse" && o.command != "analyze") {
        return usageError("unknown command '" + o.command + "'");
    }

    OverlaySettingsStore overlay(store);
    for (const auto& [key, value] : o.sets) {
        std::string why;
        if (!settings::validateSetting(key, value, why)) return usageError(why);
        overlay.setValue(key, value);
    }
    if (o.command == "analyze") o.command = "analyse";
    return runFiles(o, overlay);
}
