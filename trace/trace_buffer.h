#pragma once
// The module's trace buffer at 0xF000: a header (mode, status, sample count) and 800 bytes of
// samples laid out by mode, and the graph each mode is shown in.
#include <array>
#include <cstdint>
#include <string>

#include "trace/graph_curve.h"

namespace vz {

constexpr uint32_t kTraceBufferAddress = 0xF000;
constexpr int kTraceHeaderSize = 4;
constexpr int kTraceBufferSize = 804;
constexpr uint16_t kTraceReadOut = 0xFFFF;  // count once the host has read the recording
constexpr int kDefaultTraceMode = 3;        // "Sync"

using TraceBuffer = std::array<uint8_t, kTraceBufferSize>;

struct TraceHeader {
    uint8_t mode = 0;  // 0 idle, 1, 2 or 3
    uint8_t status = 0;
    uint16_t count = 0;
};
TraceHeader traceHeader(const uint8_t* bytes);
std::array<uint8_t, kTraceHeaderSize> traceStartHeader(int mode);

bool validTraceMode(int mode);
// Samples a recording of this mode holds: 100 for modes 1 and 2, 50 for mode 3, 0 for others.
int traceSamples(int mode);
// "DEVIZ Trace (100 Values, 82.08 ms)", "... 5.13 ms)" or "DEVIZ Trace Sync (50 Values)".
std::string traceTitle(int mode);
// A graph laid out for the mode: its title, points and curve names.
Graph makeTraceGraph(int mode);

// Converts the samples by the buffer's own mode byte into the graph with setValue (never more than
// a curve holds), then recomputes all four curves. Mode 1 is scaled with the channel's exponents,
// mode 2 and mode 3 are shown as recorded.
void fillTraceGraph(Graph& graph, const TraceBuffer& buffer, int voltageExponent, int currentExponent);

}  // namespace vz
