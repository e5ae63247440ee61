#include "trace/scope_sampling.h"

#include <cstdio>

#include "channel/channel_table.h"
#include "channel/raw_scaling.h"

namespace vz {

std::string scopeTitle() {
    char text[96];
    std::snprintf(text, sizeof text, "QOR Signals, %d Points, total time %f s",
                  static_cast<int>(kScopePoints), kScopePoints * 0.1);
    return text;
}

Graph makeScopeGraph() {
    Graph graph = makeGraph(scopeTitle(), kScopePoints);
    // One point a polling tick (100 ms), the newest on the left.
    graph.secondsPerPoint = 0.1;
    graph.newestFirst = true;
    graph.curves[0].unit = graph.curves[1].unit = "V";
    graph.curves[2].unit = "A";
    return graph;
}

bool scopeSample(Graph& graph) {
    if (channelState().selectedChannel < 0 || channelState().selectedChannel >= kChannelCount) return false;
    const QOR& q =
        channelState().channelTable.channels[static_cast<std::size_t>(channelState().selectedChannel)];
    const int ve = q.system().voltageExponent, ce = q.system().currentExponent;
    pushValue(graph.curves[0], physicalFromRaw(q.measure().uSense, ve));
    pushValue(graph.curves[1], physicalFromRaw(q.measure().uTerminal, ve));
    pushValue(graph.curves[2], physicalFromRaw(q.measure().current, ce));
    for (int row = 0; row < 3; ++row) updateCurve(graph.curves[static_cast<std::size_t>(row)]);
    return true;
}

}  // namespace vz
