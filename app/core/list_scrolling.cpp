#include "app/core/list_scrolling.h"

#include <algorithm>

#include "channel/channel_table.h"

namespace vz {

void ListScroll::resized(int clientHeight) {
    if (bottomExtent > clientHeight) {
        largest = (bottomExtent - clientHeight) / kLineHeight;
        scrollPos = std::min(scrollPos, largest);
    } else {
        largest = 0;
        scrollPos = 0;
    }
}

bool ListScroll::request(ScrollRequest r, int clientHeight, int thumbPosition) {
    largest = bottomExtent > clientHeight ? (bottomExtent - clientHeight) / kLineHeight : 0;
    switch (r) {
        case ScrollRequest::LineUp:
            scrollPos = std::max(scrollPos - 1, 0);
            break;
        case ScrollRequest::LineDown:
            scrollPos = std::min(scrollPos + 1, largest);
            break;
        case ScrollRequest::PageUp:
        case ScrollRequest::Top:
            scrollPos = 0;
            break;
        case ScrollRequest::PageDown:
        case ScrollRequest::Bottom:
            scrollPos = largest;
            break;
        case ScrollRequest::Thumb:
            scrollPos = thumbPosition;
            break;
        case ScrollRequest::Other:
            return false;
    }
    return true;
}

int channelAt(int mouseY, int listTop) {
    const int listY = mouseY - listTop;
    for (int i = 0; i < kChannelCount; ++i) {
        const QOR& q = channelState().channelTable.channels[static_cast<std::size_t>(i)];
        if (q.present() && q.rowTop <= listY && listY <= q.rowTop + kLineHeight) return i;
    }
    return -1;
}

}  // namespace vz
