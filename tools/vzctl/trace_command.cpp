#include "tools/vzctl/trace_command.h"

#include <cstdlib>

#include "base/clock.h"
#include "base/number_parse.h"
#include "channel/channel_table.h"
#include "tools/vzctl/file_checks.h"
#include "tools/vzctl/progress_line.h"
#include "trace/curve_csv.h"
#include "trace/graph_text.h"
#include "trace/trace_acquisition.h"

namespace vz::ctl {
namespace {

constexpr const char* kUsage = "trace CH [--mode 1|2|3] [--csv FILE] [--timeout S]";

int usage(const std::string& why) {
    std::fprintf(stderr, "vzctl: %s (usage: %s)\n", why.c_str(), kUsage);
    return 2;
}

bool toNumber(const std::string& text, long lo, long hi, long& value) {
    std::string ignored;
    const auto v = parseInteger(text, lo, hi, ignored);
    if (v) value = static_cast<long>(*v);
    return v.has_value();
}

}  // namespace

int parseTraceWords(const std::vector<std::string>& words, TraceArgs& args) {
    long channel = -1, mode = kDefaultTraceMode, timeoutS = 30;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        const bool hasValue = i + 1 < words.size();
        if (w == "--mode") {
            if (!hasValue || !toNumber(words[++i], 1, 3, mode)) return usage("--mode needs 1, 2 or 3");
        } else if (w == "--csv") {
            if (!hasValue || words[i + 1].empty()) return usage("--csv needs a file name");
            args.csvPath = words[++i];
        } else if (w == "--timeout") {
            if (!hasValue || !toNumber(words[++i], 1, 86400, timeoutS))
                return usage("--timeout needs seconds");
        } else if (channel < 0) {
            if (!toNumber(w, 0, kChannelCount - 1, channel))
                return usage("the channel is a number from 0 to 126");
        } else {
            return usage("unexpected \"" + w + "\"");
        }
    }
    if (channel < 0) return usage("which channel?");
    args.channel = static_cast<int>(channel);
    args.mode = static_cast<int>(mode);
    args.timeoutS = static_cast<int>(timeoutS);
    // A CSV file that cannot be written is named before the module records for nothing.
    if (std::string why; !args.csvPath.empty() && !writableFile(args.csvPath, why)) {
        std::fprintf(stderr, "vzctl: cannot write %s: %s\n", args.csvPath.c_str(), why.c_str());
        return 1;
    }
    return -1;
}

int traceCommand(const std::vector<std::string>& words, std::FILE* out) {
    TraceArgs args;
    if (const int status = parseTraceWords(words, args); status >= 0) return status;
    const int ch = args.channel;
    const long timeoutS = args.timeoutS;
    const std::string& csvPath = args.csvPath;
    if (!channelPresent(ch)) {
        std::fprintf(stderr, "vzctl: no module at U%d\n", ch);
        return 1;
    }

    // The module records for milliseconds; the wait looks every 500 ms and ends at the time limit.
    ProgressLine progress(stderr);
    const int64_t deadlineMs = clock().nowMs() + timeoutS * 1000;
    bool timedOut = false;
    TraceBuffer buffer{};
    const int m = args.mode;
    const TraceOutcome outcome = acquireTrace(ch, m, traceSamples(m), buffer, [&](int recorded, int needed) {
        progress.show("Trace of U" + std::to_string(ch) + ": " + std::to_string(recorded) + " of " +
                      std::to_string(needed) + " samples");
        timedOut = clock().nowMs() >= deadlineMs;
        return !timedOut;
    });
    progress.clear();
    if (outcome == TraceOutcome::stopped) {
        std::fprintf(stderr, "vzctl: the trace of U%d did not complete within %ld s\n", ch, timeoutS);
        return 1;
    }
    if (outcome != TraceOutcome::complete) return 1;

    const QOR& q = channelState().channelTable.channels[static_cast<std::size_t>(ch)];
    Graph graph = makeTraceGraph(m);
    fillTraceGraph(graph, buffer, q.system().voltageExponent, q.system().currentExponent);
    std::fprintf(out, "%s\n", graph.title.c_str());
    for (const Curve& c : graph.curves) std::fprintf(out, "%s\n", statisticsLine(c).c_str());
    if (!csvPath.empty()) {
        std::string error;
        if (!writeCurvesCsv(csvPath, graph, error)) {
            std::fprintf(stderr, "vzctl: %s\n", error.c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace vz::ctl
