// vzctl serve's threads: the crate's thread polls and runs the commands requests hand it while the
// HTTP workers answer from its snapshots; ./test runs this under ThreadSanitizer too.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "app/core/connection.h"
#include "app/core/crate_session.h"
#include "base/clock.h"
#include "base/operator_seam.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "link/usb_link.h"
#include "sim/virtual_crate.h"
#include "tools/vzctl/crate_service.h"
#include "tools/vzctl/http_service.h"
#include "virtual_bridge/virtual_bridge_driver.h"

namespace vz {
namespace {

class ServeThreads : public ::testing::Test {
  protected:
    void SetUp() override {
        setClock(&clock_);
        resetProcessState();
    }
    void TearDown() override {
        usbClose();
        setBridge(nullptr);
        resetProcessState();
        setClock(nullptr);
    }
    VirtualClock clock_;
    std::unique_ptr<VirtualBridgeDriver> driver_;
};

TEST_F(ServeThreads, RequestsFromSeveralClientsWhileTheCrateIsPolled) {
    std::string modules;
    for (int i = 0; i < 4; ++i)
        modules += std::string(i ? "," : "") + R"({"channel": )" + std::to_string(i) +
                   R"(, "serialNumber": )" + std::to_string(1000 + i) +
                   R"(, "firmware": {"name": "DEVIZ 5V"}, "user": {"Unom": "5 V"}})";
    std::string error;
    // Lost answers on the line once the crate is found: exchanges retry on the crate's thread while
    // requests wait.
    auto crate = vsim::VirtualCrate::fromJsonText(
        R"({"seed": 7, "bridges": [{"serial": "T1", "vid": "1A2B", "pid": "0012"}],
            "controller": {"type": 18, "lineRate": false, "canTimeoutMs": 1},
            "modules": [)" +
            modules + R"(], "faults": [{"kind": "noReply", "after": 400, "everyNth": 11}]})",
        error);
    ASSERT_TRUE(crate) << error;
    driver_ = std::make_unique<VirtualBridgeDriver>(std::move(crate));
    setBridge(driver_.get());
    crateSettings().fCmdLine |= kSkipSlip;
    crateSettings().searchLimit = 4;
    ASSERT_TRUE(connectController(crateSettings().fCmdLine));
    ASSERT_EQ(channelState().channelTable.foundCount, 4u);

    const std::string token = "a-token-of-the-thread-test";
    ctl::CrateService service;
    ctl::HttpService http(service, {"127.0.0.1", 0, true, token});
    ASSERT_TRUE(http.start(error)) << error;
    std::atomic<bool> stop{false};
    std::thread crateThread([&] { service.run(stop); });

    std::atomic<int> answered{0}, wrong{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < 4; ++c) {
        clients.emplace_back([&, c] {
            httplib::Client client("127.0.0.1", http.port());
            client.set_read_timeout(120, 0);
            const httplib::Headers bearer = {{"Authorization", "Bearer " + token}};
            for (int i = 0; i < 12; ++i) {
                const std::string ch = std::to_string((c + i) % 4);
                const auto request = [&]() -> httplib::Result {
                    switch (i % 4) {
                        case 0:
                            return client.Get("/metrics");
                        case 1:
                            return client.Get("/api/v1/status");
                        case 2:
                            return client.Get("/api/v1/channels/" + ch + "?key=Unom&format=text");
                        default:
                            return client.Post("/api/v1/channels/" + ch + (i % 8 == 3 ? "/on" : "/off"),
                                               bearer, "", "text/plain");
                    }
                };
                const httplib::Result r = request();
                if (r && r->status == 200) {
                    ++answered;
                } else {
                    ++wrong;
                    ADD_FAILURE() << "request " << i << ": " << (r ? r->status : -1) << " "
                                  << (r ? r->body : "");
                }
            }
        });
    }
    for (auto& t : clients) t.join();
    // The polling goes on and meets the lost answers, if the requests did not already.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    const auto retried = [&] {
        const ctl::LinkCounters counters = service.snapshot()->counters;
        return counters.readRetries + counters.writeRetries > 0;
    };
    while (!retried() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const uint64_t ticks = service.snapshot()->ticks;
    stop = true;
    crateThread.join();
    http.stop();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(answered, 48);
    EXPECT_GT(ticks, 0u);
    EXPECT_TRUE(retried()) << "the line lost answers";
    EXPECT_TRUE(service.snapshot()->up);
}

}  // namespace
}  // namespace vz
