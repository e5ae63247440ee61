#pragma once
// Scrolling of the channel list in whole lines, and the hit test of mouse clicks.

namespace vz {

// Every line of the channel list is 18 pixels high; scrolling moves in whole lines.
constexpr int kLineHeight = 18;

enum class ScrollRequest { LineUp, LineDown, PageUp, PageDown, Top, Bottom, Thumb, Other };

struct ListScroll {
    int scrollPos = 0;
    int largest = 0;
    int bottomExtent = 0;  // lowest bottom edge of all text drawn so far; only grows

    int listTop() const { return -kLineHeight * scrollPos; }
    // Size message: the new client height.
    void resized(int clientHeight);
    // Vertical scroll message; false when nothing changed.
    bool request(ScrollRequest r, int clientHeight, int thumbPosition = 0);
};

// The first present channel whose line holds the mouse y (window coordinates); -1 when none.
int channelAt(int mouseY, int listTop);

}  // namespace vz
