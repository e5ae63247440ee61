#include "app/gui/channel_list_view.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QPaintEvent>
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

namespace {
// Tab stops every eight columns, as the fixed-pitch list was laid out.
QString expandTabs(const char* text) {
    QString out;
    for (const char* p = text; *p; ++p) {
        if (*p == '\t') {
            do out += QLatin1Char(' ');
            while (out.size() % 8);
        } else {
            out += QLatin1Char(*p);  // Windows-1252 texts (the degree sign) through Latin-1
        }
    }
    return out;
}
}  // namespace

void ChannelListView::paintEvent(QPaintEvent* event) {
    static ChannelListText list;
    buildChannelList(list);
    QPainter painter(viewport());
    painter.setFont(font());
    const QFontMetrics metrics(font());
    const int lineHeight = metrics.height() + metrics.leading();
    const int top = scroll_.listTop();
    const QRect exposed = event->rect();
    for (int i = 0; i < list.count; ++i) {
        const ListLine& line = list.lines[static_cast<std::size_t>(i)];
        scroll_.bottomExtent = std::max(scroll_.bottomExtent, line.y + lineHeight);
        const int y = top + line.y;
        if (y + lineHeight < exposed.top() || y > exposed.bottom()) continue;
        CachedLine& cached = cache_[static_cast<std::size_t>(i)];
        if (cached.text != line.text || cached.image.height() != lineHeight) {
            cached.text = line.text;
            const QString text = expandTabs(line.text);
            const qreal ratio = devicePixelRatioF();
            QImage image(QSize(std::max(1, metrics.horizontalAdvance(text)), lineHeight) * ratio,
                         QImage::Format_ARGB32_Premultiplied);
            image.setDevicePixelRatio(ratio);
            image.fill(Qt::transparent);
            QPainter linePainter(&image);
            linePainter.setFont(font());
            linePainter.setPen(palette().color(QPalette::Text));
            linePainter.drawText(QPointF(0, metrics.ascent()), text);
            cached.image = std::move(image);
        }
        painter.drawImage(QPointF(0, y), cached.image);
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

void ChannelListView::changeEvent(QEvent* event) {
    // Lines drawn with another font or colours must be drawn again.
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange)
        for (CachedLine& line : cache_) line.text.clear();
    QAbstractScrollArea::changeEvent(event);
}

}  // namespace vz
