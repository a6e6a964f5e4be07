// The studio's web server: its page and a JSON API on a local address, for
// one user's browser only.
//
// Every request must name the server by the address it listens on (the Host
// header), come from its own page when it says where it comes from (Origin,
// Sec-Fetch-Site), and carry the token printed in the page's address: the
// page's files take it as ?token=, the API calls as the X-Studio-Token
// header. Anything else is refused before it reaches a handler. The API is
// POST /api/NAME with a JSON object as the body, answered by a Backend.
#ifndef FIELDFX_STUDIO_SERVER_H
#define FIELDFX_STUDIO_SERVER_H

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace fieldfx::studio {

// A refused API request: `status` (400 for a bad value) and the message the
// page shows.
class RequestError : public std::runtime_error {
public:
    RequestError(int status, const std::string& message)
        : std::runtime_error(message), status_(status) {}
    int status() const { return status_; }

private:
    int status_;
};

struct Reply {
    std::string contentType = "application/json";
    std::string body;
    static Reply json(const nlohmann::json& value) { return {"application/json", value.dump()}; }
};

class Backend {
public:
    virtual ~Backend() = default;
    // POST /api/`call` with `request` (a JSON object). Throws RequestError
    // for what the page asked wrongly; any other exception is a 500 with
    // its message. Called from several server threads at once.
    virtual Reply handle(const std::string& call, const nlohmann::json& request) = 0;
};

struct ServerOptions {
    std::string address = "127.0.0.1";  // where to listen
    int port = 0;                        // 0: any free port
    std::string token;                   // empty: a random one
    std::size_t maxBody = 64 * 1024;     // larger request bodies are refused (413)
};

// A random token of 32 hex digits from the system's generator.
std::string randomToken();

// Whether `host` (a Host header) names the server listening on `address`
// and `port`: that address, or for a loopback address localhost,
// 127.0.0.1 and [::1], each with the port.
bool hostAllowed(const std::string& host, const std::string& address, int port);

class Server {
public:
    Server(Backend& backend, ServerOptions options);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds the address; returns the port. Throws std::runtime_error.
    int bind();
    // Serves until stop() (from another thread or a signal's thread).
    void run();
    void stop();
    // http://ADDRESS:PORT/?token=TOKEN
    std::string url() const;
    const std::string& token() const { return options_.token; }

private:
    struct Impl;
    Backend& backend_;
    ServerOptions options_;
    std::unique_ptr<Impl> impl_;
};

}  // namespace fieldfx::studio

#endif
