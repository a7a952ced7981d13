#include "engines/browser/tests/http_server.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace testing_support {

namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Trim(const std::string& text) {
    std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return {};
    std::size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

const char* Reason(int status) {
    switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 307: return "Temporary Redirect";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

void SendAll(SOCKET socket, const std::string& data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        int chunk = static_cast<int>(std::min<std::size_t>(data.size() - sent, 65536));
        int n = send(socket, data.data() + sent, chunk, 0);
        if (n <= 0) return;
        sent += static_cast<std::size_t>(n);
    }
}

}  // namespace

HttpServer::HttpServer() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (listener_ != INVALID_SOCKET &&
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        listen(listener_, SOMAXCONN) == 0) {
        int length = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
}

HttpServer::~HttpServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listener_ != INVALID_SOCKET) closesocket(listener_);
    WSACleanup();
}

void HttpServer::Serve(const std::string& path, int status, const std::string& contentType,
                       const std::string& body, const std::string& extraHeaders) {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_[path] = Reply{status, contentType, body, extraHeaders};
}

std::wstring HttpServer::Url(const std::string& path) const {
    std::wstring url = L"http://127.0.0.1:" + std::to_wstring(port_);
    for (char c : path) url += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return url;
}

std::vector<HttpServer::Request> HttpServer::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void HttpServer::Run() {
    while (!stop_) {
        // Waits in short steps so that the destructor is answered quickly.
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(listener_, &readable);
        timeval wait{0, 50 * 1000};
        if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
        SOCKET client = accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET) continue;
        Handle(client);
        shutdown(client, SD_SEND);
        // Lets the peer see the end of the stream before the socket goes.
        char drain[256];
        DWORD timeout = 200;
        setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
        while (recv(client, drain, sizeof drain, 0) > 0) {}
        closesocket(client);
    }
}

void HttpServer::Handle(std::uintptr_t clientSocket) {
    SOCKET client = static_cast<SOCKET>(clientSocket);
    DWORD timeout = 5000;
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);

    std::string data;
    std::size_t headerEnd = std::string::npos;
    char buffer[4096];
    while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos) {
        int n = recv(client, buffer, sizeof buffer, 0);
        if (n <= 0 || data.size() > 1024 * 1024) return;
        data.append(buffer, static_cast<std::size_t>(n));
    }

    Request request;
    std::size_t lineEnd = data.find("\r\n");
    std::string requestLine = data.substr(0, lineEnd);
    std::size_t space1 = requestLine.find(' ');
    std::size_t space2 = requestLine.find(' ', space1 == std::string::npos ? 0 : space1 + 1);
    if (space1 == std::string::npos) return;
    request.method = requestLine.substr(0, space1);
    request.path = requestLine.substr(space1 + 1, space2 == std::string::npos ? std::string::npos
                                                                             : space2 - space1 - 1);
    for (std::size_t pos = lineEnd + 2; pos < headerEnd;) {
        std::size_t end = data.find("\r\n", pos);
        if (end == std::string::npos || end > headerEnd) end = headerEnd;
        std::string line = data.substr(pos, end - pos);
        std::size_t colon = line.find(':');
        if (colon != std::string::npos) {
            std::string name = Lower(Trim(line.substr(0, colon)));
            std::string value = Trim(line.substr(colon + 1));
            auto [it, inserted] = request.headers.emplace(name, value);
            if (!inserted) it->second += ", " + value;
        }
        pos = end + 2;
    }

    // A request body is read so that the client does not see a reset.
    auto length = request.headers.find("content-length");
    if (length != request.headers.end()) {
        std::size_t want = std::strtoul(length->second.c_str(), nullptr, 10);
        std::size_t have = data.size() - (headerEnd + 4);
        while (have < want && want < 64 * 1024 * 1024) {
            int n = recv(client, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            have += static_cast<std::size_t>(n);
        }
    }

    Reply reply{404, "text/html", "<html><body>Not found</body></html>", ""};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
        auto found = replies_.find(request.path);
        if (found == replies_.end()) found = replies_.find(request.path.substr(0, request.path.find('?')));
        if (found != replies_.end()) reply = found->second;
    }
    // A body may echo the client's user agent (markup characters dropped).
    static const std::string kAgentMark = "{{user-agent}}";
    if (std::size_t at = reply.body.find(kAgentMark); at != std::string::npos) {
        std::string agent;
        if (auto header = request.headers.find("user-agent"); header != request.headers.end())
            for (char c : header->second)
                if (c != '<' && c != '>' && c != '&') agent += c;
        reply.body.replace(at, kAgentMark.size(), agent);
    }

    char statusLine[64];
    std::snprintf(statusLine, sizeof statusLine, "HTTP/1.1 %d %s\r\n", reply.status, Reason(reply.status));
    std::string response = statusLine;
    if (!reply.contentType.empty()) response += "Content-Type: " + reply.contentType + "\r\n";
    response += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
    response += "Connection: close\r\n";
    response += reply.extraHeaders;
    response += "\r\n";
    if (request.method != "HEAD") response += reply.body;
    SendAll(client, response);
}

}  // namespace testing_support
