// korin-update-server: serves a published update tree over HTTPS for tests
// and the demo, and misbehaves on request.
//
//   korin-update-server --root DIR --cert PEM --key PEM [--address A|auto]
//                       [--port N] [--ready-file FILE] [--request-log FILE]
//
// DIR/misbehave, read afresh for every request, holds lines "PATH MODE":
//   notfound  404 with an HTML page       zerobyte  a zero byte inside a chunk
//   cutoff    the body ends half-way      stall     half the body, then nothing
//   endless   a body that never ends      hold      the whole answer once
//                                         DIR/release exists (2 min at most)
// With --address auto a free loopback address 127.1.x.y is chosen; the ready
// file receives the address once the server listens. The request log gets
// one line per request: its target exactly as the client sent it.

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

std::map<std::string, std::string> misbehaviours(const std::string& root) {
    std::map<std::string, std::string> rules;
    std::ifstream in(root + "/misbehave");
    std::string path, mode;
    while (in >> path >> mode) {
        rules[path] = mode;
    }
    return rules;
}

bool sendAll(SSL* ssl, const std::string& data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        const int n = SSL_write(ssl, data.data() + sent, static_cast<int>(data.size() - sent));
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

void answer(SSL* ssl, const std::string& root, const std::string& path) {
    const auto rules = misbehaviours(root);
    const auto rule = rules.find(path);
    const std::string mode = rule == rules.end() ? "" : rule->second;
    bool found = false;
    std::string body;
    if (path.find("..") == std::string::npos && mode != "notfound") {
        body = readFile(root + path, found);
    }
    if (!found && mode != "endless") {
        sendAll(ssl, "HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: " +
                         std::to_string(std::strlen(kNotFoundPage)) +
                         "\r\nConnection: close\r\n\r\n" + kNotFoundPage);
        return;
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
        sendAll(ssl, head + "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n");
        sendAll(ssl, chunk(half + std::string("\0junk", 5)));
        pause(300);
        sendAll(ssl, chunk(body.substr(half.size())) + chunk(""));
    } else if (mode == "cutoff") {
        sendAll(ssl, head + "Content-Length: " + std::to_string(body.size()) +
                         "\r\nConnection: close\r\n\r\n" + half);
    } else if (mode == "stall") {
        sendAll(ssl, head + "Content-Length: " + std::to_string(body.size()) +
                         "\r\nConnection: close\r\n\r\n" + half);
        pause(120000);
    } else if (mode == "endless") {
        sendAll(ssl, head + "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n");
        const std::string piece = chunk(std::string(16384, ' ') + "<a>");
        while (sendAll(ssl, piece)) {
        }
    } else {
        sendAll(ssl, head + "Content-Length: " + std::to_string(body.size()) +
                         "\r\nConnection: close\r\n\r\n" + body);
    }
}

void serve(SSL_CTX* context, int client, std::string root, std::string requestLog) {
    SSL* ssl = SSL_new(context);
    SSL_set_fd(ssl, client);
    if (SSL_accept(ssl) == 1) {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
            const int n = SSL_read(ssl, buffer, sizeof buffer);
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
        if (verb == "GET" && !path.empty() && path[0] == '/') {
            answer(ssl, root, path);
        }
        SSL_shutdown(ssl);
    }
    SSL_free(ssl);
    close(client);
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
                     "[--address A|auto] [--port N] [--ready-file FILE] [--request-log FILE]\n";
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
    if (!options.readyFile.empty()) {
        const std::string temporary = options.readyFile + ".tmp";
        std::ofstream(temporary) << address << "\n";
        std::rename(temporary.c_str(), options.readyFile.c_str());
    }
    while (true) {
        const int client = accept(server, nullptr, nullptr);
        if (client >= 0) {
            std::thread(serve, context, client, options.root, options.requestLog).detach();
        }
    }
}
