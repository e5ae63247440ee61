#include "app/gui/channel_list_view.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "app/core/channel_list_text.h"
#include "app/core/channel_selection.h"
#include "app/core/title.h"
#include "channel/channel_table.h"

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
            case QAbstractSlider::SliderSingleStepSub:
                scrollRequest(ScrollRequest::LineUp);
                break;
            case QAbstractSlider::SliderSingleStepAdd:
                scrollRequest(ScrollRequest::LineDown);
                break;
            case QAbstractSlider::SliderPageStepSub:
                scrollRequest(ScrollRequest::PageUp);
                break;
            case QAbstractSlider::SliderPageStepAdd:
                scrollRequest(ScrollRequest::PageDown);
                break;
            case QAbstractSlider::SliderToMinimum:
                scrollRequest(ScrollRequest::Top);
                break;
            case QAbstractSlider::SliderToMaximum:
                scrollRequest(ScrollRequest::Bottom);
                break;
            case QAbstractSlider::SliderMove:
                scrollRequest(ScrollRequest::Thumb, verticalScrollBar()->sliderPosition());
                break;
            default:
                break;
        }
    });
}

void ChannelListView::syncScrollBar() {
    syncing_ = true;
    verticalScrollBar()->setRange(0, scroll_.largest);
    verticalScrollBar()->setPageStep(std::max(1, viewport()->height() / kLineHeight));
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

QString shownLineText(const ListLine& line) {
    if (line.channel < 0 || line.state != MeasurementState::notRead) return expandTabs(line.text);
    // The channel's name ("U3  ") as the line starts with it, then what is known.
    const char* end = line.text;
    while (*end && *end != ' ') ++end;
    QString name = QString::fromLatin1(line.text, static_cast<int>(end - line.text));
    return name.leftJustified(5) + "not read yet";
}

void ChannelListView::showStartupProgress(const QString& text, int step, int steps) {
    live_ = false;
    startupText_ = text;
    startupStep_ = step;
    startupSteps_ = steps;
    viewport()->update();
}

void ChannelListView::setLive() {
    live_ = true;
    viewport()->update();
    refresh();
}

QRect ChannelListView::rowRect(int listY) const {
    return QRect(0, scroll_.listTop() + listY, viewport()->width(), kLineHeight);
}

int ChannelListView::selectedRowY() const {
    if (channelState().selectedChannel < 0 || channelState().selectedChannel >= kChannelCount) return -1;
    const QOR& q =
        channelState().channelTable.channels[static_cast<std::size_t>(channelState().selectedChannel)];
    return q.present() ? q.rowTop : -1;
}

QRegion ChannelListView::refresh() {
    QRegion dirty;
    if (!live_) return dirty;
    // Most ticks poll one channel: only its line and the statistics lines change.
    std::array<std::string, 130> before;
    std::array<int, 130> beforeY{};
    std::array<MeasurementState, 130> beforeState{};
    const int beforeCount = built_ ? list_.count : 0;
    for (int i = 0; i < beforeCount; ++i) {
        before[static_cast<std::size_t>(i)] = list_.lines[static_cast<std::size_t>(i)].text;
        beforeY[static_cast<std::size_t>(i)] = list_.lines[static_cast<std::size_t>(i)].y;
        beforeState[static_cast<std::size_t>(i)] = list_.lines[static_cast<std::size_t>(i)].state;
    }
    buildChannelList(list_);
    const bool firstBuild = !built_;
    built_ = true;
    for (int i = 0; i < std::max(beforeCount, list_.count); ++i) {
        const auto k = static_cast<std::size_t>(i);
        if (i >= list_.count) {
            dirty += rowRect(beforeY[k]);
        } else if (i >= beforeCount || beforeY[k] != list_.lines[k].y) {
            dirty += rowRect(list_.lines[k].y);
            if (i < beforeCount) dirty += rowRect(beforeY[k]);
        } else if (before[k] != list_.lines[k].text || beforeState[k] != list_.lines[k].state) {
            dirty += rowRect(list_.lines[k].y);
        }
        if (i < list_.count)
            scroll_.bottomExtent = std::max(scroll_.bottomExtent, list_.lines[k].y + kLineHeight);
    }
    const int selectedY = selectedRowY();
    if (selectedY != shownSelectedY_) {
        if (shownSelectedY_ >= 0) dirty += rowRect(shownSelectedY_);
        if (selectedY >= 0) dirty += rowRect(selectedY);
        shownSelectedY_ = selectedY;
    }
    const int largest = scroll_.largest;
    scroll_.resized(viewport()->height());
    if (scroll_.largest != largest) syncScrollBar();
    if (firstBuild) dirty = QRegion(viewport()->rect());
    dirty &= QRegion(viewport()->rect());
    if (!dirty.isEmpty()) viewport()->update(dirty);
    if (onRepainted) onRepainted();
    updateTitle("");
    return dirty;
}

void ChannelListView::paintEvent(QPaintEvent* event) {
    if (live_ && !built_) refresh();
    QPainter painter(viewport());
    painter.setFont(font());
    const QFontMetrics metrics(font());
    if (!live_) {
        // The connection sequence runs: say what it does, with a bar for the phase it is in.
        painter.setPen(palette().color(QPalette::Text));
        const int margin = 12;
        painter.drawText(QPointF(margin, margin + metrics.ascent()),
                         startupText_.isEmpty() ? QString("Connecting to the crate controller ...")
                                                : QString("Search channels: ") + startupText_);
        if (startupSteps_ > 0) {
            const QRect bar(margin, margin + metrics.height() + 8,
                            std::min(400, viewport()->width() - 2 * margin), 14);
            painter.drawRect(bar.adjusted(0, 0, -1, -1));
            const int filled = bar.width() * std::clamp(startupStep_, 0, startupSteps_) / startupSteps_;
            painter.fillRect(QRect(bar.left() + 1, bar.top() + 1, std::max(0, filled - 2), bar.height() - 2),
                             palette().color(QPalette::Highlight));
        }
        return;
    }
    const int lineHeight = metrics.height() + metrics.leading();
    const int top = scroll_.listTop();
    const QRect exposed = event->rect();
    const int selectedY = selectedRowY();
    if (selectedY >= 0) {
        // The selected channel stands out by a light background; its text stays as it is.
        QColor light = palette().color(QPalette::Highlight);
        light.setAlpha(48);
        painter.fillRect(rowRect(selectedY), light);
    }
    for (int i = 0; i < list_.count; ++i) {
        const ListLine& line = list_.lines[static_cast<std::size_t>(i)];
        const int y = top + line.y;
        if (y + lineHeight < exposed.top() || y > exposed.bottom()) continue;
        CachedLine& cached = cache_[static_cast<std::size_t>(i)];
        if (cached.text != line.text || cached.state != line.state || cached.image.height() != lineHeight) {
            cached.text = line.text;
            cached.state = line.state;
            const QString text = shownLineText(line);
            const qreal ratio = devicePixelRatioF();
            QImage image(QSize(std::max(1, metrics.horizontalAdvance(text)), lineHeight) * ratio,
                         QImage::Format_ARGB32_Premultiplied);
            image.setDevicePixelRatio(ratio);
            image.fill(Qt::transparent);
            QPainter linePainter(&image);
            linePainter.setFont(font());
            // Values that are not from the last poll are greyed: stale after a failed read, or
            // not read at all yet (the values would be zeros, not the outputs' state).
            linePainter.setPen(line.state == MeasurementState::read
                                   ? palette().color(QPalette::Text)
                                   : palette().color(QPalette::Disabled, QPalette::Text));
            linePainter.drawText(QPointF(0, metrics.ascent()), text);
            cached.image = std::move(image);
        }
        painter.drawImage(QPointF(0, y), cached.image);
    }
}

void ChannelListView::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_PageUp:
            scrollRequest(ScrollRequest::PageUp);
            break;
        case Qt::Key_PageDown:
            scrollRequest(ScrollRequest::PageDown);
            break;
        case Qt::Key_Home:
            scrollRequest(ScrollRequest::Top);
            break;
        case Qt::Key_End:
            scrollRequest(ScrollRequest::Bottom);
            break;
        case Qt::Key_Up:
            scrollRequest(ScrollRequest::LineUp);
            break;
        case Qt::Key_Down:
            scrollRequest(ScrollRequest::LineDown);
            break;
        default:
            event->ignore();
            return;  // digits and other characters go to the main window
    }
}

void ChannelListView::mousePressEvent(QMouseEvent* event) {
    if (!live_) return;  // no row means anything before the list is shown
    const int channel = channelAt(static_cast<int>(event->position().y()), scroll_.listTop());
    if (channel < 0) return;
    if (event->button() == Qt::LeftButton) {
        toggleChannel(channel);
    } else if (event->button() == Qt::RightButton) {
        selectChannel(channel, onSelectionChanged);
        refresh();
        if (onRightClick) onRightClick(channel);
    }
}

void ChannelListView::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y() / 120;
    for (int i = 0; i < std::abs(steps); ++i)
        scrollRequest(steps > 0 ? ScrollRequest::LineUp : ScrollRequest::LineDown);
}

void ChannelListView::changeEvent(QEvent* event) {
    // Lines drawn with another font or colours must be drawn again.
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange)
        for (CachedLine& line : cache_) line.text.clear();
    QAbstractScrollArea::changeEvent(event);
}

}  // namespace vz
