#pragma once
// The main window's two graph commands on the selected channel: "Scope" shows the polled signals
// over the last 600 ticks, "&Trace" has the module record a burst and shows it. Both graphs are
// created on first use and reused for the rest of the run.
#include <QObject>
#include <QPointer>

#include "trace/gui/graph_window.h"

namespace vz {

class GraphCommands : public QObject {
    Q_OBJECT
  public:
    explicit GraphCommands(QWidget* owner);
    ~GraphCommands() override;

    // Opens or shows the scope and toggles its sampling.
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

  private:
    QWidget* owner_;
    QPointer<GraphWindow> scope_;
    bool sampling_ = false;
    QPointer<GraphWindow> trace_;
    int traceGraphMode_ = 0;  // the mode the trace graph was laid out for
    int samplesToWait_ = 0;   // fixed with the trace graph: 100, or 50 for mode 3
    int traceMode_;
    bool tracing_ = false;
};

}  // namespace vz
