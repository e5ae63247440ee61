#pragma once
// A graph window: a top-level window owned by the main window that draws a graph's four curves, their
// axis labels and statistics lines. Its context menu saves the picture (PNG) or the values (CSV).
#include <QStaticText>
#include <QWidget>
#include <functional>
#include <string>
#include <unordered_map>

#include "trace/graph_curve.h"

class QMenu;

namespace vz {

class GraphWindow : public QWidget {
    Q_OBJECT
  public:
    GraphWindow(QWidget* owner, Graph graph);

    Graph& graph() { return graph_; }
    const Graph& graph() const { return graph_; }
    // After the curves changed (and updateCurve ran): repaint.
    void refresh() { update(); }
    // A scope whose sampling is off says so in its plot area.
    void setPaused(bool paused);
    bool paused() const { return paused_; }
    // The width left of the plot area for the axis labels: 64 pixels, more when a label needs it.
    int labelColumn();
    // Command 105 closes the window; the graph stays with its owner.
    void dispatchCommand(int id);

    bool saveImage(const QString& path);
    bool saveData(const QString& path, std::string& error) const;

    // Lets the owner add its own items to the context menu (the trace mode).
    std::function<void(QMenu&)> extendContextMenu;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void saveImageAs();
    void saveDataAs();
    const QStaticText& text(const std::string& s);
    Graph graph_;
    bool paused_ = false;
    std::unordered_map<std::string, QStaticText> texts_;
};

// How many pixels up and right a curve's line is repeated: 3 for row 0 down to 0 for row 3, so a
// curve exactly under a later one still shows beside it.
int curveHaloPixels(int row);

// Creates the graph (four curves of `points` values, a null name takes the row's default) and its
// window, shows the window and paints it once.
GraphWindow* createGraph(const std::string& title, QWidget* owner, uint32_t points,
                         const std::array<const char*, kCurveCount>& names = {});
GraphWindow* createGraph(Graph graph, QWidget* owner);

}  // namespace vz
