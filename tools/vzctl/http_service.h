#pragma once
// The HTTP face of `vzctl serve` (cpp-httplib): /metrics for Prometheus, /api/v1/... with the JSON
// of the vzctl commands, and control requests when they were allowed. Every request has a bounded
// cost: limited body, read and write time-outs, a fixed pool of worker threads; handlers read the
// crate's latest snapshot or hand a command to the crate's thread, they never touch the link.
#include <memory>
#include <string>
#include <thread>

#include "tools/vzctl/crate_service.h"

namespace httplib {
class Server;
}

namespace vz::ctl {

struct HttpServiceOptions {
    std::string host = "127.0.0.1";
    int port = 9610;  // 0: any free port (see HttpService::port())
    bool allowControl = false;
    std::string token;  // the bearer token control requests must carry
};

// Limits of one request.
inline constexpr std::size_t kMaxRequestBody = 4096;
inline constexpr int kRequestTimeoutSeconds = 5;
inline constexpr int kWorkerThreads = 8;

class HttpService {
  public:
    HttpService(CrateService& crate, HttpServiceOptions options);
    ~HttpService();
    HttpService(const HttpService&) = delete;
    HttpService& operator=(const HttpService&) = delete;

    // Binds and starts serving on a thread of its own; false with the reason otherwise.
    bool start(std::string& error);
    int port() const { return port_; }
    // Stops accepting, lets running requests end, joins the threads.
    void stop();

  private:
    CrateService& crate_;
    HttpServiceOptions options_;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
};

}  // namespace vz::ctl
