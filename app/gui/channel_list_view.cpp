#include "app/gui/channel_list_view.h"

#include <QPainter>

namespace vz {

ChannelListView::ChannelListView(QWidget* parent) : QAbstractScrollArea(parent) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setCursor(Qt::CrossCursor);
    setFrameShape(QFrame::NoFrame);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
}

void ChannelListView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
}

}  // namespace vz
