#pragma once
// The main window's client area: the text list of channels, scrolled in whole lines.
#include <QAbstractScrollArea>

namespace vz {

class ChannelListView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit ChannelListView(QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace vz
