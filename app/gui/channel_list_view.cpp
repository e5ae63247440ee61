#include "app/gui/channel_list_view.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

#include "app/core/channel_list_text.h"
#include "app/core/channel_selection.h"
#include "app/core/title.h"

namespace vz {

ChannelListView::ChannelListView(QWidget* parent) : QAbstractScrollArea(parent) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setCursor(Qt::CrossCursor);
    setFrameShape(QFrame::NoFrame);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setFocusPolicy(Qt::StrongFocus);
    verticalScrollBar()->setRange(0, 0);
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, [this](int action) {
        if (syncing_) return;
        switch (action) {
            case QAbstractSlider::SliderSingleStepSub: scrollRequest(ScrollRequest::LineUp); break;
            case QAbstractSlider::SliderSingleStepAdd: scrollRequest(ScrollRequest::LineDown); break;
            case QAbstractSlider::SliderPageStepSub: scrollRequest(ScrollRequest::PageUp); break;
            case QAbstractSlider::SliderPageStepAdd: scrollRequest(ScrollRequest::PageDown); break;
            case QAbstractSlider::SliderToMinimum: scrollRequest(ScrollRequest::Top); break;
            case QAbstractSlider::SliderToMaximum: scrollRequest(ScrollRequest::Bottom); break;
            case QAbstractSlider::SliderMove:
                scrollRequest(ScrollRequest::Thumb, verticalScrollBar()->sliderPosition());
                break;
            default: break;
        }
    });
}

void ChannelListView::syncScrollBar() {
    syncing_ = true;
    verticalScrollBar()->setRange(0, scroll_.largest);
    verticalScrollBar()->setPageStep(std::max(1, viewport()->height() / 18));
    verticalScrollBar()->setSliderPosition(scroll_.scrollPos);
    verticalScrollBar()->setValue(scroll_.scrollPos);
    syncing_ = false;
}

void ChannelListView::scrollRequest(ScrollRequest r, int thumbPosition) {
    if (!scroll_.request(r, viewport()->height(), thumbPosition)) return;
    syncScrollBar();
    viewport()->update();
}

void ChannelListView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    scroll_.resized(viewport()->height());
    syncScrollBar();
}

void ChannelListView::paintEvent(QPaintEvent*) {
    static ChannelListText list;
    buildChannelList(list);
    QPainter painter(viewport());
    painter.setFont(font());
    const QFontMetrics metrics(font());
    const int lineHeight = metrics.height() + metrics.leading();
    const int top = scroll_.listTop();
    const int width = viewport()->width();
    for (int i = 0; i < list.count; ++i) {
        const ListLine& line = list.lines[static_cast<std::size_t>(i)];
        const QRect rect(0, top + line.y, width, lineHeight);
        // Windows-1252 texts (the degree sign) are shown through a Latin-1 conversion.
        painter.drawText(rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextExpandTabs | Qt::TextDontClip,
                         QString::fromLatin1(line.text));
        scroll_.bottomExtent = std::max(scroll_.bottomExtent, line.y + lineHeight);
    }
    painter.end();
    const int largest = scroll_.largest;
    scroll_.resized(viewport()->height());
    if (scroll_.largest != largest) syncScrollBar();
    if (onRepainted) onRepainted();
    updateTitle("");
}

void ChannelListView::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_PageUp: scrollRequest(ScrollRequest::PageUp); break;
        case Qt::Key_PageDown: scrollRequest(ScrollRequest::PageDown); break;
        case Qt::Key_Home: scrollRequest(ScrollRequest::Top); break;
        case Qt::Key_End: scrollRequest(ScrollRequest::Bottom); break;
        case Qt::Key_Up: scrollRequest(ScrollRequest::LineUp); break;
        case Qt::Key_Down: scrollRequest(ScrollRequest::LineDown); break;
        default: event->ignore(); return;  // digits and other characters go to the main window
    }
}

void ChannelListView::mousePressEvent(QMouseEvent* event) {
    const int channel = channelAt(static_cast<int>(event->position().y()), scroll_.listTop());
    if (channel < 0) return;
    if (event->button() == Qt::LeftButton) {
        toggleChannel(channel);
    } else if (event->button() == Qt::RightButton) {
        selectChannel(channel);
        if (onRightClick) onRightClick(channel);
    }
}

void ChannelListView::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y() / 120;
    for (int i = 0; i < std::abs(steps); ++i) scrollRequest(steps > 0 ? ScrollRequest::LineUp : ScrollRequest::LineDown);
}

}  // namespace vz
