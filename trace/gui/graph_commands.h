#pragma once
// The main window's two graph commands on the selected channel: "Scope" shows the polled signals
// over the last 600 ticks, "&Trace" has the module record a burst and shows it. Both graphs are
// created on first use and reused for the rest of the run.
//
// A trace runs as a TraceJob stepped from the event loop: the list keeps repainting and polling, and
// a modeless progress box with Cancel appears once the trace takes longer than a second.
#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>
#include <memory>

#include "trace/gui/graph_window.h"

namespace vz {

class TraceJob;

class GraphCommands : public QObject {
    Q_OBJECT
  public:
    explicit GraphCommands(QWidget* owner);
    ~GraphCommands() override;

    // Opens or shows the scope: a closed scope comes back sampling, an open one toggles its sampling.
    void scopeCommand();
    // Called on every repaint of the channel list: one sample while sampling.
    void scopeSample();
    void traceCommand();

    bool scopeSampling() const { return sampling_; }
    GraphWindow* scopeWindow() const { return scope_.data(); }
    GraphWindow* traceWindow() const { return trace_.data(); }
    int traceMode() const { return traceMode_; }
    // The mode of the next trace; a graph laid out for another mode is replaced then.
    void setTraceMode(int mode);

    // True from the trace command until the trace ended (complete, failed or cancelled).
    bool tracing() const { return job_ != nullptr; }
    // The progress box of the running trace; nullptr when none runs.
    QProgressDialog* traceProgress() const { return progress_.data(); }
    // Ends the running trace; its graph keeps what it showed.
    void cancelTrace();

  signals:
    void traceFinished();

  private:
    void traceStep();
    void endTrace();
    void closeProgress();

    QWidget* owner_;
    QPointer<GraphWindow> scope_;
    bool sampling_ = false;
    QPointer<GraphWindow> trace_;
    int traceGraphMode_ = 0;  // the mode the trace graph was laid out for
    int samplesToWait_ = 0;   // fixed with the trace graph: 100, or 50 for mode 3
    int traceMode_;
    std::unique_ptr<TraceJob> job_;
    bool abortedBefore_ = false;  // the link's abort flag when the trace started
    bool stepping_ = false;
    bool cancelRequested_ = false;
    QTimer stepTimer_;
    QPointer<QProgressDialog> progress_;
};

}  // namespace vz
