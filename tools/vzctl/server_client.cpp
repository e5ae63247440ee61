#include "tools/vzctl/server_client.h"

#include <httplib.h>

#include <nlohmann/json.hpp>
#include <set>

#include "tools/vzctl/command_table.h"
#include "tools/vzctl/serve_command.h"

namespace vz::ctl {
namespace {

int fail(int status, const std::string& why) {
    std::fprintf(stderr, "vzctl: %s\n", why.c_str());
    return status;
}

// One path segment or query value, percent-encoded but for the unreserved characters.
std::string encoded(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

}  // namespace

int serverCommand(const CliArguments& args, std::FILE* out) {
    static const std::set<std::string> served = {"status", "get",   "on",      "off",
                                                 "all",    "group", "inhibit", "set"};
    if (!served.count(args.command))
        return fail(
            2, "--server answers status, get, on, off, all, group, inhibit and set, not " + args.command);
    const auto& w = args.words;
    // The words are checked as on the crate, before anything is sent.
    if (const int status = checkBeforeConnecting(args); status >= 0) return status;
    std::string token;
    if (!args.tokenFile.empty()) {
        std::string error;
        if (!readTokenFile(args.tokenFile, token, error)) return fail(2, error);
    }

    std::string path;
    bool post = false;
    std::string body;
    if (args.command == "status") {
        if (!w.empty()) return fail(2, "status takes no words");
        path = "/api/v1/status" + std::string(args.json ? "" : "?format=text");
    } else if (args.command == "get") {
        path = "/api/v1/channels/" + encoded(w[0]) + "?format=" + (args.json ? "json" : "text");
        if (w.size() == 2) path += "&key=" + encoded(w[1]);
    } else if (args.command == "on" || args.command == "off") {
        path = "/api/v1/channels/" + encoded(w[0]) + "/" + args.command;
        post = true;
    } else if (args.command == "all" || args.command == "inhibit") {
        if (w.size() != 1 || (w[0] != "on" && w[0] != "off")) return fail(2, args.command + " on|off");
        path = "/api/v1/" + args.command + "/" + w[0];
        post = true;
    } else if (args.command == "group") {
        if (w.size() != 2 || (w[0] != "1" && w[0] != "2") || (w[1] != "on" && w[1] != "off"))
            return fail(2, "group 1|2 on|off");
        path = "/api/v1/group/" + w[0] + "/" + w[1];
        post = true;
    } else {  // set
        path = "/api/v1/channels/" + encoded(w[0]) + "/parameters/" + encoded(w[1]);
        body = w[2];
        post = true;
    }

    httplib::Client client(args.server);
    if (!client.is_valid()) return fail(2, "--server " + args.server + " is not an http:// URL");
    client.set_connection_timeout(5, 0);
    client.set_read_timeout(60, 0);  // a set waits for the module's answer and the read-back
    client.set_write_timeout(5, 0);
    httplib::Headers headers;
    if (!token.empty()) headers.emplace("Authorization", "Bearer " + token);
    const httplib::Result res =
        post ? client.Post(path, headers, body, "text/plain") : client.Get(path, headers);
    if (!res)
        return fail(1,
                    "no answer from the service at " + args.server + ": " + httplib::to_string(res.error()));

    const nlohmann::json reply = nlohmann::json::parse(res->body, nullptr, false);
    if (res->status == 200) {
        if (post && reply.is_object() && reply.contains("output") && reply["output"].is_string())
            std::fputs(reply["output"].get<std::string>().c_str(), out);
        else if (!post)
            std::fputs(res->body.c_str(), out);
        return 0;
    }
    std::string error = "the service answered HTTP " + std::to_string(res->status);
    int status = res->status == 400 ? 2 : 1;
    if (reply.is_object() && reply.contains("error") && reply["error"].is_string())
        error = reply["error"].get<std::string>();
    if (reply.is_object() && reply.contains("status") && reply["status"].is_number_integer())
        status = reply["status"].get<int>();
    for (std::size_t at = 0; at <= error.size();) {  // one prefixed line per line, as the command says them
        const std::size_t end = std::min(error.find('\n', at), error.size());
        if (end > at) std::fprintf(stderr, "vzctl: %s\n", error.substr(at, end - at).c_str());
        at = end + 1;
    }
    return status == 0 ? 1 : status;
}

}  // namespace vz::ctl
