#include "trace/gui/graph_commands.h"

#include <QActionGroup>
#include <QApplication>
#include <QMenu>
#include <QProgressDialog>

#include "channel/channel_table.h"
#include "trace/scope_sampling.h"
#include "trace/trace_acquisition.h"

namespace vz {

GraphCommands::GraphCommands(QWidget* owner) : QObject(owner), owner_(owner), traceMode_(kDefaultTraceMode) {}

GraphCommands::~GraphCommands() {
    delete scope_.data();
    delete trace_.data();
}

void GraphCommands::scopeCommand() {
    if (scope_) {
        scope_->show();
        scope_->raise();
    } else {
        scope_ = createGraph(makeScopeGraph(), owner_);
    }
    sampling_ = !sampling_;
}

void GraphCommands::scopeSample() {
    if (!sampling_ || !scope_) return;
    if (vz::scopeSample(scope_->graph())) scope_->refresh();
}

void GraphCommands::setTraceMode(int mode) {
    if (validTraceMode(mode)) traceMode_ = mode;
}

void GraphCommands::traceCommand() {
    if (tracing_) return;  // the wait lets events through; one trace at a time
    if (selectedChannel < 0 || selectedChannel >= kChannelCount) return;
    const int channel = selectedChannel;
    if (trace_ && traceGraphMode_ != traceMode_) delete trace_.data();  // laid out for another mode
    if (!trace_) {
        trace_ = createGraph(makeTraceGraph(traceMode_), owner_);
        traceGraphMode_ = traceMode_;
        samplesToWait_ = traceSamples(traceMode_);
        trace_->extendContextMenu = [this](QMenu& menu) {
            menu.addSeparator();
            auto* group = new QActionGroup(&menu);
            const char* names[] = {"Trace Mode 1", "Trace Mode 2", "Trace Mode 3 (Sync)"};
            for (int mode = 1; mode <= 3; ++mode) {
                QAction* a = menu.addAction(names[mode - 1], this, [this, mode] { setTraceMode(mode); });
                a->setCheckable(true);
                a->setChecked(mode == traceMode_);
                group->addAction(a);
            }
        };
    }

    // The module records in milliseconds; the wait looks every 500 ms and can be cancelled.
    tracing_ = true;
    QProgressDialog progress(QString("Waiting for the trace of U%1 ...").arg(channel), "Cancel", 0,
                             samplesToWait_, owner_);
    progress.setWindowTitle("Trace");
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(1000);
    TraceBuffer buffer{};
    const TraceOutcome outcome =
        acquireTrace(channel, traceMode_, samplesToWait_, buffer, [&progress](int recorded, int needed) {
            progress.setMaximum(needed);
            progress.setValue(recorded);
            QApplication::processEvents();
            return !progress.wasCanceled();
        });
    progress.reset();
    tracing_ = false;
    if (outcome != TraceOutcome::complete || !trace_) return;
    const QOR& q = channelTable.channels[static_cast<std::size_t>(channel)];
    fillTraceGraph(trace_->graph(), buffer, q.system().voltageExponent, q.system().currentExponent);
    trace_->show();
    trace_->raise();
    trace_->refresh();
}

}  // namespace vz
