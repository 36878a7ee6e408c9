#include "network_commands.h"

#include "reg_command.h"

#include "platform/standin/network.h"

#include <arpa/inet.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdio>
#include <memory>
#include <sstream>

namespace korin::standin {

namespace {

bool isAddress(const std::string& text) {
    unsigned char buffer[16];
    return inet_pton(AF_INET, text.c_str(), buffer) == 1 ||
           inet_pton(AF_INET6, text.c_str(), buffer) == 1;
}

bool isHostName(const std::string& text) {
    if (text.empty() || text.size() > 253) {
        return false;
    }
    for (char c : text) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                             (c >= '0' && c <= '9') || c == '-' || c == '.';
        if (!allowed) {
            return false;
        }
    }
    return true;
}

// The certificates of a PEM file, again as PEM; empty when it holds none or
// anything that is not a certificate.
std::string certificatesOf(const std::string& path) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        return {};
    }
    std::unique_ptr<BIO, int (*)(BIO*)> out(BIO_new(BIO_s_mem()), &BIO_free);
    int count = 0;
    while (X509* certificate = PEM_read_X509(file.get(), nullptr, nullptr, nullptr)) {
        PEM_write_bio_X509(out.get(), certificate);
        X509_free(certificate);
        ++count;
    }
    char* data = nullptr;
    const long size = BIO_get_mem_data(out.get(), &data);
    return count == 0 ? std::string() : std::string(data, static_cast<std::size_t>(size));
}

}  // namespace

int runHostsCommand(const Machine& machine, const std::vector<std::string>& args,
                    std::ostream& err) {
    if (args.size() != 3 || args[0] != "add") {
        err << "usage: korin-machine hosts add NAME ADDRESS\n";
        return kExitUsage;
    }
    if (!isHostName(args[1]) || !isAddress(args[2])) {
        err << "korin-machine: '" << args[1] << "' is not a host name or '" << args[2]
            << "' not an IP address\n";
        return kExitUsage;
    }
    if (!addHostsEntry(machine, args[1], args[2])) {
        err << "korin-machine: cannot write the hosts file\n";
        return kExitFailed;
    }
    return kExitDone;
}

int runTrustCommand(const Machine& machine, const std::vector<std::string>& args,
                    std::ostream& err) {
    if (args.size() != 2 || args[0] != "add") {
        err << "usage: korin-machine trust add CERT.pem\n";
        return kExitUsage;
    }
    const std::string certificates = certificatesOf(args[1]);
    if (certificates.empty()) {
        err << "korin-machine: " << args[1] << " holds no PEM certificate\n";
        return kExitUsage;
    }
    if (!addTrustedRoots(machine, certificates)) {
        err << "korin-machine: cannot write the Root store\n";
        return kExitFailed;
    }
    return kExitDone;
}

}  // namespace korin::standin
