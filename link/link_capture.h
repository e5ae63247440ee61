#pragma once
// Capture of every link exchange into a pcapng file for Wireshark and tshark, so operators can
// attach what went over the wire to a bug report. One section with two interfaces: 0 carries the
// SNMP traffic as raw IPv4 packets (LINKTYPE_RAW), 1 the direct module access frames
// (LINKTYPE_USER0), 2 the serial bytes of the controller processor's boot loader link (LINKTYPE_USER1),
// 3 the RTS and DTR changes that reset the processor (LINKTYPE_USER2). Every packet carries its direction and
// a wall-clock time stamp in microseconds.
#include <cstddef>
#include <cstdint>
#include <string>

namespace vz {

enum class CaptureDirection { Inbound, Outbound };

constexpr const char* kCaptureEnvironmentVariable = "VZ_PCAP";

// Starts writing to the file (replacing it); false with a reason when it cannot be created.
bool startLinkCapture(const std::string& path, std::string& error);
// With VZ_PCAP=<file> in the environment, starts the capture; a file that cannot be written is
// reported on standard error and in the debug log, and the program runs on without a capture.
void startLinkCaptureFromEnvironment();
void stopLinkCapture();
bool linkCaptureActive();

// An IPv4 packet as sent or as received after SLIP decoding.
void captureIpPacket(const uint8_t* packet, size_t length, CaptureDirection direction);
// A direct module access frame (request or reply bytes, check byte included).
void captureModuleFrame(const uint8_t* frame, size_t length, CaptureDirection direction);
// Bytes written to or read from the processor's boot loader or access firmware.
void captureBootSerial(const uint8_t* bytes, size_t length, CaptureDirection direction);
// The modem lines as the program sets them.
void captureModemLines(bool rtsActive, bool dtrActive);

}  // namespace vz
