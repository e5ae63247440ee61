#pragma once
// The main window's client area: the text list of channels, scrolled in whole lines.
#include <QAbstractScrollArea>
#include <QImage>
#include <array>
#include <string>
#include <functional>

#include "app/core/list_scrolling.h"

namespace vz {

class ChannelListView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit ChannelListView(QWidget* parent);

    void scrollRequest(ScrollRequest r, int thumbPosition = 0);
    const ListScroll& scrollState() const { return scroll_; }

    // Told after every repaint (open channel dialogs refresh their values).
    std::function<void()> onRepainted;
    // A right click on a channel's line (opens the output configuration dialog).
    std::function<void(int channel)> onRightClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void syncScrollBar();
    ListScroll scroll_;
    bool syncing_ = false;
    // Laid-out lines of the last repaint: most lines do not change from one tick to the next.
    struct CachedLine {
        std::string text;
        QImage image;  // the line drawn once; repaints only copy it
    };
    std::array<CachedLine, 130> cache_;
};

}  // namespace vz
