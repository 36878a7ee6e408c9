// korin-update-server: serves a published update tree over HTTPS for tests
// and the demo, and misbehaves on request.
//
//   korin-update-server --root DIR --cert PEM --key PEM [--address A|auto]
//                       [--port N] [--second-port N] [--http-port N]
//                       [--ready-file FILE] [--request-log FILE]
//
// DIR/misbehave, read afresh for every request, holds lines "PATH MODE [URL]":
//   notfound  404 with an HTML page       zerobyte  a zero byte inside a chunk
//   cutoff    the body ends half-way, then TLS close_notify and the close
//   drop      the body ends half-way, the connection closes without close_notify
//   stall     half the body, then nothing
//   endless   a body that never ends
//   hold      the whole answer once DIR/release exists (2 min at most)
//   redirect301, redirect302, redirect307  that status with "Location: URL"
// With --address auto a free loopback address 127.1.x.y is chosen; the ready
// file receives the address once the server listens. --second-port serves the
// same tree over HTTPS on another port of that address, --http-port over
// plain HTTP. The request log gets one line per request: its target exactly
// as the client sent it, after "http " for a plain HTTP request.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>

namespace {

struct Options {
    std::string root;
    std::string cert;
    std::string key;
    std::string address = "127.0.0.1";
    int port = 443;
    int secondPort = 0;
    int httpPort = 0;
    std::string readyFile;
    std::string requestLog;
};

std::mutex requestLogLock;

void logRequest(const std::string& logFile, const std::string& target) {
    if (logFile.empty()) {
        return;
    }
    const std::lock_guard<std::mutex> hold(requestLogLock);
    std::ofstream(logFile, std::ios::binary | std::ios::app) << target << "\n";
}

constexpr char kNotFoundPage[] =
    "<html><head><title>404 Not Found</title></head><body><h1>Not Found</h1></body></html>\n";

std::string readFile(const std::string& path, bool& found) {
    std::ifstream in(path, std::ios::binary);
    found = static_cast<bool>(in);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Rule {
    std::string mode;
    std::string location;
};

std::map<std::string, Rule> misbehaviours(const std::string& root) {
    std::map<std::string, Rule> rules;
    std::ifstream in(root + "/misbehave");
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string path;
        Rule rule;
        if (words >> path >> rule.mode) {
            words >> rule.location;
            rules[path] = rule;
        }
    }
    return rules;
}

// One client connection, over TLS or plain TCP.
struct Peer {
    SSL* ssl = nullptr;
    int socket = -1;

    int read(char* buffer, int size) const {
        return ssl != nullptr ? SSL_read(ssl, buffer, size)
                              : static_cast<int>(recv(socket, buffer, size, 0));
    }
    int write(const char* data, int size) const {
        return ssl != nullptr ? SSL_write(ssl, data, size)
                              : static_cast<int>(send(socket, data, size, MSG_NOSIGNAL));
    }
};

bool sendAll(const Peer& peer, const std::string& data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        const int n = peer.write(data.data() + sent, static_cast<int>(data.size() - sent));
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

std::string chunk(const std::string& data) {
    char size[32];
    std::snprintf(size, sizeof size, "%zx\r\n", data.size());
    return size + data + "\r\n";
}

void pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

const char* redirectStatus(const std::string& mode) {
    if (mode == "redirect301") {
        return "301 Moved Permanently";
    }
    if (mode == "redirect302") {
        return "302 Found";
    }
    if (mode == "redirect307") {
        return "307 Temporary Redirect";
    }
    return nullptr;
}

// Answers one GET; false when the connection is to end without TLS
// close_notify.
bool answer(const Peer& peer, const std::string& root, const std::string& path) {
    const auto rules = misbehaviours(root);
    const auto rule = rules.find(path);
    const std::string mode = rule == rules.end() ? "" : rule->second.mode;
    if (const char* status = redirectStatus(mode)) {
        const std::string page = std::string("<html><body>") + status + "</body></html>\n";
        sendAll(peer, std::string("HTTP/1.1 ") + status + "\r\nLocation: " + rule->second.location +
                          "\r\nContent-Type: text/html\r\nContent-Length: " +
                          std::to_string(page.size()) + "\r\nConnection: close\r\n\r\n" + page);
        return true;
    }
    bool found = false;
    std::string body;
    if (path.find("..") == std::string::npos && mode != "notfound") {
        body = readFile(root + path, found);
    }
    if (!found && mode != "endless") {
        sendAll(peer, "HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: " +
                          std::to_string(std::strlen(kNotFoundPage)) +
                          "\r\nConnection: close\r\n\r\n" + kNotFoundPage);
        return true;
    }
    if (mode == "hold") {
        // A client kept waiting until the test says so, not for a guessed time.
        for (int waited = 0; waited < 1200 && !std::ifstream(root + "/release"); ++waited) {
            pause(100);
        }
    }
    const bool xml = path.size() > 4 && path.compare(path.size() - 4, 4, ".xml") == 0;
    const std::string head = std::string("HTTP/1.1 200 OK\r\nContent-Type: ") +
                             (xml ? "text/xml" : "application/octet-stream") + "\r\n";
    const std::string half = body.substr(0, body.size() / 2);
    if (mode == "zerobyte") {
        // The first chunk carries a zero byte and junk after it; the rest
        // follows once the client has had the first.
        sendAll(peer, head + "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n");
        sendAll(peer, chunk(half + std::string("\0junk", 5)));
        pause(300);
        sendAll(peer, chunk(body.substr(half.size())) + chunk(""));
    } else if (mode == "cutoff" || mode == "drop") {
        sendAll(peer, head + "Content-Length: " + std::to_string(body.size()) +
                          "\r\nConnection: close\r\n\r\n" + half);
        return mode != "drop";
    } else if (mode == "stall") {
        sendAll(peer, head + "Content-Length: " + std::to_string(body.size()) +
                          "\r\nConnection: close\r\n\r\n" + half);
        pause(120000);
    } else if (mode == "endless") {
        sendAll(peer, head + "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n");
        const std::string piece = chunk(std::string(16384, ' ') + "<a>");
        while (sendAll(peer, piece)) {
        }
    } else {
        sendAll(peer, head + "Content-Length: " + std::to_string(body.size()) +
                          "\r\nConnection: close\r\n\r\n" + body);
    }
    return true;
}

// Serves one connection; without a context, over plain HTTP.
void serve(SSL_CTX* context, int client, std::string root, std::string requestLog) {
    SSL* ssl = nullptr;
    if (context != nullptr) {
        ssl = SSL_new(context);
        SSL_set_fd(ssl, client);
    }
    const Peer peer{ssl, client};
    if (ssl == nullptr || SSL_accept(ssl) == 1) {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
            const int n = peer.read(buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            request.append(buffer, static_cast<std::size_t>(n));
        }
        const std::string requestLine = request.substr(0, request.find("\r\n"));
        std::istringstream line(requestLine);
        std::string verb, path;
        line >> verb >> path;
        // The target is all between the verb and the version, spaces included.
        const auto targetStart = requestLine.find(' ');
        const auto targetEnd = requestLine.rfind(' ');
        if (targetStart != std::string::npos && targetEnd > targetStart) {
            logRequest(requestLog,
                       (ssl == nullptr ? "http " : "") +
                           requestLine.substr(targetStart + 1, targetEnd - targetStart - 1));
        }
        std::cerr << "korin-update-server: " << verb << " " << path << "\n";
        // Servers accept the absolute form too (RFC 9112, 3.2.2): Wine's
        // WinHTTP sends it inside a proxy's tunnel.
        for (const char* scheme : {"https://", "http://"}) {
            if (path.rfind(scheme, 0) == 0) {
                const auto slash = path.find('/', std::string(scheme).size());
                path = slash == std::string::npos ? "/" : path.substr(slash);
            }
        }
        bool closeNotify = true;
        if (verb == "GET" && !path.empty() && path[0] == '/') {
            closeNotify = answer(peer, root, path);
        }
        if (ssl != nullptr && closeNotify) {
            SSL_shutdown(ssl);
        }
    }
    SSL_free(ssl);
    close(client);
}

void acceptForever(int server, SSL_CTX* context, const Options& options) {
    while (true) {
        const int client = accept(server, nullptr, nullptr);
        if (client >= 0) {
            std::thread(serve, context, client, options.root, options.requestLog).detach();
        }
    }
}

int listenOn(const std::string& address, int port) {
    const int server = socket(AF_INET, SOCK_STREAM, 0);
    const int yes = 1;
    setsockopt(server, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(static_cast<std::uint16_t>(port));
    if (inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1 ||
        bind(server, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 ||
        listen(server, 16) != 0) {
        close(server);
        return -1;
    }
    return server;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const std::string value = argv[i + 1];
        if (name == "--root") {
            options.root = value;
        } else if (name == "--cert") {
            options.cert = value;
        } else if (name == "--key") {
            options.key = value;
        } else if (name == "--address") {
            options.address = value;
        } else if (name == "--port") {
            options.port = std::atoi(value.c_str());
        } else if (name == "--second-port") {
            options.secondPort = std::atoi(value.c_str());
        } else if (name == "--http-port") {
            options.httpPort = std::atoi(value.c_str());
        } else if (name == "--ready-file") {
            options.readyFile = value;
        } else if (name == "--request-log") {
            options.requestLog = value;
        } else {
            std::cerr << "korin-update-server: unknown option " << name << "\n";
            return 2;
        }
    }
    if (options.root.empty() || options.cert.empty() || options.key.empty()) {
        std::cerr << "usage: korin-update-server --root DIR --cert PEM --key PEM "
                     "[--address A|auto] [--port N] [--second-port N] [--http-port N] "
                     "[--ready-file FILE] [--request-log FILE]\n";
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    if (SSL_CTX_use_certificate_chain_file(context, options.cert.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context, options.key.c_str(), SSL_FILETYPE_PEM) != 1) {
        ERR_print_errors_fp(stderr);
        return 1;
    }
    int server = -1;
    std::string address = options.address;
    if (address == "auto") {
        std::mt19937 random(std::random_device{}());
        for (int attempt = 0; attempt < 50 && server < 0; ++attempt) {
            address = "127.1." + std::to_string(random() % 250 + 1) + "." +
                      std::to_string(random() % 250 + 1);
            server = listenOn(address, options.port);
        }
    } else {
        server = listenOn(address, options.port);
    }
    if (server < 0) {
        std::cerr << "korin-update-server: cannot listen on " << address << ":" << options.port
                  << ": " << std::strerror(errno) << "\n";
        return 1;
    }
    int second = -1;
    int http = -1;
    if (options.secondPort != 0 && (second = listenOn(address, options.secondPort)) < 0) {
        std::cerr << "korin-update-server: cannot listen on " << address << ":"
                  << options.secondPort << ": " << std::strerror(errno) << "\n";
        return 1;
    }
    if (options.httpPort != 0 && (http = listenOn(address, options.httpPort)) < 0) {
        std::cerr << "korin-update-server: cannot listen on " << address << ":" << options.httpPort
                  << ": " << std::strerror(errno) << "\n";
        return 1;
    }
    if (second >= 0) {
        std::thread(acceptForever, second, context, options).detach();
    }
    if (http >= 0) {
        std::thread(acceptForever, http, nullptr, options).detach();
    }
    if (!options.readyFile.empty()) {
        const std::string temporary = options.readyFile + ".tmp";
        std::ofstream(temporary) << address << "\n";
        std::rename(temporary.c_str(), options.readyFile.c_str());
    }
    acceptForever(server, context, options);
}
