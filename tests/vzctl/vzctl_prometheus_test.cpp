// Two crates served by two `vzctl serve` processes and scraped by Debian's Prometheus on loopback:
// what Prometheus stores is what vzctl reports, and a crate that falls silent is seen going down and
// coming back. The rules file for alerts passes promtool.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <nlohmann/json.hpp>
#include <optional>

#include "tests/vzctl/serve_crates.h"
#include "tests/vzctl/vzctl_runner.h"

namespace vz::test {
namespace {

constexpr const char* kPrometheus = "/usr/bin/prometheus";
constexpr const char* kPromtool = "/usr/bin/promtool";

// A loopback port nobody listens on right now.
int freePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
    close(fd);
    return ntohs(a.sin_port);
}

std::string hostPort(const std::string& url) {
    return url.substr(url.find("//") + 2);
}

// The instant query's samples: labels and value of each.
nlohmann::json query(int port, const std::string& promql) {
    httplib::Client c("127.0.0.1", port);
    c.set_read_timeout(30, 0);
    const auto r = c.Get("/api/v1/query", httplib::Params{{"query", promql}}, httplib::Headers{});
    if (!r || r->status != 200) return nlohmann::json::array();
    const auto reply = nlohmann::json::parse(r->body, nullptr, false);
    if (!reply.is_object() || reply.value("status", "") != "success") return nlohmann::json::array();
    return reply["data"]["result"];
}

// The value of a query that yields one sample.
std::optional<double> single(int port, const std::string& promql) {
    const nlohmann::json result = query(port, promql);
    if (!result.is_array() || result.size() != 1) return std::nullopt;
    return std::stod(result[0]["value"][1].get<std::string>());
}

TEST(VzctlPrometheusTest, AlertRulesPassPromtool) {
    if (!std::filesystem::exists(kPromtool))
        GTEST_SKIP()
            << "promtool is not installed (Debian package prometheus; scripts/install-deps installs it)";
    const Outcome r{std::system((std::string(kPromtool) + " check rules " VZ_EXAMPLES
                                                          "/vidizozorez-alerts.yml > /dev/null")
                                    .c_str()),
                    ""};
    EXPECT_EQ(r.status, 0);
}

class VzctlPrometheusIntegration : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() / ("vzctl_prometheus_test_" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::filesystem::path dir;
};

TEST_F(VzctlPrometheusIntegration, TwoCratesAreScrapedWithTheValuesVzctlReportsAndASilentOneComesBack) {
    if (!std::filesystem::exists(kPrometheus))
        GTEST_SKIP() << "Prometheus is not installed: " << kPrometheus
                     << " is missing (Debian package prometheus; scripts/install-deps installs it)";
    const std::string steady = writeFile(dir / "steady.json", serveScenario("HALL-STEADY"));
    const std::string flaky = writeFile(dir / "flaky.json", serveScenario("HALL-FLAKY", kFallsSilentLater));
    // What vzctl reports of each crate, each from a crate of its own started from the same scenario.
    nlohmann::json reported[2];
    const std::string files[2] = {steady, flaky};
    const std::string serials[2] = {"HALL-STEADY", "HALL-FLAKY"};
    for (int i = 0; i < 2; ++i) {
        const Outcome status = vzctl("-S -s8 SIM:" + files[i] + " status --json");
        ASSERT_EQ(status.status, 0) << status.out;
        reported[i] = nlohmann::json::parse(status.out)["channels"];
        ASSERT_EQ(reported[i].size(), 2u) << status.out;
    }

    ServedCrate crates[2] = {serveCrate(steady), serveCrate(flaky)};
    for (const ServedCrate& c : crates) ASSERT_FALSE(c.url.empty()) << c.process->output();
    const int port = freePort();
    writeFile(dir / "prometheus.yml",
              "global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
              "scrape_configs:\n  - job_name: vidizozorez\n    static_configs:\n"
              "      - targets: ['" +
                  hostPort(crates[0].url) + "', '" + hostPort(crates[1].url) + "']\n");
    ChildProcess prometheus(std::string(kPrometheus) + " --config.file=" + (dir / "prometheus.yml").string() +
                            " --storage.tsdb.path=" + (dir / "data").string() +
                            " --web.listen-address=127.0.0.1:" + std::to_string(port) + " --log.level=warn");

    // Two scrapes of each crate stored.
    for (const std::string& serial : serials) {
        const std::string scrapes = "count_over_time(vidizozorez_crate_up{crate=\"" + serial + "\"}[10m])";
        EXPECT_TRUE(
            eventually([&] { return single(port, scrapes).value_or(0) >= 2; }, std::chrono::seconds(180)))
            << serial << "\n"
            << prometheus.output();
    }
    // Every channel with the values vzctl reports.
    for (int i = 0; i < 2; ++i) {
        for (const auto& ch : reported[i]) {
            const std::string labels = "{crate=\"" + serials[i] + "\",channel=\"U" +
                                       std::to_string(ch["channel"].get<int>()) + "\",module_serial=\"" +
                                       std::to_string(ch["serial"].get<int>()) + "\"}";
            SCOPED_TRACE(labels);
            EXPECT_EQ(single(port, "vidizozorez_channel_sense_voltage_volts" + labels),
                      ch["usense"].get<double>());
            EXPECT_EQ(single(port, "vidizozorez_channel_current_amperes" + labels),
                      ch["current"].get<double>());
            EXPECT_EQ(single(port, "vidizozorez_channel_module_voltage_volts" + labels),
                      ch["umodule"].get<double>());
            EXPECT_EQ(single(port, "vidizozorez_channel_status_word" + labels), ch["status"].get<double>());
        }
    }
    // The flaky crate is seen down, then up again; the steady one never went down.
    const std::string flakyUp = "vidizozorez_crate_up{crate=\"HALL-FLAKY\"}";
    EXPECT_TRUE(eventually([&] { return single(port, "min_over_time(" + flakyUp + "[10m])") == 0.0; },
                           std::chrono::seconds(180)))
        << crates[1].process->output();
    EXPECT_TRUE(eventually([&] { return single(port, flakyUp) == 1.0; }, std::chrono::seconds(180)))
        << crates[1].process->output();
    EXPECT_EQ(single(port, "min_over_time(vidizozorez_crate_up{crate=\"HALL-STEADY\"}[10m])"), 1.0);
    EXPECT_EQ(single(port, "up{job=\"vidizozorez\"} == 0"), std::nullopt) << "every scrape answered";

    for (ServedCrate& c : crates) EXPECT_EQ(c.process->stop(SIGTERM), 0) << c.process->output();
    EXPECT_EQ(prometheus.stop(SIGTERM), 0) << prometheus.output();
}

}  // namespace
}  // namespace vz::test
