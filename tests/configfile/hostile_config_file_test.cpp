// Configuration files come from anyone. Each hostile file must be refused (or its bad values taken as
// absent) quickly, without opening any other file, without a connection, without a burst of memory,
// and without a single parameter write reaching the crate.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "config_crate_fixture.h"
#include "configfile/config_file_commands.h"
#include "sim/controller.h"
#include "temp_folder.h"
#include "tests/support/cpu_seconds.h"

namespace vz::test {
namespace {

// A TCP listener on 127.0.0.1 that never answers. Should anything connect, the connection is noted
// and closed at once, so that a parser waiting for an answer fails instead of hanging the test.
class SilentListener {
  public:
    SilentListener() {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(fd_, 4) != 0 || getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        port_ = ntohs(address.sin_port);
        watcher_ = std::jthread([this](std::stop_token stop) {
            while (!stop.stop_requested()) {
                pollfd p{fd_, POLLIN, 0};
                if (poll(&p, 1, 20) == 1) {
                    const int peer = accept(fd_, nullptr, nullptr);
                    if (peer >= 0) {
                        ++connections_;
                        ::close(peer);
                    }
                }
            }
        });
    }
    ~SilentListener() {
        watcher_ = {};
        if (fd_ >= 0) ::close(fd_);
    }
    int port() const { return port_; }
    int connections() const { return connections_; }

  private:
    int fd_ = -1;
    int port_ = 0;
    std::atomic<int> connections_{0};
    std::jthread watcher_;
};

// Notes every opening of the files it watches.
class OpenWatch {
  public:
    OpenWatch() : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
    ~OpenWatch() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool watch(const std::string& path) {
        return inotify_add_watch(fd_, path.c_str(), IN_OPEN | IN_ACCESS) >= 0;
    }
    int events() const {
        alignas(inotify_event) char buffer[4096];
        int n = 0;
        for (ssize_t got; (got = ::read(fd_, buffer, sizeof buffer)) > 0;)
            for (char* p = buffer; p < buffer + got;
                 p += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(p)->len)
                ++n;
        return n;
    }

  private:
    int fd_;
};

long maxResidentKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::string repeated(const std::string& part, int times) {
    std::string s;
    s.reserve(part.size() * static_cast<std::size_t>(times));
    for (int i = 0; i < times; ++i) s += part;
    return s;
}

std::string utf16le(const std::string& ascii) {
    std::string s = "\xFF\xFE";
    for (char c : ascii) s += {c, '\0'};
    return s;
}

class HostileConfigFileTest : public ConfigCrateFixture {
  protected:
    TempFolder folder;
    SilentListener listener;
};

struct HostileCase {
    const char* name;
    std::string xml;
    bool refused;         // the whole file; otherwise only its bad values are skipped
    const char* logText;  // what the debug log must say
    int logCount;
};

TEST_F(HostileConfigFileTest, EachHostileFileIsRefusedFastAndWritesNothing) {
    connect(R"({"channel": 0, "serialNumber": 100, "firmware": {"name": "DEVIZ 5V20A"},
                "system": {"voltageExponent": -12, "currentExponent": -10, "maxUnom": "6 V", "maxInom": "20 A"},
                "user": {"Unom": "5 V", "Inom": "10 A"}})");
    ASSERT_GT(listener.port(), 0);
    const std::string dtd = folder.file("ext.dtd");
    const std::string secret = folder.file("secret.txt");
    writeText(dtd, "<!ATTLIST User idGroup CDATA \"9\">\n<!ATTLIST User unom CDATA \"2.5\">\n");
    writeText(secret, "idGroup=\"7\"\n");
    const std::string body = "<PsConfig><Output><U0><User/></U0></Output></PsConfig>\n";
    const std::string http = "http://127.0.0.1:" + std::to_string(listener.port()) + "/ext.dtd";
    std::string laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE PsConfig [\n<!ENTITY a \"aaaaaaaaaa\">\n";
    for (char c = 'b', previous = 'a'; c <= 'j'; previous = c++)
        laughs +=
            std::string("<!ENTITY ") + c + " \"" + repeated(std::string("&") + previous + ";", 10) + "\">\n";
    laughs += "]>\n<PsConfig><Output><U0 firmwareVersion=\"&j;\"><User/></U0></Output></PsConfig>\n";
    std::string attributes;
    for (int i = 0; i < 100000; ++i) attributes += "a" + std::to_string(i) + "=\"1\" ";

    const HostileCase cases[] = {
        {"external DTD by file",
         "<?xml version=\"1.0\"?>\n<!DOCTYPE PsConfig SYSTEM \"file://" + dtd + "\">\n" + body, true,
         "Line 2: refused: a document type declaration", 1},
        {"external DTD by http", "<!DOCTYPE PsConfig SYSTEM \"" + http + "\">\n" + body, true,
         "Line 1: refused: a document type declaration", 1},
        {"parameter entity",
         "<!DOCTYPE PsConfig [\n<!ENTITY % ext SYSTEM \"file://" + dtd + "\">\n%ext;\n]>\n" + body, true,
         "refused: a document type declaration", 1},
        {"external entity",
         "<!DOCTYPE PsConfig [<!ENTITY x SYSTEM \"file://" + secret +
             "\">]>\n<PsConfig><Output><U0><User>&x;</User></U0></Output></PsConfig>",
         true, "refused: a document type declaration", 1},
        {"billion laughs", laughs, true, "Line 2: refused: a document type declaration", 1},
        {"declaration in UTF-16",
         utf16le("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<!DOCTYPE PsConfig SYSTEM \"" + http +
                 "\">\n" + body),
         true, "Line 2: refused: a document type declaration", 1},
        {"encoding the check cannot follow", "<?xml version=\"1.0\" encoding=\"IBM037\"?>\n" + body, true,
         "refused: the encoding \"IBM037\"", 1},
        {"deep nesting", "<PsConfig>" + repeated("<a>", 200000) + repeated("</a>", 200000) + "</PsConfig>",
         true, "Line 1: refused: elements nested more than 32 levels deep", 1},
        {"masses of elements", "<PsConfig>" + repeated("<a/>", 500000) + "</PsConfig>", true,
         "refused: more than 20000 elements", 1},
        {"masses of attributes", "<PsConfig><Output><U0><User " + attributes + "/></U0></Output></PsConfig>",
         true, "refused: an element with more than 64 attributes", 1},
        {"larger than a configuration file", "<PsConfig><!--" + std::string(5u << 20, 'x') + "--></PsConfig>",
         true, "refused: larger than", 1},
        {"control character in a name",
         "<PsConfig><Output><U0 firmwareVersion=\"A&#1;B\"><User idGroup=\"4\"/></U0></Output></PsConfig>",
         true, "Line 1 Column", 1},
        {"NaN and infinities",
         "<PsConfig><Output><U0><Configuration maxUSense=\"1e999\"/><User unom=\"nan\" maxUSense=\"NaN\" "
         "minUSense=\"-nan\" maxCurrent=\"nan(0x1)\" inom=\"inf\" "
         "maxUModule=\"-Infinity\"/></U0></Output></PsConfig>",
         false, "bad double value", 7},
    };
    for (const HostileCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = folder.file("hostile.pscfg");
        writeText(path, c.xml);
        OpenWatch opened;
        ASSERT_TRUE(opened.watch(dtd) && opened.watch(secret));
        const uint32_t writesBefore = crate->controller(0).parameterWrites();
        const long memoryBefore = maxResidentKb();
        log.clear();
        seam.boxes.clear();

        ConfigReadOptions options;
        options.outputUser = options.outputConfig = true;
        options.targets = {0};
        ConfigApplyReport report;
        const double start = threadCpuSeconds();
        const bool applied = applyConfigurationFile(path, options, &report);
        const double seconds = threadCpuSeconds() - start;

        EXPECT_EQ(applied, !c.refused);
        EXPECT_EQ(seam.boxes.size(), c.refused ? 1u : 0u);
        EXPECT_EQ(logged(c.refused ? 'E' : 'W', c.logText), c.logCount);
        EXPECT_EQ(crate->controller(0).parameterWrites(), writesBefore);
        EXPECT_EQ(opened.events(), 0) << "a file beyond the configuration file was opened";
        EXPECT_EQ(listener.connections(), 0);
        EXPECT_LT(seconds, 10.0);  // CPU time: a guard that failed would run away or exhaust memory
        EXPECT_LT(maxResidentKb() - memoryBefore, 64 * 1024) << "kilobytes";
    }
}

}  // namespace
}  // namespace vz::test
