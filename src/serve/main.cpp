// norik-serve: the base read over HTTP by any browser (see HttpServer.h and Site.h).
//
//   norik-serve [--base DIR] [--listen ADDR:PORT] [--threads N] [--access-log FILE]
//
// Listens on 127.0.0.1:8080 unless told otherwise, prints the address it serves, logs each
// request in the common log format (to FILE, or to standard output), and stops on SIGINT or
// SIGTERM after answering the requests in flight.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <ctime>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include "Helpers/Folders.h"
#include "Version.h"
#include "serve/BaseSnapshot.h"
#include "serve/HttpServer.h"
#include "serve/SearchService.h"
#include "serve/Site.h"
#include "showdata/DayCode.h"

namespace {

const char* const kUsage =
    "usage: norik-serve [--base DIR] [--listen ADDR:PORT] [--threads N] [--access-log FILE]\n"
    "  --base DIR          the folder of the base (default: data/ beside the program)\n"
    "  --listen ADDR:PORT  where to listen (default 127.0.0.1:8080; 0.0.0.0:8080 serves the network)\n"
    "  --threads N         threads answering pages (default: the processors, at least 2)\n"
    "  --access-log FILE   where the requests are logged (default: standard output; - for none)\n"
    "  --help, --version   this text, or the version, and exit\n";

constexpr unsigned kSearchThreads = 2;
constexpr std::size_t kMaxQueuedSearches = 64;

int Usage(const std::string& why) {
    std::cerr << "norik-serve: " << why << "\n" << kUsage;
    return 64;
}

// The base date as an HTTP date: its midnight, UTC.
std::string HttpDate(ShowData::DayCode code) {
    std::tm day{};
    day.tm_year = ShowData::YearOfCode(code) - 1900;
    day.tm_mon = ShowData::MonthOfCode(code) - 1;
    day.tm_mday = ShowData::DayOfCode(code);
    const std::time_t when = timegm(&day);
    std::tm utc{};
    gmtime_r(&when, &utc);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &utc);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace Norik;
    std::optional<std::string> base;
    std::string listen = "127.0.0.1:8080";
    std::string accessLog;
    unsigned threads = std::max(2u, std::thread::hardware_concurrency());
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (option == "--version") {
            std::cout << "norik-serve " << Version::kVersion << "\n";
            return 0;
        }
        if (i + 1 >= argc)
            return Usage(option == "--base" || option == "--listen" || option == "--threads" || option == "--access-log"
                             ? option + " needs a value"
                             : "unknown option " + option);
        const std::string value = argv[++i];
        if (option == "--base")
            base = value;
        else if (option == "--listen")
            listen = value;
        else if (option == "--access-log")
            accessLog = value;
        else if (option == "--threads") {
            if (value.empty() || value.size() > 3 || value.find_first_not_of("0123456789") != std::string::npos ||
                std::stoi(value) < 1 || std::stoi(value) > 256)
                return Usage("--threads takes a number from 1 to 256");
            threads = static_cast<unsigned>(std::stoi(value));
        } else {
            return Usage("unknown option " + option);
        }
    }
    const std::optional<Serve::ListenAddress> address = Serve::ParseListenAddress(listen);
    if (!address) return Usage("--listen takes ADDR:PORT, e.g. 127.0.0.1:8080 or [::1]:8080");

    // SIGINT and SIGTERM are waited for by the main thread alone: every thread started after
    // this inherits the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    FolderSettings settings;
    settings.baseOverride = base;
    ConfigureFolders(settings);
    std::shared_ptr<const Serve::BaseSnapshot> snapshot = Serve::BaseSnapshot::Load(std::cerr);
    if (!snapshot) return 1;

    std::FILE* log = stdout;
    if (accessLog == "-") {
        log = nullptr;
    } else if (!accessLog.empty()) {
        log = std::fopen(accessLog.c_str(), "a");
        if (log == nullptr) {
            std::cerr << "norik-serve: cannot open the access log " << accessLog << "\n";
            return 1;
        }
    }
    Serve::SearchService search(GetIndexFolder(), snapshot->baseDate, kSearchThreads, kMaxQueuedSearches);
    Serve::Site site(snapshot, search);
    Serve::ServerOptions options;
    options.listen = *address;
    options.threads = threads;
    options.accessLog = log;
    const std::string etag = "\"" + std::to_string(snapshot->baseDate) + "-" + std::string(Version::kVersion) + "\"";
    Serve::HttpServer server(site, search, options, etag, HttpDate(snapshot->baseDate));
    std::string error;
    if (!server.Start(error)) {
        std::cerr << "norik-serve: " << error << "\n";
        return 1;
    }
    std::cerr << "norik-serve: serving " << GetIndexFolder() << " at " << server.Url() << std::endl;
    int signal = 0;
    sigwait(&stopSignals, &signal);
    std::cerr << "norik-serve: stopping" << std::endl;
    server.Stop();
    if (log != nullptr && log != stdout) (void)std::fclose(log);
    return 0;
}
