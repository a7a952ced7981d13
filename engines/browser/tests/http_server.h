#pragma once
// A small HTTP server on the loopback interface for tests of code that
// fetches pages: it answers the responses a test registers, records every
// request it sees and closes the connection after each response.
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

class HttpServer {
public:
    struct Request {
        std::string method, path;                   // path as sent, with any query
        std::map<std::string, std::string> headers;  // lower-case names
    };

    // Listens on 127.0.0.1 on a port the system picks and serves from a
    // thread of its own until destroyed.
    HttpServer();
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // The response for `path` (with its query, if any, or without one to
    // answer every query). `extraHeaders` are complete header lines, each
    // ending in "\r\n", e.g. "Location: /b.html\r\n". Unknown paths get 404.
    // The first "{{user-agent}}" of a body is replaced with the request's
    // User-Agent header, without markup characters.
    void Serve(const std::string& path, int status, const std::string& contentType,
               const std::string& body, const std::string& extraHeaders = "");

    // "http://127.0.0.1:port" + path.
    std::wstring Url(const std::string& path) const;
    int Port() const { return port_; }

    // The requests seen so far, oldest first.
    std::vector<Request> Requests() const;

private:
    struct Reply {
        int status = 200;
        std::string contentType, body, extraHeaders;
    };

    void Run();
    void Handle(std::uintptr_t client);

    std::uintptr_t listener_ = ~std::uintptr_t(0);  // a SOCKET
    int port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::map<std::string, Reply> replies_;
    std::vector<Request> requests_;
    std::thread thread_;
};

}  // namespace testing_support
