#include "trace/trace_buffer.h"

#include <cstdio>

#include "channel/raw_scaling.h"

namespace vz {
namespace {

uint16_t u16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t u32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Modes 1 and 2: three series of 100 int16 from byte 16; mode 3: four series of 50 32-bit words from byte 4.
constexpr int kWordSeriesOffset = 16, kWordSeriesStride = 200;
constexpr int kSyncSeriesOffset = 4, kSyncSeriesStride = 200;

}  // namespace

TraceHeader traceHeader(const uint8_t* bytes) {
    return {bytes[0], bytes[1], u16(bytes + 2)};
}

std::array<uint8_t, kTraceHeaderSize> traceStartHeader(int mode) {
    return {static_cast<uint8_t>(mode), 0, 0, 0};
}

bool validTraceMode(int mode) {
    return mode >= 1 && mode <= 3;
}

int traceSamples(int mode) {
    if (mode == 1 || mode == 2) return 100;
    return mode == 3 ? 50 : 0;
}

std::string traceTitle(int mode) {
    char text[96];
    if (mode == 3)
        std::snprintf(text, sizeof text, "DEVIZ Trace Sync (%d Values)", traceSamples(3));
    else
        std::snprintf(text, sizeof text, "DEVIZ Trace (%d Values, %5.2f ms)", traceSamples(mode),
                      mode == 2 ? 5.13 : 82.08);
    return text;
}

Graph makeTraceGraph(int mode) {
    Graph graph;
    if (mode == 3) {
        graph = makeGraph(
            traceTitle(3), 50,
            {"T1 Zeit (XAV)", "Z1 Zeit (QNL, korrigiert)", "Korrekturwert von Z1", "phaseDifference"});
        graph.secondsPerPoint = 0.001;  // one sample a sync period
        for (Curve& c : graph.curves) c.unit = "raw";
    } else if (mode == 2) {
        graph = makeGraph(traceTitle(2), 100, {"uSense (HWI)", "uModule (HWI)", "iModule (HWI)", nullptr});
        graph.secondsPerPoint = 5.13e-3 / 100;
        // Shown as recorded: converter counts, not volts.
        for (int row = 0; row < 3; ++row) graph.curves[static_cast<std::size_t>(row)].unit = "raw";
    } else {
        graph = makeGraph(traceTitle(1), 100, {"uSense (SWI)", "uModule (SWI)", "iModule (SWI)", nullptr});
        graph.secondsPerPoint = 82.08e-3 / 100;
        graph.curves[0].unit = graph.curves[1].unit = "V";
        graph.curves[2].unit = "A";
    }
    return graph;
}

void fillTraceGraph(Graph& graph, const TraceBuffer& buffer, int voltageExponent, int currentExponent) {
    const int mode = buffer[0];
    if (mode == 1 || mode == 2) {
        for (int row = 0; row < 3; ++row) {
            Curve& c = graph.curves[static_cast<std::size_t>(row)];
            const int exponent = row == 2 ? currentExponent : voltageExponent;
            for (uint32_t i = 0; i < 100 && i < c.count(); ++i) {
                const auto raw =
                    static_cast<int16_t>(u16(&buffer[kWordSeriesOffset + kWordSeriesStride * row + 2 * i]));
                setValue(c, i, mode == 1 ? physicalFromRaw(raw, exponent) : raw);
            }
        }
    } else if (mode == 3) {
        for (int row = 0; row < 4; ++row) {
            Curve& c = graph.curves[static_cast<std::size_t>(row)];
            for (uint32_t i = 0; i < 50 && i < c.count(); ++i) {
                const uint32_t word = u32(&buffer[kSyncSeriesOffset + kSyncSeriesStride * row + 4 * i]);
                // Rows 0 and 1 are unsigned times, rows 2 and 3 signed corrections.
                setValue(
                    c, i,
                    row < 2 ? static_cast<double>(word) : static_cast<double>(static_cast<int32_t>(word)));
            }
        }
    }
    for (Curve& c : graph.curves) updateCurve(c);
}

}  // namespace vz
