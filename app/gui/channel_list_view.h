#pragma once
// The main window's client area: the text list of channels, scrolled in whole lines.
#include <QAbstractScrollArea>
#include <QImage>
#include <QRegion>
#include <array>
#include <functional>
#include <string>

#include "app/core/channel_list_text.h"
#include "app/core/list_scrolling.h"

namespace vz {

// What a line shows: its text, except for a channel not read yet, whose values would only be the
// zeros the program started with: "U3   not read yet".
QString shownLineText(const ListLine& line);

class ChannelListView : public QAbstractScrollArea {
    Q_OBJECT
  public:
    explicit ChannelListView(QWidget* parent);

    void scrollRequest(ScrollRequest r, int thumbPosition = 0);
    const ListScroll& scrollState() const { return scroll_; }

    // While the connection sequence runs the view shows what it is doing instead of channels, from
    // the first showStartupProgress until setLive.
    void showStartupProgress(const QString& text, int step, int steps);
    void setLive();
    bool isLive() const { return live_; }
    QString startupText() const { return startupText_; }

    // After a polling tick or a change of selection: builds the list text and repaints only the rows
    // whose text, place or highlight changed. Returns the region it marked for repainting.
    QRegion refresh();

    // Told after every repaint (open channel dialogs refresh their values).
    std::function<void()> onRepainted;
    // A right click on a channel's line (opens the output configuration dialog).
    std::function<void(int channel)> onRightClick;
    // Told after a right click selected a channel (open channel dialogs follow).
    std::function<void()> onSelectionChanged;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void syncScrollBar();
    QRect rowRect(int listY) const;
    int selectedRowY() const;  // list y of the selected channel's row, -1 when none
    ListScroll scroll_;
    bool syncing_ = false;
    // Laid-out lines of the last repaint: most lines do not change from one tick to the next.
    struct CachedLine {
        std::string text;
        MeasurementState state = MeasurementState::read;
        QImage image;  // the line drawn once; repaints only copy it
    };
    std::array<CachedLine, 130> cache_;
    ChannelListText list_;  // the text of the last refresh
    bool built_ = false;
    int shownSelectedY_ = -1;
    bool live_ = true;
    QString startupText_;
    int startupStep_ = 0, startupSteps_ = 0;
};

}  // namespace vz
