// The PRG_ entry points: the option text, status and busy rules, the interface record, the
// connection sequence through a lent port, and the serial device of its own.
#include "prg/prg_driver.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "prg/vzprg.h"
#include "tests/prg/fake_serial_port.h"
#include "tests/support/coff_writer.h"

using vztest::FakeSerialPort;
using Bytes = std::vector<uint8_t>;

namespace {

std::string messages;
void collect(PRG_HANDLE, int, const char* text) {
    messages += text;
}

class DriverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(PRG_Init(&handle), 0);
        const PrgSerialPort p = fake.port();
        ASSERT_EQ(PRG_SetSerialPort(handle, &p), 0);
        messages.clear();
    }
    void TearDown() override { PRG_SetSerialPort(handle, nullptr); }
    const vzprg::PrgOptions& options() { return vzprg::driverLink().options; }

    PRG_HANDLE handle = nullptr;
    FakeSerialPort fake;
};

TEST_F(DriverTest, OptionTexts) {
    ASSERT_EQ(PRG_SetOptions(
                  handle,
                  "PrgVerifyTimeout=200,PrgVerifyOption1=0x0f0f,PrgVerifyOption2=0x001f,PrgVerifyOption3=0,"
                  "PrgVerifyOption4=0"),
              0);
    EXPECT_EQ(options().prgVerifyTimeout, 200);
    EXPECT_EQ(options().prgVerifyOption1, 0x0F0Fu);
    EXPECT_EQ(options().prgVerifyOption2, 0x001Fu);

    PRG_SetOptions(handle, "PrgSkipBootLoad=YES");
    EXPECT_EQ(options().prgSkipBootLoad, 1);
    PRG_SetOptions(handle, "PrgSkipBootLoad=yes");
    EXPECT_EQ(options().prgSkipBootLoad, 0);

    // Unknown keys and items without '=' are skipped; an empty item ends the list.
    PRG_SetOptions(handle, "Bogus=1,NoEquals,PrgEraseTimeout=40,prgerasetimeout=9,,PrgEraseTimeout=77");
    EXPECT_EQ(options().prgEraseTimeout, 40);
    PRG_SetOptions(handle, "PrgBootLoadFileName=/opt/F2812SerialFlash.out,PrgProgrammingOption2=1A2B3C4D");
    EXPECT_STREQ(options().prgBootLoadFileName.data(), "/opt/F2812SerialFlash.out");
    EXPECT_EQ(options().prgProgrammingOption2, 0x1A2B3C4Du);
    PRG_SetOptions(handle, "PrgBootLoadFileName=");
    EXPECT_STREQ(options().prgBootLoadFileName.data(), "");
    // A name longer than the field is cut, not written past it.
    PRG_SetOptions(handle, ("EmuBoardFileName=" + std::string(600, 'x')).c_str());
    EXPECT_EQ(std::string(options().emuBoardFileName.data()).size(), 260u);
    EXPECT_EQ(PRG_SetOptions(handle, nullptr), -1);
    // Time-outs are bounded: a huge or negative value can neither overflow a wait nor make it endless.
    PRG_SetOptions(handle, "PrgEraseTimeout=100000000,PrgProgrammingTimeout=99999999999,PrgVerifyTimeout=-5");
    EXPECT_EQ(options().prgEraseTimeout, 10000);
    EXPECT_EQ(options().prgProgrammingTimeout, 60000);
    EXPECT_EQ(options().prgVerifyTimeout, 0);

    PRG_HANDLE again = nullptr;
    ASSERT_EQ(PRG_Init(&again), 0);
    EXPECT_EQ(options().prgEraseTimeout, 0);
    EXPECT_EQ(again, handle);
    EXPECT_EQ(PRG_Init(nullptr), -1);
}

TEST_F(DriverTest, StatusRecordAndCallback) {
    EXPECT_EQ(PRG_Status(handle), 0);
    uint16_t words[2];
    EXPECT_EQ(PRG_MemRead(handle, 0x882, 0, 4, words), -1);  // not open
    EXPECT_EQ(PRG_Status(handle), -1);
    EXPECT_TRUE(fake.logged("PRG_MemRead(Addr=0x882, Page=0x0, NumBytes=4): 0xFFFFFFFF"));

    const PrgInterface* record = nullptr;
    EXPECT_EQ(PrgGetInterface(nullptr), -1);
    ASSERT_EQ(PrgGetInterface(&record), 0);
    EXPECT_EQ(record->recordSize, 76u);
    EXPECT_EQ(record->one1 + record->one2 + record->one3 + record->one4, 4u);
    EXPECT_STREQ(record->targetName, "GENERIC");
    EXPECT_EQ(record->zero, 0u);
    EXPECT_EQ(record->sixteen, 16u);
    EXPECT_EQ(record->Init, &PRG_Init);
    EXPECT_EQ(record->Open, &PRG_Open);
    EXPECT_EQ(record->FlashVerify, &PRG_FlashVerify);
    EXPECT_EQ(record->MemRead, &PRG_MemRead);

    ASSERT_EQ(PRG_SetMessageCallBack(handle, collect), 0);
    EXPECT_EQ(messages, "Installed output message callback\n");
}

// The connection sequence against a processor that echoes everything, as the ROM boot loader does:
// autobaud, the download, autobaud again, and the line set up on the way.
TEST_F(DriverTest, OpenDownloadsTheAccessFirmwareOnce) {
    const auto file =
        std::filesystem::temp_directory_path() / ("vz-driver-access-" + std::to_string(getpid()) + ".out");
    vztest::CoffWriterOptions o;
    o.entryPoint = 0x008000;
    ASSERT_TRUE(
        vztest::writeCoffFile(file, o, {{".text", 0x008000, std::vector<uint16_t>(40, 0x1234), 0, 0, true}}));
    PRG_SetMessageCallBack(handle, collect);
    PRG_SetOptions(handle, ("PrgBootLoadFileName=" + file.string()).c_str());
    fake.modemLines = {-1, -1};
    ASSERT_EQ(PRG_Open(handle), 0);
    std::filesystem::remove(file);
    EXPECT_EQ(fake.configured, (std::vector<uint32_t>{115200, 0x0800}));
    EXPECT_EQ(fake.modemLines, (std::vector<int>{0, 1}));
    EXPECT_NE(messages.find("Opened USB connection to boot loader at 115200 baud\r\n"), std::string::npos);
    EXPECT_NE(messages.find("\r\n    Boot code loaded\r\n"), std::string::npos);
    EXPECT_NE(messages.find("Connected at 115200 baud\r\n"), std::string::npos);
    EXPECT_GE(fake.now, 1300u);
    EXPECT_EQ(options().prgSkipBootLoad, 1);

    // Open again: only a ping, which this processor does not answer as the firmware would.
    fake.written.clear();
    fake.mode = FakeSerialPort::Mode::Packets;
    EXPECT_EQ(PRG_Open(handle), -1);
    EXPECT_EQ(fake.packets.size(), 1u);
}

TEST_F(DriverTest, OpenFailsWithoutAnswerOrFile) {
    PRG_SetMessageCallBack(handle, collect);
    fake.mode = FakeSerialPort::Mode::Silent;
    EXPECT_EQ(PRG_Open(handle), -1);
    EXPECT_NE(messages.find("Autobaud failed before loading application\r\n"), std::string::npos);
    fake.mode = FakeSerialPort::Mode::Echo;
    messages.clear();
    PRG_SetOptions(handle, "PrgBootLoadFileName=/nonexistent.out");
    EXPECT_EQ(PRG_Open(handle), -1);
    EXPECT_NE(messages.find("    Failed to load boot code\r\n"), std::string::npos);
    EXPECT_EQ(PRG_Status(handle), -1);
}

// A connected driver whose firmware acknowledges and answers every write with status 0.
class ConnectedDriverTest : public DriverTest {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        fake.mode = FakeSerialPort::Mode::Packets;
        fake.firmware = [](const vztest::HostPacket& p) {
            Bytes reply{0, 0};
            if (p.data[1] == 1) reply.insert(reply.end(), p.data.begin() + 2, p.data.end());  // ping
            return FakeSerialPort::Answer{0x06, reply};
        };
        PRG_SetOptions(handle, "PrgSkipBootLoad=YES");
        ASSERT_EQ(PRG_Open(handle), 0);
    }
};

PRG_HANDLE gHandle;
int busyRead = 0;
int busyVerify = 0;
void reenter(PRG_HANDLE, int, const char* text) {
    if (std::string(text) != ".") return;
    uint16_t w[1];
    busyRead = PRG_MemRead(gHandle, 0, 0, 2, w);
    busyVerify = PRG_FlashVerify(gHandle, 0, 0, 2, w);
}

TEST_F(ConnectedDriverTest, BusyRefusesASecondOperation) {
    gHandle = handle;
    PRG_SetMessageCallBack(handle, reenter);
    const uint16_t data[2] = {1, 2};
    EXPECT_EQ(PRG_FlashWrite(handle, 0x3D8000, 0, 4, data), 0);
    EXPECT_EQ(busyRead, -2);
    EXPECT_EQ(busyVerify, -1);
    EXPECT_EQ(fake.packets.size(), 2u);  // the ping and the one write
    EXPECT_TRUE(fake.logged("PRG_FlashWrite(Addr=0x3D8000, Page=0x0, NumBytes=4): 0x0"));
    EXPECT_EQ(PRG_EraseSectors(handle, 1), 0);
}

void closeOnFirstChunk(PRG_HANDLE h, int, const char* text) {
    if (std::string(text) == ".") PRG_Close(h);
}

TEST_F(ConnectedDriverTest, CloseStopsATransferAtTheNextChunk) {
    PRG_SetMessageCallBack(handle, closeOnFirstChunk);
    std::vector<uint16_t> image(1000, 0x1111);
    EXPECT_EQ(PRG_FlashWrite(handle, 0x3D8000, 0, 2000, image.data()), -1);
    EXPECT_EQ(fake.packets.size(), 2u);
    uint16_t w[2];
    EXPECT_EQ(PRG_MemRead(handle, 0x882, 0, 4, w), -1);  // no longer connected
}

TEST(SerialDevice, OpensAPseudoTerminalWithoutModemLines) {
    PRG_HANDLE handle = nullptr;
    ASSERT_EQ(PRG_Init(&handle), 0);
    PRG_SetMessageCallBack(handle, collect);
    messages.clear();
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string slave = ptsname(master);
    ASSERT_EQ(PRG_OpenSerialDevice(handle, slave.c_str()), 0);
    EXPECT_NE(messages.find("has no modem lines"), std::string::npos);
    // The 'A' of the autobaud reaches the other end; nobody answers it.
    EXPECT_EQ(PRG_Open(handle), -1);
    char got = 0;
    EXPECT_EQ(read(master, &got, 1), 1);
    EXPECT_EQ(got, 'A');
    close(master);

    EXPECT_EQ(PRG_OpenSerialDevice(handle, "/nonexistent/ttyUSB9"), -1);
    EXPECT_NE(messages.find("Unable to open serial device \"/nonexistent/ttyUSB9\""), std::string::npos);
    PRG_SetSerialPort(handle, nullptr);
}

}  // namespace
