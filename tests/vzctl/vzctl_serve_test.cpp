// vzctl serve as Prometheus and scripts meet it: the exposition and the JSON of the commands, control
// only with the flag and the token, bad and slow requests with a bounded cost, a crate that falls
// silent and comes back, SIGTERM.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>
#include <optional>

#include "tests/vzctl/serve_crates.h"
#include "tests/vzctl/vzctl_runner.h"

namespace vz::test {
namespace {

class VzctlServeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() / ("vzctl_serve_test_" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string scenario(const std::string& serial, const std::string& faults = "") {
        return writeFile(dir / (serial + ".json"), serveScenario(serial, faults));
    }
    std::string tokenFile(const std::string& token, mode_t mode) {
        const std::string path = writeFile(dir / ("token-" + std::to_string(++tokens)), token + "\n");
        chmod(path.c_str(), mode);
        return path;
    }
    std::filesystem::path dir;
    int tokens = 0;
};

httplib::Result get(const std::string& url, const std::string& path) {
    httplib::Client c(url);
    c.set_read_timeout(60, 0);
    return c.Get(path);
}

httplib::Result post(const std::string& url, const std::string& path, const std::string& authorization = "",
                     const std::string& body = "") {
    httplib::Client c(url);
    c.set_read_timeout(60, 0);
    httplib::Headers headers;
    if (!authorization.empty()) headers.emplace("Authorization", authorization);
    return c.Post(path, headers, body, "text/plain");
}

// The value of the one sample `series` (name and labels as exposed) in an exposition.
std::optional<double> sample(const std::string& text, const std::string& series) {
    const std::size_t at = text.find("\n" + series + " ");
    if (at == std::string::npos) return std::nullopt;
    return std::stod(text.substr(at + series.size() + 2));
}

std::optional<double> scraped(const std::string& url, const std::string& series) {
    const auto r = get(url, "/metrics");
    if (!r || r->status != 200) return std::nullopt;
    return sample(r->body, series);
}

std::string channel(const std::string& crate, int u, int serial) {
    return "{crate=\"" + crate + "\",channel=\"U" + std::to_string(u) + "\",module_serial=\"" +
           std::to_string(serial) + "\"}";
}

TEST_F(VzctlServeTest, MetricsAndTheJsonShowTheCrateAsTheCommandsDo) {
    const std::string file = scenario("HALL-A");
    // What the commands print on a crate of their own, started from the same scenario.
    const Outcome status = vzctl("-S -s8 SIM:" + file + " status --json");
    const Outcome list = vzctl("-S -s8 SIM:" + file + " status");
    const Outcome get0 = vzctl("-S -s8 SIM:" + file + " get 0 --json");
    ASSERT_EQ(status.status, 0) << status.out;
    ServedCrate crate = serveCrate(file);
    ASSERT_FALSE(crate.url.empty()) << crate.process->output();

    const auto metrics = get(crate.url, "/metrics");
    ASSERT_TRUE(metrics);
    EXPECT_EQ(metrics->status, 200);
    EXPECT_NE(metrics->get_header_value("Content-Type").find("version=0.0.4"), std::string::npos);
    const std::string& m = metrics->body;
    EXPECT_EQ(sample(m, "vidizozorez_crate_up{crate=\"HALL-A\"}"), 1.0) << m;
    // The scenario's outputs: 5 V into 2.5 Ω and 24 V into 48 Ω, settled; limits as configured.
    const struct {
        const char* family;
        int channel;
        int serial;
        double value;
    } expected[] = {
        {"vidizozorez_channel_sense_voltage_volts", 0, 3001, 5.0},
        {"vidizozorez_channel_current_amperes", 0, 3001, 5.0 / 2.5},
        {"vidizozorez_channel_set_voltage_volts", 0, 3001, 5.0},
        {"vidizozorez_channel_current_limit_amperes", 0, 3001, 15.0},
        {"vidizozorez_channel_on", 0, 3001, 1},
        {"vidizozorez_channel_tripped", 0, 3001, 0},
        {"vidizozorez_channel_sense_voltage_volts", 3, 3004, 24.0},
        {"vidizozorez_channel_current_amperes", 3, 3004, 24.0 / 48},
        {"vidizozorez_channel_on", 3, 3004, 1},
    };
    for (const auto& e : expected) {
        const auto v = sample(m, e.family + channel("HALL-A", e.channel, e.serial));
        ASSERT_TRUE(v) << e.family << " U" << e.channel << "\n" << m;
        EXPECT_NEAR(*v, e.value, 1e-3) << e.family << " U" << e.channel;
    }
    EXPECT_EQ(m.find("channel=\"U1\""), std::string::npos) << "an absent channel has no series";

    if (!std::filesystem::exists("/usr/bin/promtool")) {
        GTEST_SKIP()
            << "promtool is not installed (Debian package prometheus; scripts/install-deps installs it)";
    }
    const std::string scrape = writeFile(dir / "scrape.txt", m);
    const Outcome lint{[&] {
                           const int raw = std::system(("promtool check metrics < " + scrape + " > " +
                                                        (dir / "lint.txt").string() + " 2>&1")
                                                           .c_str());
                           return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
                       }(),
                       [&] {
                           std::ifstream in(dir / "lint.txt");
                           return std::string(std::istreambuf_iterator<char>(in), {});
                       }()};
    EXPECT_EQ(lint.status, 0) << lint.out;
    EXPECT_EQ(lint.out, "") << "promtool's lint has remarks";

    // One JSON shape: the service answers with what the commands print.
    const auto served = get(crate.url, "/api/v1/status");
    ASSERT_TRUE(served);
    EXPECT_EQ(nlohmann::json::parse(served->body), nlohmann::json::parse(status.out));
    const auto servedList = get(crate.url, "/api/v1/status?format=text");
    ASSERT_TRUE(servedList);
    EXPECT_EQ(servedList->body, list.out);
    const auto servedGet = get(crate.url, "/api/v1/channels/0");
    ASSERT_TRUE(servedGet);
    EXPECT_EQ(nlohmann::json::parse(servedGet->body), nlohmann::json::parse(get0.out));
    // And so do the commands that ask the service.
    const Outcome viaServer = vzctl("--server " + crate.url + " status --json");
    EXPECT_EQ(viaServer.status, 0) << viaServer.out;
    EXPECT_EQ(nlohmann::json::parse(viaServer.out), nlohmann::json::parse(status.out));
    const Outcome key = vzctl("--server " + crate.url + " get 3 Unom");
    EXPECT_EQ(key.status, 0) << key.out;
    EXPECT_EQ(key.out, "user.Unom 24 V\n");

    EXPECT_EQ(crate.process->stop(SIGTERM), 0) << crate.process->output();
    EXPECT_NE(crate.process->output().find("vzctl serve: stopped"), std::string::npos);
}

TEST_F(VzctlServeTest, ControlNeedsTheFlagAndTheTokenAndKeepsTheCommandsRefusals) {
    const std::string file =
        scenario("HALL-C", R"({"kind": "refuse", "channel": 0, "field": "user.Unom", "code": 5})");
    const std::string token = "s3cret-token-of-the-hall-c";
    const std::string bearer = "Bearer " + token;
    {
        ServedCrate readOnly = serveCrate(file);
        ASSERT_FALSE(readOnly.url.empty()) << readOnly.process->output();
        const auto r = post(readOnly.url, "/api/v1/channels/3/off", bearer);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 403);
        EXPECT_NE(r->body.find("--allow-control"), std::string::npos) << r->body;
    }
    const std::string tokenPath = tokenFile(token, 0600);
    ServedCrate crate = serveCrate(file, "--allow-control --token-file " + tokenPath);
    ASSERT_FALSE(crate.url.empty()) << crate.process->output();
    for (const std::string& authorization : {std::string(), std::string("Bearer wrong-token-of-the-hall"),
                                             "Bearer " + token + "x", "Basic " + token, token}) {
        SCOPED_TRACE(authorization);
        const auto r = post(crate.url, "/api/v1/channels/3/off", authorization);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 403);
    }
    const std::string u3 = channel("HALL-C", 3, 3004);
    EXPECT_EQ(scraped(crate.url, "vidizozorez_channel_on" + u3), 1.0) << "refused requests switched nothing";

    // The commands' checks and refusals, as HTTP status and the command's own words.
    const struct {
        const char* path;
        const char* body;
        int status;
        const char* says;
    } refusals[] = {
        {"/api/v1/channels/200/off", "", 400, "needs a channel number 0..126"},
        {"/api/v1/channels/5/on", "", 409, "channel U5 is not present"},
        {"/api/v1/channels/0/parameters/user.Nonsense", "1", 400, "no parameter \"user.Nonsense\""},
        {"/api/v1/channels/0/parameters/Unom", "5 A", 400, "user.Unom is in V"},
        {"/api/v1/channels/0/parameters/Unom", "4.5 V", 409, "U0 user.Unom was not accepted by the module"},
        {"/api/v1/group/3/on", "", 400, "group 1|2 on|off"},
    };
    for (const auto& c : refusals) {
        SCOPED_TRACE(c.path);
        const auto r = post(crate.url, c.path, bearer, c.body);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, c.status) << r->body;
        const auto reply = nlohmann::json::parse(r->body, nullptr, false);
        ASSERT_TRUE(reply.is_object()) << r->body;
        EXPECT_NE(reply.value("error", "").find(c.says), std::string::npos) << r->body;
    }

    // Accepted: the module holds the new set point, and the output goes off.
    const auto set = post(crate.url, "/api/v1/channels/3/parameters/Unom", bearer, "12 V");
    ASSERT_TRUE(set);
    EXPECT_EQ(set->status, 200) << set->body;
    const auto unom = get(crate.url, "/api/v1/channels/3?key=Unom&format=text");
    ASSERT_TRUE(unom);
    EXPECT_EQ(unom->body, "user.Unom 12 V\n");
    const auto off = post(crate.url, "/api/v1/channels/3/off", bearer);
    ASSERT_TRUE(off);
    EXPECT_EQ(off->status, 200) << off->body;
    EXPECT_TRUE(eventually([&] { return scraped(crate.url, "vidizozorez_channel_on" + u3) == 0.0; }));

    // vzctl --server sends the token of --token-file, and checks its words before it sends anything.
    const Outcome on = vzctl("--server " + crate.url + " --token-file " + tokenPath + " on 3");
    EXPECT_EQ(on.status, 0) << on.out;
    EXPECT_TRUE(eventually([&] { return scraped(crate.url, "vidizozorez_channel_on" + u3) == 1.0; }));
    const Outcome noToken = vzctl("--server " + crate.url + " off 3");
    EXPECT_EQ(noToken.status, 1) << noToken.out;
    EXPECT_NE(noToken.out.find("bearer token"), std::string::npos) << noToken.out;
    const Outcome refused = vzctl("--server " + crate.url + " --token-file " + tokenPath + " set 0 Unom 4.5");
    EXPECT_EQ(refused.status, 1) << refused.out;
    EXPECT_NE(refused.out.find("vzctl: U0 user.Unom was not accepted by the module"), std::string::npos)
        << refused.out;
    const Outcome badWords = vzctl("--server http://127.0.0.1:1 on 200");
    EXPECT_EQ(badWords.status, 2) << badWords.out;
    const Outcome noService = vzctl("--server http://127.0.0.1:1 status");
    EXPECT_EQ(noService.status, 1) << noService.out;
    EXPECT_NE(noService.out.find("no answer from the service"), std::string::npos) << noService.out;
}

TEST_F(VzctlServeTest, ControlWithoutAPrivateTokenFileDoesNotStart) {
    const std::string file = scenario("HALL-D");
    const struct {
        const char* name;
        std::string words;
        const char* says;
    } cases[] = {
        {"readable by others", "--allow-control --token-file " + tokenFile("a-token-of-twenty-chars", 0644),
         "chmod 600"},
        {"no token file", "--allow-control", "--allow-control needs --token-file"},
        {"token without control", "--token-file " + tokenFile("a-token-of-twenty-chars", 0600),
         "--token-file is for --allow-control"},
        {"too short a token", "--allow-control --token-file " + tokenFile("short", 0600), "holds no token"},
        {"bad address", "--listen localhost", "give ADDR:PORT"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome r = vzctl("-S -s8 SIM:" + file + " serve " + c.words);
        EXPECT_EQ(r.status, 2) << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
    }
}

// A connection that sent half a request and then nothing.
class StalledClient {
  public:
    explicit StalledClient(const std::string& url) {
        const int port = std::stoi(url.substr(url.rfind(':') + 1));
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        const char half[] = "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n";
        if (connected_) connected_ = send(fd_, half, sizeof half - 1, MSG_NOSIGNAL) > 0;
    }
    ~StalledClient() { close(fd_); }
    bool connected() const { return connected_; }
    // True once the service closed the connection (or answered it and closed it).
    bool closedByService() {
        timeval t{60, 0};  // a bound only a service that never times out reaches
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
        char buffer[512];
        for (;;) {
            const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
            if (n == 0) return true;
            if (n < 0) return false;
        }
    }

  private:
    int fd_ = -1;
    bool connected_ = false;
};

TEST_F(VzctlServeTest, BadRequestsGetFourHundredsAndSlowClientsStopNothing) {
    ServedCrate crate = serveCrate(
        scenario("HALL-E"), "--allow-control --token-file " + tokenFile("a-token-of-twenty-chars", 0600));
    ASSERT_FALSE(crate.url.empty()) << crate.process->output();
    std::vector<std::unique_ptr<StalledClient>> stalled;
    for (int i = 0; i < 3; ++i) {
        stalled.push_back(std::make_unique<StalledClient>(crate.url));
        ASSERT_TRUE(stalled.back()->connected());
    }
    const auto ticks = [&] {
        return scraped(crate.url, "vidizozorez_polling_ticks_total{crate=\"HALL-E\"}");
    };
    const std::optional<double> before = ticks();
    ASSERT_TRUE(before);
    EXPECT_TRUE(eventually([&] { return ticks().value_or(0) >= *before + 10; })) << "polling went on";

    httplib::Client c(crate.url);
    c.set_read_timeout(60, 0);
    const auto unknown = c.Get("/api/v2/status");
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->status, 404);
    const auto wrongMethod = c.Post("/metrics", "", "text/plain");
    ASSERT_TRUE(wrongMethod);
    EXPECT_EQ(wrongMethod->status, 405);
    EXPECT_EQ(wrongMethod->get_header_value("Allow"), "GET");
    const auto getControl = c.Get("/api/v1/all/off");
    ASSERT_TRUE(getControl);
    EXPECT_EQ(getControl->status, 405);
    const auto deleted = c.Delete("/api/v1/status");
    ASSERT_TRUE(deleted);
    EXPECT_EQ(deleted->status, 405);
    const auto oversized =
        c.Post("/api/v1/channels/0/parameters/Unom", std::string(64 * 1024, '5'), "text/plain");
    ASSERT_TRUE(oversized);
    EXPECT_EQ(oversized->status, 413);
    httplib::Client longHeader(crate.url);
    const auto hugeHeader = longHeader.Get("/metrics", {{"X-Padding", std::string(16 * 1024, 'x')}});
    EXPECT_TRUE(!hugeHeader || (hugeHeader->status >= 400 && hugeHeader->status < 500));

    // A second service on the same address cannot listen: exit 1, said.
    const Outcome taken = vzctl("-S -s8 SIM:" + scenario("HALL-G") + " serve --listen " +
                                crate.url.substr(crate.url.find("//") + 2));
    EXPECT_EQ(taken.status, 1) << taken.out;
    EXPECT_NE(taken.out.find("cannot listen on 127.0.0.1:"), std::string::npos) << taken.out;

    // The stalled connections are let go after the request time-out, not held for ever.
    for (auto& s : stalled) EXPECT_TRUE(s->closedByService());
    EXPECT_EQ(scraped(crate.url, "vidizozorez_crate_up{crate=\"HALL-E\"}"), 1.0);
}

TEST_F(VzctlServeTest, ACrateThatFallsSilentIsReportedDownAndComesBack) {
    ServedCrate crate = serveCrate(scenario("HALL-F", kFallsSilentForAWhile));
    ASSERT_FALSE(crate.url.empty()) << crate.process->output();
    const std::string up = "vidizozorez_crate_up{crate=\"HALL-F\"}";
    EXPECT_TRUE(eventually([&] { return scraped(crate.url, up) == 0.0; })) << crate.process->output();
    EXPECT_TRUE(eventually([&] { return scraped(crate.url, up) == 1.0; })) << crate.process->output();
    EXPECT_GE(scraped(crate.url, "vidizozorez_link_given_up_total{crate=\"HALL-F\"}").value_or(0), 1);
    EXPECT_GE(scraped(crate.url, "vidizozorez_link_reconnect_attempts_total{crate=\"HALL-F\"}").value_or(0),
              1);
    EXPECT_GE(
        scraped(crate.url, "vidizozorez_link_retries_total{crate=\"HALL-F\",direction=\"read\"}").value_or(0),
        5);
    // Measurements flow again after the outage.
    const std::string age = "vidizozorez_channel_last_read_age_seconds" + channel("HALL-F", 0, 3001);
    EXPECT_TRUE(eventually([&] { return scraped(crate.url, age).value_or(1e9) < 5; }));
    EXPECT_EQ(crate.process->stop(SIGTERM), 0) << crate.process->output();
}

}  // namespace
}  // namespace vz::test
