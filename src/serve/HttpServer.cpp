#include "serve/HttpServer.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <zlib.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <exception>
#include <thread>

#include "serve/SearchService.h"

namespace Norik::Serve {

namespace {

const char* const kContentSecurityPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self' 'unsafe-inline'; img-src 'self'; connect-src 'self'; "
    "form-action 'self'; base-uri 'none'; frame-ancestors 'none'";

bool Compressible(const std::string& type) {
    return type.starts_with("text/") || type.starts_with("application/json") ||
           type.starts_with("application/x-suggestions") || type.starts_with("application/opensearch") ||
           type.starts_with("application/rtf");
}

std::optional<std::string> Gzip(const std::string& body) {
    z_stream stream{};
    if (deflateInit2(&stream, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return std::nullopt;
    std::string out(deflateBound(&stream, body.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
    stream.avail_in = static_cast<uInt>(body.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) return std::nullopt;
    return out;
}

// Whether an Accept-Encoding header takes gzip (and does not refuse it with q=0).
bool AcceptsGzip(const char* header) {
    if (header == nullptr) return false;
    const std::string_view value(header);
    const std::size_t at = value.find("gzip");
    if (at == std::string_view::npos) return false;
    const std::string_view rest = value.substr(at + 4, value.find(',', at) - at - 4);
    return rest.find("q=0") == std::string_view::npos || rest.find("q=0.") != std::string_view::npos;
}

// The request line as the log shows it: quotes, backslashes and controls written as \xHH.
std::string LogSafe(std::string_view text) {
    static const char* const kHex = "0123456789abcdef";
    std::string out;
    for (const char c : text.substr(0, 2048)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '"' || c == '\\') {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += c;
        }
    }
    return out;
}

bool ValidHost(std::string_view host) {
    if (host.empty() || host.size() > 255) return false;
    for (const char c : host)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
              c == ':' || c == '[' || c == ']'))
            return false;
    return true;
}

}  // namespace

struct HttpServer::Exchange {
    std::string target;
    std::string method;
    std::string version;
    std::optional<Response> ready;  // an answer made on a search thread
    bool suspended = false;
    int status = 0;
    std::size_t bytes = 0;
};

std::optional<ListenAddress> ParseListenAddress(const std::string& text) {
    ListenAddress address;
    std::string portText;
    if (text.starts_with("[")) {
        const std::size_t close = text.find("]:");
        if (close == std::string::npos) return std::nullopt;
        address.host = text.substr(1, close - 1);
        address.v6 = true;
        portText = text.substr(close + 2);
    } else {
        const std::size_t colon = text.rfind(':');
        if (colon == std::string::npos) return std::nullopt;
        address.host = colon == 0 ? "127.0.0.1" : text.substr(0, colon);
        portText = text.substr(colon + 1);
    }
    if (portText.empty() || portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const int port = std::stoi(portText);
    if (port > 65535) return std::nullopt;
    address.port = static_cast<std::uint16_t>(port);
    unsigned char buffer[sizeof(in6_addr)];
    if (inet_pton(address.v6 ? AF_INET6 : AF_INET, address.host.c_str(), buffer) != 1) return std::nullopt;
    return address;
}

HttpServer::HttpServer(const Site& site, SearchService& search, ServerOptions options, std::string etag,
                       std::string lastModified)
    : m_site(site),
      m_search(search),
      m_options(std::move(options)),
      m_etag(std::move(etag)),
      m_lastModified(std::move(lastModified)) {}

HttpServer::~HttpServer() { Stop(); }

bool HttpServer::Start(std::string& error) {
    sockaddr_in v4{};
    sockaddr_in6 v6{};
    const sockaddr* address = nullptr;
    if (m_options.listen.v6) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(m_options.listen.port);
        inet_pton(AF_INET6, m_options.listen.host.c_str(), &v6.sin6_addr);
        address = reinterpret_cast<const sockaddr*>(&v6);
    } else {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(m_options.listen.port);
        inet_pton(AF_INET, m_options.listen.host.c_str(), &v4.sin_addr);
        address = reinterpret_cast<const sockaddr*>(&v4);
    }
    unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ITC;
    if (m_options.listen.v6) flags |= MHD_USE_IPv6;
    m_daemon = MHD_start_daemon(
        flags, m_options.listen.port, nullptr, nullptr,
        reinterpret_cast<MHD_AccessHandlerCallback>(&HttpServer::Handle), this, MHD_OPTION_SOCK_ADDR, address,
        MHD_OPTION_THREAD_POOL_SIZE, static_cast<unsigned>(std::max(1u, m_options.threads)),
        MHD_OPTION_CONNECTION_LIMIT, kMaxConnections, MHD_OPTION_PER_IP_CONNECTION_LIMIT, kMaxConnectionsPerAddress,
        MHD_OPTION_CONNECTION_TIMEOUT, kConnectionTimeoutSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory,
        MHD_OPTION_URI_LOG_CALLBACK, &HttpServer::Begin, this, MHD_OPTION_NOTIFY_COMPLETED,
        reinterpret_cast<MHD_RequestCompletedCallback>(&HttpServer::Completed), this, MHD_OPTION_END);
    if (m_daemon == nullptr) {
        error = "cannot listen on " + m_options.listen.host + ":" + std::to_string(m_options.listen.port) +
                " (the address is taken, not this machine's, or needs privileges)";
        return false;
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT);
    m_port = info != nullptr && info->port != 0 ? info->port : m_options.listen.port;
    return true;
}

std::string HttpServer::Url() const {
    const std::string host = m_options.listen.v6 ? "[" + m_options.listen.host + "]" : m_options.listen.host;
    return "http://" + host + ":" + std::to_string(m_port) + "/";
}

void HttpServer::Stop() {
    if (m_daemon == nullptr) return;
    // No new connection is taken; the searches in flight answer before the daemon stops.
    MHD_quiesce_daemon(m_daemon);
    for (int i = 0; i < 600 && m_suspended.load() > 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
}

void* HttpServer::Begin(void*, const char* uri, MHD_Connection*) {
    auto* exchange = new Exchange;
    exchange->target = uri != nullptr ? uri : "";
    return exchange;
}

std::string HttpServer::Origin(MHD_Connection* connection) const {
    const char* host = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_HOST);
    if (host != nullptr && ValidHost(host)) return std::string("http://") + host;
    const std::string url = Url();
    return url.substr(0, url.size() - 1);
}

int HttpServer::Handle(void* self, MHD_Connection* connection, const char*, const char* method, const char* version,
                       const char*, std::size_t* uploadSize, void** state) {
    auto& server = *static_cast<HttpServer*>(self);
    auto* exchange = static_cast<Exchange*>(*state);
    if (exchange == nullptr) *state = exchange = new Exchange;
    if (exchange->ready) return server.Send(connection, *exchange, *exchange->ready);
    if (exchange->suspended) return MHD_YES;
    exchange->method = method;
    exchange->version = version;
    *uploadSize = 0;  // a body is never read
    const std::string_view verb(method);
    if (verb != "GET" && verb != "HEAD") {
        Response response = server.m_site.ErrorPage(405, "Сервер только показывает базу: разрешены GET и HEAD.");
        response.headers.emplace_back("Allow", "GET, HEAD");
        return server.Send(connection, *exchange, response);
    }
    const auto [path, query] = SplitTarget(exchange->target);
    std::optional<Route> route = ParseRoute(path);
    std::optional<QueryParameters> parameters = QueryParameters::Parse(query);
    if (!route || !parameters || exchange->target.size() > kMaxTargetBytes)
        return server.Send(connection, *exchange, server.m_site.ErrorPage(400, "Адрес страницы не понят."));
    RequestContext request{*route, std::move(*parameters), server.Origin(connection)};
    if (Site::NeedsSearcher(route->kind)) {
        exchange->suspended = true;
        ++server.m_suspended;
        MHD_suspend_connection(connection);
        const bool queued =
            server.m_search.Submit([&server, connection, exchange, request](const FullText::Searcher* searcher) {
                try {
                    exchange->ready = server.m_site.SearchAnswer(request, searcher);
                } catch (const std::exception&) {
                    exchange->ready = server.m_site.ErrorPage(500, "Поиск не удался.");
                }
                MHD_resume_connection(connection);
                --server.m_suspended;
            });
        if (!queued) {
            exchange->ready = server.m_site.ErrorPage(503, "Сейчас идёт много поисков. Повторите поиск через минуту.");
            exchange->ready->headers.emplace_back("Retry-After", "5");
            MHD_resume_connection(connection);
            --server.m_suspended;
        }
        return MHD_YES;
    }
    Response response;
    try {
        response = server.m_site.Answer(request);
    } catch (const std::exception&) {
        response = server.m_site.ErrorPage(500, "Страницу не удалось составить.");
    }
    return server.Send(connection, *exchange, response);
}

int HttpServer::Send(MHD_Connection* connection, Exchange& exchange, const Response& response) {
    const auto header = [connection](const char* name) {
        return MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
    };
    const bool gzip = Compressible(response.contentType) && response.body.size() > 256 &&
                      AcceptsGzip(header(MHD_HTTP_HEADER_ACCEPT_ENCODING));
    const bool cacheable = response.cacheable && response.status == 200;
    const std::string etag = m_etag.substr(0, m_etag.size() - 1) + (gzip ? "-gz\"" : "\"");
    int status = response.status;
    const std::string* body = &response.body;
    std::optional<std::string> packed;
    static const std::string kEmpty;
    if (cacheable) {
        const char* match = header(MHD_HTTP_HEADER_IF_NONE_MATCH);
        const char* since = header(MHD_HTTP_HEADER_IF_MODIFIED_SINCE);
        if ((match != nullptr && std::string_view(match).find(etag) != std::string_view::npos) ||
            (match == nullptr && since != nullptr && m_lastModified == since)) {
            status = MHD_HTTP_NOT_MODIFIED;
            body = &kEmpty;
        }
    }
    if (status != MHD_HTTP_NOT_MODIFIED && gzip) {
        packed = Gzip(response.body);
        if (packed) body = &*packed;
    }
    MHD_Response* reply =
        MHD_create_response_from_buffer(body->size(), const_cast<char*>(body->data()), MHD_RESPMEM_MUST_COPY);
    if (reply == nullptr) return MHD_NO;
    MHD_add_response_header(reply, MHD_HTTP_HEADER_CONTENT_TYPE, response.contentType.c_str());
    MHD_add_response_header(reply, "Content-Security-Policy", kContentSecurityPolicy);
    MHD_add_response_header(reply, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(reply, "Referrer-Policy", "same-origin");
    MHD_add_response_header(reply, "X-Frame-Options", "DENY");
    if (Compressible(response.contentType)) MHD_add_response_header(reply, "Vary", "Accept-Encoding");
    if (packed && status != MHD_HTTP_NOT_MODIFIED) MHD_add_response_header(reply, "Content-Encoding", "gzip");
    if (cacheable) {
        MHD_add_response_header(reply, "ETag", etag.c_str());
        MHD_add_response_header(reply, "Last-Modified", m_lastModified.c_str());
        MHD_add_response_header(reply, "Cache-Control", "no-cache");
    } else {
        MHD_add_response_header(reply, "Cache-Control", "no-store");
    }
    for (const auto& [name, value] : response.headers) MHD_add_response_header(reply, name.c_str(), value.c_str());
    const MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(status), reply);
    MHD_destroy_response(reply);
    exchange.status = status;
    exchange.bytes = exchange.method == "HEAD" ? 0 : body->size();
    return queued;
}

void HttpServer::Completed(void* self, MHD_Connection* connection, void** state, int) {
    auto& server = *static_cast<HttpServer*>(self);
    auto* exchange = static_cast<Exchange*>(*state);
    *state = nullptr;
    if (exchange == nullptr) return;
    if (server.m_options.accessLog != nullptr && exchange->status != 0) {
        char address[INET6_ADDRSTRLEN] = "-";
        if (const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS)) {
            const sockaddr* client = info->client_addr;
            if (client != nullptr && client->sa_family == AF_INET)
                inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(client)->sin_addr, address, sizeof address);
            else if (client != nullptr && client->sa_family == AF_INET6)
                inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(client)->sin6_addr, address, sizeof address);
        }
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        char when[64];
        std::strftime(when, sizeof when, "%d/%b/%Y:%H:%M:%S %z", &local);
        const std::string line = std::string(address) + " - - [" + when + "] \"" +
                                 LogSafe(exchange->method + " " + exchange->target + " " + exchange->version) + "\" " +
                                 std::to_string(exchange->status) + " " + std::to_string(exchange->bytes) + "\n";
        const std::lock_guard lock(server.m_logMutex);
        (void)std::fwrite(line.data(), 1, line.size(), server.m_options.accessLog);
        (void)std::fflush(server.m_options.accessLog);
    }
    delete exchange;
}

}  // namespace Norik::Serve
