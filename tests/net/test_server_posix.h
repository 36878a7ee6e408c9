#pragma once

// The test update server (korin-update-server) on a loopback address of its
// own, port 443, with a certificate from a test authority made for the run.

#include <string>
#include <vector>

namespace korin::testing {

class TestServer {
  public:
    TestServer() = default;
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;
    ~TestServer();

    // Makes the certificates in work (a host folder) and serves root from
    // there, on a loopback address of its own unless address names one
    // (korin-update-server also on its second port and plain HTTP port).
    // False with the reason when it does not come up. program is
    // korin-update-server unless another server with its options is named
    // (tools/update_server/nginx_update_host.sh); only that one misbehaves.
    bool start(const std::string& root, const std::string& work, std::string& error,
               const std::string& address = "auto", const std::string& program = "");
    void stop();

    // Makes the server answer path in a misbehaving way ("notfound",
    // "zerobyte", "cutoff", "drop", "stall", "endless").
    void misbehave(const std::string& path, const std::string& mode) const;

    const std::string& address() const { return address_; }
    // The target of every request served so far, in order.
    std::vector<std::string> requestTargets() const;
    // The test authority's certificate (PEM) and its key.
    std::string authorityFile() const { return work_ + "/certs/ca.pem"; }

  private:
    std::string root_;
    std::string work_;
    std::string address_;
    int pid_ = -1;
};

// Runs a shell command line; its exit status.
int runCommand(const std::string& command);

}  // namespace korin::testing
