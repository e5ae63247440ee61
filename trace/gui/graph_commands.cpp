#include "trace/gui/graph_commands.h"

#include <QActionGroup>
#include <QMenu>
#include <QProgressDialog>
#include <algorithm>

#include "channel/channel_table.h"
#include "link/comm_problem.h"
#include "link/link_state.h"
#include "trace/scope_sampling.h"
#include "trace/trace_acquisition.h"
#include "trace/trace_job.h"

namespace vz {
namespace {

// How often a waiting trace looks whether its pause is over; the pause itself is on clock().
constexpr int kStepCheckMs = 50;

}  // namespace

GraphCommands::GraphCommands(QWidget* owner) : QObject(owner), owner_(owner), traceMode_(kDefaultTraceMode) {
    stepTimer_.setSingleShot(true);
    connect(&stepTimer_, &QTimer::timeout, this, &GraphCommands::traceStep);
}

GraphCommands::~GraphCommands() {
    stepTimer_.stop();
    closeProgress();
    delete scope_.data();
    delete trace_.data();
}

void GraphCommands::scopeCommand() {
    if (scope_ && scope_->isVisible()) {
        sampling_ = !sampling_;
    } else {
        // Opened, or reopened after its window was closed: the operator wants to see it run.
        if (scope_)
            scope_->show();
        else
            scope_ = createGraph(makeScopeGraph(), owner_);
        sampling_ = true;
    }
    scope_->raise();
    scope_->setPaused(!sampling_);
}

void GraphCommands::scopeSample() {
    if (!sampling_ || !scope_) return;
    if (vz::scopeSample(scope_->graph())) scope_->refresh();
}

void GraphCommands::setTraceMode(int mode) {
    if (validTraceMode(mode)) traceMode_ = mode;
}

void GraphCommands::traceCommand() {
    if (job_) {  // one trace at a time: bring its progress forward
        if (progress_ && progress_->isVisible()) progress_->raise();
        return;
    }
    if (channelState().selectedChannel < 0 || channelState().selectedChannel >= kChannelCount) return;
    const int channel = channelState().selectedChannel;
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

    job_ = std::make_unique<TraceJob>(channel, traceMode_, samplesToWait_);
    abortedBefore_ = linkState().commProblem.abort;
    // Modeless: the list, the other windows and the communication problem dialog stay usable.
    auto* progress = new QProgressDialog(QString("Waiting for the trace of U%1 ...").arg(channel), "Cancel",
                                         0, samplesToWait_, owner_);
    progress->setWindowTitle("Trace");
    progress->setWindowModality(Qt::NonModal);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setMinimumDuration(1000);
    // Queued: the box finishes its own cancel() before it is deleted.
    connect(progress, &QProgressDialog::canceled, this, &GraphCommands::cancelTrace, Qt::QueuedConnection);
    progress->setValue(0);
    progress_ = progress;
    stepTimer_.start(0);
}

void GraphCommands::traceStep() {
    if (!job_) return;
    // Another exchange waits for the crate (its problem dialog is up): no second one inside it.
    if (linkState().commProblem.dialogShown || !job_->due()) {
        stepTimer_.start(std::clamp<int>(static_cast<int>(job_->untilDueUs() / 1000), 1, kStepCheckMs));
        return;
    }
    stepping_ = true;
    job_->step();  // may pump the problem dialog's events
    stepping_ = false;
    if (cancelRequested_) job_->cancel();  // Cancel arrived during the step
    cancelRequested_ = false;
    if (job_->finished()) {
        endTrace();
        return;
    }
    if (progress_) {
        // Only on a change: setting the minimum again would restart the box's one-second delay.
        const int value = std::min(job_->recorded(), job_->needed());
        if (progress_->maximum() != job_->needed()) progress_->setMaximum(job_->needed());
        if (progress_->value() != value) progress_->setValue(value);
    }
    stepTimer_.start(job_->waiting() ? kStepCheckMs : 0);
}

void GraphCommands::cancelTrace() {
    if (!job_) return;
    if (stepping_) {  // the step below on the stack still uses the job: it ends after it
        cancelRequested_ = true;
        return;
    }
    job_->cancel();
    endTrace();
}

void GraphCommands::closeProgress() {
    if (!progress_) return;
    QProgressDialog* progress = progress_.data();
    progress_ = nullptr;
    progress->disconnect(this);
    progress->reset();  // stops its timer: it must never show up after the trace ended
    progress->hide();
    progress->deleteLater();
}

void GraphCommands::endTrace() {
    stepTimer_.stop();
    const std::unique_ptr<TraceJob> job = std::move(job_);
    // The box goes first: a report of the outcome must not end up under a box that waits for nothing.
    closeProgress();
    // The operator ended it with CANCEL on the communication problem dialog: that was the answer.
    const bool operatorGaveUp =
        job->outcome() == TraceOutcome::noAnswer && !abortedBefore_ && linkState().commProblem.abort;
    if (!operatorGaveUp) reportTraceOutcome(*job);
    if (job->outcome() == TraceOutcome::complete && trace_) {
        const QOR& q = channelState().channelTable.channels[static_cast<std::size_t>(job->channel())];
        fillTraceGraph(trace_->graph(), job->buffer(), q.system().voltageExponent,
                       q.system().currentExponent);
        trace_->show();
        trace_->raise();
        trace_->refresh();
    }
    emit traceFinished();
}

}  // namespace vz
