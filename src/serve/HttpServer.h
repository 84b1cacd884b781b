// The HTTP side of the web reader, on GNU libmicrohttpd: an epoll thread pool answering the
// pages of a Site, the full-text routes handed to the SearchService's threads (the connection
// is suspended meanwhile, so no pool thread waits on a search).
//
// Limits against a hostile network: GET and HEAD only (405 otherwise), a request line and
// headers within the per-connection memory limit (kConnectionMemory; more is refused by the
// library), bounded target and query (RequestParsing.h, else 400), at most kMaxConnections
// connections and kMaxConnectionsPerAddress from one address, idle and slow clients dropped after
// kConnectionTimeoutSeconds. Every answer carries a Content-Security-Policy that allows only the
// server's own script, nosniff, a Referrer-Policy and no framing; pages that rest on the base
// alone carry its ETag and Last-Modified and are answered 304 when the client has them; answers
// are gzip-compressed for clients that accept it. Each request is logged in the common log format.
//
// Threads: Start and Stop on one thread; the library's threads call the site.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "serve/Site.h"

struct MHD_Daemon;
struct MHD_Connection;

namespace Norik::Serve {

inline constexpr unsigned kMaxConnections = 1024;
inline constexpr unsigned kMaxConnectionsPerAddress = 128;
inline constexpr unsigned kConnectionTimeoutSeconds = 15;
inline constexpr std::size_t kConnectionMemory = std::size_t{64} * 1024;

struct ListenAddress {
    std::string host;  // an IPv4 or IPv6 address, as given (without brackets)
    std::uint16_t port = 0;
    bool v6 = false;
};

// "ADDR:PORT", "[V6ADDR]:PORT" or ":PORT" (loopback); nothing for anything else.
std::optional<ListenAddress> ParseListenAddress(const std::string& text);

struct ServerOptions {
    ListenAddress listen{"127.0.0.1", 8080, false};
    unsigned threads = 2;
    std::FILE* accessLog = nullptr;  // none: no log
};

class HttpServer {
public:
    // etag and lastModified: those of the base, for every cacheable answer.
    HttpServer(const Site& site, SearchService& search, ServerOptions options, std::string etag,
               std::string lastModified);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds and starts; false with error set when it cannot.
    bool Start(std::string& error);
    // The address served, e.g. "http://127.0.0.1:8080/" (the port bound when 0 was asked).
    std::string Url() const;
    // Stops taking connections, lets the searches in flight answer, then stops.
    void Stop();

    struct Exchange;

private:
    static int Handle(void* self, MHD_Connection* connection, const char* url, const char* method, const char* version,
                      const char* upload, std::size_t* uploadSize, void** state);
    static void* Begin(void* self, const char* uri, MHD_Connection* connection);
    static void Completed(void* self, MHD_Connection* connection, void** state, int code);
    int Send(MHD_Connection* connection, Exchange& exchange, const Response& response);
    std::string Origin(MHD_Connection* connection) const;

    const Site& m_site;
    SearchService& m_search;
    ServerOptions m_options;
    std::string m_etag;
    std::string m_lastModified;
    MHD_Daemon* m_daemon = nullptr;
    std::uint16_t m_port = 0;
    std::atomic<int> m_suspended{0};
    std::mutex m_logMutex;
};

}  // namespace Norik::Serve
