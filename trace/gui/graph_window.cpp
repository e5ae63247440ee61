#include "trace/gui/graph_window.h"

#include <QBuffer>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QMenu>
#include <QPainter>
#include <algorithm>
#include <vector>

#include "base/command_ids.h"
#include "base/file_replacement.h"
#include "base/operator_seam.h"
#include "trace/curve_csv.h"
#include "trace/graph_geometry.h"
#include "trace/graph_text.h"

namespace vz {
namespace {

QColor colourOf(const Curve& c) {
    return QColor::fromRgb(static_cast<QRgb>(0xFF000000u | c.colour));
}

void tellFailure(const std::string& caption, const std::string& text) {
    operatorSeam().messageBox({caption, text, BoxButtons::Ok, BoxIcon::Error, true});
}

}  // namespace

int curveHaloPixels(int row) {
    return kCurveCount - 1 - row;
}

GraphWindow::GraphWindow(QWidget* owner, Graph graph) : QWidget(owner, Qt::Window), graph_(std::move(graph)) {
    setWindowTitle(QString::fromStdString(graph_.title));
    setCursor(Qt::CrossCursor);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    resize(920, 640);  // room for the RMS column right of the last tab stop
    // Never so narrow that the statistics lose their last column: the RMS of a 32-bit time is the
    // widest part after the last tab stop.
    const int widestLastPart = fontMetrics().horizontalAdvance("RMS: -4.2950e+09");
    setMinimumWidth(statisticsOrigin(0, 0).x + graphlayout::kTabStops.back() + widestLastPart +
                    graphlayout::kMargin);
}

void GraphWindow::setPaused(bool paused) {
    if (paused_ == paused) return;
    paused_ = paused;
    update();
}

int GraphWindow::labelColumn() {
    int widest = 0;
    for (const Curve& c : graph_.curves) {
        const GraphAxis axis = chooseAxis(c.lowerBound, c.upperBound);
        for (double v : {axis.drawn ? axis.end : 0.0, axis.drawn ? axis.start : 0.0})
            widest = std::max(widest,
                              fontMetrics().horizontalAdvance(QString::fromLatin1(axisLabel(v).c_str())) + 2);
    }
    return std::max(graphlayout::kLabelColumn, widest);
}

void GraphWindow::dispatchCommand(int id) {
    if (id == cmd::kExit) close();
}

void GraphWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int w = width(), h = height();

    // One-pixel cosmetic pens: the painter draws them as plain aliased lines, without the stroker.
    auto pen = [](const QColor& colour, int width) {
        QPen p(colour, width, Qt::SolidLine);
        p.setCosmetic(true);
        return p;
    };
    const int column = labelColumn();
    painter.setPen(pen(Qt::black, 1));
    const auto frame = graphFrame(w, h, column);
    QPoint framePoints[5];
    for (int i = 0; i < 5; ++i)
        framePoints[i] = QPoint(frame[static_cast<std::size_t>(i)].x, frame[static_cast<std::size_t>(i)].y);
    painter.drawPolyline(framePoints, 5);

    std::vector<QPoint> points;
    for (const Curve& c : graph_.curves) {
        const QColor colour = colourOf(c);
        const auto line = curvePolyline(c, w, h, column);
        if (!line.empty()) {
            points.clear();
            points.reserve(line.size());
            for (const GraphPoint& p : line) points.emplace_back(p.x, p.y);
            // A curve lying exactly under a later one must still show (uSense under iModul when
            // they track each other): each row is drawn again shifted up and right by one pixel per
            // row after it, so it peeks out beside them; every line stays one pixel thin.
            painter.setPen(pen(colour, 1));
            for (int k = curveHaloPixels(c.row); k >= 0; --k) {
                painter.save();
                painter.translate(k, -k);
                painter.drawPolyline(points.data(), static_cast<int>(points.size()));
                painter.restore();
            }
        }
        painter.setPen(colour);
        // The statistics line with its tab stops.
        const GraphPoint origin = statisticsOrigin(c.row, h);
        const auto parts = splitAtTabs(statisticsLine(c));
        const auto xs = tabbedPartPositions(parts, origin.x,
                                            [this](const std::string& s) { return text(s).size().width(); });
        for (std::size_t i = 0; i < parts.size(); ++i)
            painter.drawStaticText(xs[i], origin.y, text(parts[i]));
        // Axis labels, right-aligned in the label column: the end at the top, the start at the bottom.
        const GraphAxis axis = chooseAxis(c.lowerBound, c.upperBound);
        auto label = [&](GraphPoint anchor, double value) {
            const QStaticText& t = text(axisLabel(value));
            painter.drawStaticText(anchor.x - static_cast<int>(t.size().width()), anchor.y, t);
        };
        label(axisEndLabelAnchor(c.row, column), axis.drawn ? axis.end : 0.0);
        label(axisStartLabelAnchor(c.row, h, column), axis.drawn ? axis.start : 0.0);
    }
    if (paused_) {
        painter.setPen(Qt::darkGray);
        const QString note = "Sampling paused (G resumes)";
        const int noteWidth = painter.fontMetrics().horizontalAdvance(note);
        painter.drawText(frame[3].x - noteWidth - 4, frame[3].y + painter.fontMetrics().ascent() + 2, note);
    }
}

const QStaticText& GraphWindow::text(const std::string& s) {
    // Most texts repeat from one repaint to the next (names, labels, a steady minimum): laid out once.
    if (texts_.size() > 512) texts_.clear();
    auto [it, added] = texts_.try_emplace(s);
    if (added) {
        it->second.setText(QString::fromLatin1(s.c_str()));
        it->second.setTextFormat(Qt::PlainText);
        it->second.setPerformanceHint(QStaticText::AggressiveCaching);
        it->second.prepare(QTransform(), font());
    }
    return it->second;
}

void GraphWindow::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(QString::fromUtf8("Save Image\u2026"), this, &GraphWindow::saveImageAs);
    menu.addAction(QString::fromUtf8("Save Data\u2026"), this, &GraphWindow::saveDataAs);
    if (extendContextMenu) extendContextMenu(menu);
    menu.addSeparator();
    menu.addAction("Close", this, [this] { dispatchCommand(cmd::kExit); });
    menu.exec(event->globalPos());
}

bool GraphWindow::saveImage(const QString& path) {
    // Encoded in memory, then written as every file is (a temporary name, renamed when complete).
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !grab().save(&buffer, "PNG")) return false;
    std::string error;
    return replaceFileContents(path.toStdString(), png.constData(), static_cast<std::size_t>(png.size()), error);
}

bool GraphWindow::saveData(const QString& path, std::string& error) const {
    return writeCurvesCsv(path.toStdString(), graph_, error);
}

void GraphWindow::saveImageAs() {
    QString path = QFileDialog::getSaveFileName(this, "Save Image", {}, "PNG image (*.png)", nullptr,
                                                QFileDialog::DontUseNativeDialog);
    if (path.isEmpty()) return;
    if (!path.endsWith(".png", Qt::CaseInsensitive)) path += ".png";
    if (!saveImage(path)) tellFailure("Save Image", "Cannot write " + path.toStdString());
}

void GraphWindow::saveDataAs() {
    QString path = QFileDialog::getSaveFileName(this, "Save Data", {}, "CSV file (*.csv)", nullptr,
                                                QFileDialog::DontUseNativeDialog);
    if (path.isEmpty()) return;
    if (!path.endsWith(".csv", Qt::CaseInsensitive)) path += ".csv";
    std::string error;
    if (!saveData(path, error)) tellFailure("Save Data", error);
}

GraphWindow* createGraph(Graph graph, QWidget* owner) {
    auto* window = new GraphWindow(owner, std::move(graph));
    window->show();
    window->repaint();
    return window;
}

GraphWindow* createGraph(const std::string& title, QWidget* owner, uint32_t points,
                         const std::array<const char*, kCurveCount>& names) {
    return createGraph(makeGraph(title, points, names), owner);
}

}  // namespace vz
