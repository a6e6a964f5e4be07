#include "fieldfx/studio/server.h"

#include <sys/random.h>

#include <cerrno>
#include <cstring>
#include <regex>

#include <httplib.h>

#include "fieldfx/studio/page.h"

namespace fieldfx::studio {

namespace {

// Compares the whole of both texts whatever their first difference, so
// that the time of a refusal tells nothing about the token.
bool sameSecret(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    unsigned char differ = 0;
    for (std::size_t i = 0; i < a.size(); ++i) differ |= uint8_t(a[i] ^ b[i]);
    return differ == 0;
}

bool isLoopback(const std::string& address) {
    return address == "127.0.0.1" || address == "::1" || address == "localhost";
}

const PageFile* pageFile(const std::string& name) {
    for (const PageFile& f : pageFiles())
        if (f.name == name) return &f;
    return nullptr;
}

std::string contentTypeOf(const std::string& name) {
    if (name.size() > 5 && name.compare(name.size() - 5, 5, ".html") == 0)
        return "text/html; charset=utf-8";
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".css") == 0)
        return "text/css; charset=utf-8";
    return "text/javascript; charset=utf-8";
}

void refuse(httplib::Response& res, int status, const std::string& message) {
    res.status = status;
    res.set_content(nlohmann::json{{"error", message}}.dump(), "application/json");
}

}  // namespace

std::string randomToken() {
    unsigned char bytes[16];
    std::size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error(std::string("no random bytes: ") + std::strerror(errno));
        got += std::size_t(n);
    }
    static const char kHex[] = "0123456789abcdef";
    std::string token;
    for (unsigned char b : bytes) {
        token.push_back(kHex[b >> 4]);
        token.push_back(kHex[b & 15]);
    }
    return token;
}

bool hostAllowed(const std::string& host, const std::string& address, int port) {
    const std::string suffix = ":" + std::to_string(port);
    std::vector<std::string> names;
    if (isLoopback(address)) {
        names = {"127.0.0.1", "localhost", "[::1]"};
    } else {
        names = {address.find(':') != std::string::npos ? "[" + address + "]" : address};
    }
    for (const std::string& n : names)
        if (host == n + suffix) return true;
    return false;
}

struct Server::Impl {
    httplib::Server http;
    int port = 0;
};

Server::Server(Backend& backend, ServerOptions options)
    : backend_(backend), options_(std::move(options)), impl_(std::make_unique<Impl>()) {
    if (options_.token.empty()) options_.token = randomToken();
    httplib::Server& http = impl_->http;
    http.set_payload_max_length(options_.maxBody);
    http.set_keep_alive_max_count(1000);
    // Small answers go out at once, not after the client acknowledges the
    // headers (Nagle with delayed acknowledgement costs 40 ms a request).
    http.set_tcp_nodelay(true);

    // Every request passes here before any body is read.
    http.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        res.set_header("Cache-Control", "no-store");
        res.set_header("X-Content-Type-Options", "nosniff");
        res.set_header("X-Frame-Options", "DENY");
        res.set_header("Referrer-Policy", "no-referrer");
        const std::string host = req.get_header_value("Host");
        if (!hostAllowed(host, options_.address, impl_->port)) {
            refuse(res, 403, "refused: the request names another host (" + host + ")");
            return httplib::Server::HandlerResponse::Handled;
        }
        if (req.has_header("Origin")) {
            const std::string origin = req.get_header_value("Origin");
            if (origin.compare(0, 7, "http://") != 0 ||
                !hostAllowed(origin.substr(7), options_.address, impl_->port)) {
                refuse(res, 403, "refused: the request comes from another page (" + origin + ")");
                return httplib::Server::HandlerResponse::Handled;
            }
        }
        const std::string site = req.get_header_value("Sec-Fetch-Site");
        if (site == "cross-site" || site == "same-site") {
            refuse(res, 403, "refused: the request comes from another site");
            return httplib::Server::HandlerResponse::Handled;
        }
        const bool api = req.path.compare(0, 5, "/api/") == 0;
        const std::string given =
            api ? req.get_header_value("X-Studio-Token") : req.get_param_value("token");
        if (!sameSecret(given, options_.token)) {
            refuse(res, 403, "refused: missing or wrong token (open the address fieldfx studio printed)");
            return httplib::Server::HandlerResponse::Handled;
        }
        if (api && (req.method != "POST" ||
                    req.get_header_value("Content-Type").compare(0, 16, "application/json") != 0)) {
            refuse(res, 400, "the API takes POST requests with a JSON body");
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });

    // The page's files: only these names, never a path of the disk.
    http.Get(R"(/|/(studio\.css|studio\.js|clips\.js))", [this](const httplib::Request& req,
                                                    httplib::Response& res) {
        const std::string name = req.path == "/" ? "index.html" : req.path.substr(1);
        const PageFile* file = pageFile(name);
        if (file == nullptr) return refuse(res, 404, "not found");
        std::string text(file->bytes);
        // The page's own files are fetched with the token it was given.
        for (std::size_t at; (at = text.find("__TOKEN__")) != std::string::npos;)
            text.replace(at, 9, options_.token);
        res.set_header("Content-Security-Policy",
                       "default-src 'self'; img-src 'self' blob: data:; connect-src 'self'; "
                       "frame-ancestors 'none'; form-action 'none'");
        res.set_content(text, contentTypeOf(name));
    });

    http.Post(R"(/api/([a-z][a-z0-9-]*))", [this](const httplib::Request& req,
                                                 httplib::Response& res) {
        nlohmann::json request;
        try {
            request = nlohmann::json::parse(req.body);
        } catch (const nlohmann::json::exception&) {
            return refuse(res, 400, "the request body is not JSON");
        }
        if (!request.is_object()) return refuse(res, 400, "the request body is not a JSON object");
        try {
            Reply reply = backend_.handle(req.matches[1], request);
            res.set_content(std::move(reply.body), reply.contentType);
        } catch (const RequestError& e) {
            refuse(res, e.status(), e.what());
        } catch (const nlohmann::json::exception& e) {
            refuse(res, 400, std::string("malformed request: ") + e.what());
        } catch (const std::exception& e) {
            refuse(res, 500, e.what());
        }
    });

    http.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty()) {
            const std::string message = res.status == 413 ? "request too large" : "not found";
            res.set_content(nlohmann::json{{"error", message}}.dump(), "application/json");
        }
    });
}

Server::~Server() = default;

int Server::bind() {
    impl_->port = options_.port == 0 ? impl_->http.bind_to_any_port(options_.address)
                                     : (impl_->http.bind_to_port(options_.address, options_.port)
                                            ? options_.port
                                            : -1);
    if (impl_->port <= 0)
        throw std::runtime_error("cannot listen on " + options_.address + " port " +
                                 std::to_string(options_.port) +
                                 " (in use, or not an address of this machine)");
    return impl_->port;
}

void Server::run() { impl_->http.listen_after_bind(); }

void Server::stop() { impl_->http.stop(); }

std::string Server::url() const {
    const std::string host = options_.address.find(':') != std::string::npos
                                 ? "[" + options_.address + "]"
                                 : options_.address;
    return "http://" + host + ":" + std::to_string(impl_->port) + "/?token=" + options_.token;
}

}  // namespace fieldfx::studio
