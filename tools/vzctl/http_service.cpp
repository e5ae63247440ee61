#include "tools/vzctl/http_service.h"

#include <httplib.h>
#include <malloc.h>
#include <sys/socket.h>

#include <nlohmann/json.hpp>
#include <regex>

#include "base/clock.h"
#include "tools/vzctl/crate_json.h"
#include "tools/vzctl/metrics_exposition.h"

namespace vz::ctl {
namespace {

constexpr auto kCommandWait = std::chrono::seconds(30);

void sendJson(httplib::Response& res, int status, const nlohmann::json& body) {
    res.status = status;
    res.set_content(body.dump(2) + "\n", "application/json");
}

void sendError(httplib::Response& res, int status, const std::string& error) {
    sendJson(res, status, {{"error", error}});
}

// Compares in a time that does not depend on where the texts differ.
bool sameSecret(const std::string& given, const std::string& expected) {
    if (expected.empty()) return false;
    unsigned char difference = given.size() == expected.size() ? 0 : 1;
    for (std::size_t i = 0; i < expected.size(); ++i)
        difference |= static_cast<unsigned char>((i < given.size() ? given[i] : 0) ^ expected[i]);
    return difference == 0;
}

struct Route {
    std::regex pattern;
    const char* method;  // "GET" or "POST"
    bool control;        // changes the crate: needs --allow-control and the token
    // The vzctl command line for a match (empty for the routes answered from the snapshot).
    std::vector<std::string> (*words)(const std::smatch& m, const httplib::Request& req);
};

std::vector<std::string> noWords(const std::smatch&, const httplib::Request&) {
    return {};
}

const std::vector<Route>& routes() {
    static const std::vector<Route> table = {
        {std::regex("/metrics"), "GET", false, noWords},
        {std::regex("/api/v1/status"), "GET", false, noWords},
        {std::regex("/api/v1/channels/([^/]+)"), "GET", false,
         [](const std::smatch& m, const httplib::Request& req) {
             std::vector<std::string> w = {"get", m[1]};
             if (req.has_param("key")) w.push_back(req.get_param_value("key"));
             return w;
         }},
        {std::regex("/api/v1/channels/([^/]+)/(on|off)"), "POST", true,
         [](const std::smatch& m, const httplib::Request&) {
             return std::vector<std::string>{m[2], m[1]};
         }},
        {std::regex("/api/v1/channels/([^/]+)/parameters/([^/]+)"), "POST", true,
         [](const std::smatch& m, const httplib::Request& req) {
             return std::vector<std::string>{"set", m[1], m[2], req.body};
         }},
        {std::regex("/api/v1/all/(on|off)"), "POST", true,
         [](const std::smatch& m, const httplib::Request&) {
             return std::vector<std::string>{"all", m[1]};
         }},
        {std::regex("/api/v1/group/([^/]+)/(on|off)"), "POST", true,
         [](const std::smatch& m, const httplib::Request&) {
             return std::vector<std::string>{"group", m[1], m[2]};
         }},
        {std::regex("/api/v1/inhibit/(on|off)"), "POST", true,
         [](const std::smatch& m, const httplib::Request&) {
             return std::vector<std::string>{"inhibit", m[1]};
         }},
    };
    return table;
}

}  // namespace

HttpService::HttpService(CrateService& crate, HttpServiceOptions options)
    : crate_(crate), options_(std::move(options)), server_(std::make_unique<httplib::Server>()) {}

HttpService::~HttpService() {
    stop();
}

bool HttpService::start(std::string& error) {
    // A scrape of a full crate builds some hundred KB of text on a worker thread. Kept in the heap and
    // reused instead of mapped and unmapped each time, those buffers cost no page faults per scrape;
    // what is kept stays bounded by the trim threshold.
    mallopt(M_MMAP_THRESHOLD, 4 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 16 * 1024 * 1024);
    httplib::Server& s = *server_;
    // Only SO_REUSEADDR (a restart finds its port free at once). httplib's default also sets
    // SO_REUSEPORT, with which a second service on the same port would bind too and the kernel would
    // share the requests between two crates.
    s.set_socket_options([](int sock) {
        const int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // httplib owns the queue it is given and deletes it when it stops.
    s.new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
    s.set_payload_max_length(kMaxRequestBody);
    s.set_read_timeout(kRequestTimeoutSeconds, 0);
    s.set_write_timeout(kRequestTimeoutSeconds, 0);
    s.set_keep_alive_timeout(2);
    s.set_keep_alive_max_count(100);
    s.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty()) return;
        const char* why = res.status == 413   ? "the request body is too large"
                          : res.status == 414 ? "the request line is too long"
                                              : "bad request";
        sendError(res, res.status, why);
    });
    s.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        sendError(res, 500, "internal error");
    });

    const auto dispatch = [this](const httplib::Request& req, httplib::Response& res) {
        const std::string method = req.method == "HEAD" ? "GET" : req.method;
        std::string allowed;
        for (const Route& r : routes()) {
            std::smatch m;
            if (!std::regex_match(req.path, m, r.pattern)) continue;
            if (method != r.method) {
                allowed = r.method;
                continue;
            }
            if (r.control) {
                if (!options_.allowControl)
                    return sendError(res, 403,
                                     "control is off: the service was started without --allow-control");
                if (!sameSecret(req.get_header_value("Authorization"), "Bearer " + options_.token))
                    return sendError(res, 403, "a control request needs the service's bearer token");
            }
            std::vector<std::string> words = r.words(m, req);
            if (words.empty() && req.path == "/metrics") {
                res.body = metricsText(*crate_.snapshot(), clock().nowUs());  // moved, not copied
                res.set_header("Content-Type", kMetricsContentType);
                return;
            }
            const bool text = req.get_param_value("format") == "text";
            if (words.empty() && !text) {
                const auto snapshot = crate_.snapshot();
                return sendJson(res, 200, statusJson(snapshot->channels, snapshot->title));
            }
            if (words.empty()) words = {"status"};
            const std::optional<CommandResult> result = crate_.runCommand(words, !text, kCommandWait);
            if (!result)
                return sendError(res, 503, "the crate's thread did not take the request in time; try again");
            if (result->status != 0) {
                const int code = result->status == 2 ? 400 : crate_.snapshot()->up ? 409 : 503;
                return sendJson(res, code, {{"error", result->error}, {"status", result->status}});
            }
            if (r.control) return sendJson(res, 200, {{"status", 0}, {"output", result->out}});
            res.set_content(result->out, text ? "text/plain; charset=utf-8" : "application/json");
            return;
        }
        if (!allowed.empty()) {
            res.set_header("Allow", allowed);
            return sendError(res, 405, "method " + req.method + " is not allowed here; use " + allowed);
        }
        sendError(res, 404, "no such resource: " + req.path);
    };
    s.Get(".*", dispatch);
    s.Post(".*", dispatch);
    s.Put(".*", dispatch);
    s.Delete(".*", dispatch);
    s.Patch(".*", dispatch);
    s.Options(".*", dispatch);

    if (options_.port == 0) {
        port_ = s.bind_to_any_port(options_.host);
        if (port_ <= 0) {
            error = "cannot listen on " + options_.host + " (any port)";
            return false;
        }
    } else {
        if (!s.bind_to_port(options_.host, options_.port)) {
            error = "cannot listen on " + options_.host + ":" + std::to_string(options_.port) +
                    " (address in use or not available)";
            return false;
        }
        port_ = options_.port;
    }
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    return true;
}

void HttpService::stop() {
    if (!thread_.joinable()) return;
    server_->stop();
    thread_.join();
}

}  // namespace vz::ctl
