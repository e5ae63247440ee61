#pragma once
// A cursor shape over the whole program for as long as it lives: the busy cursor while a sequence of
// exchanges started by the operator runs, the ordinary arrow over a box asked meanwhile.
#include <QApplication>
#include <QCursor>

namespace vz {

class OverrideCursor {
public:
    explicit OverrideCursor(Qt::CursorShape shape = Qt::WaitCursor) { QApplication::setOverrideCursor(shape); }
    ~OverrideCursor() { QApplication::restoreOverrideCursor(); }
    OverrideCursor(const OverrideCursor&) = delete;
    OverrideCursor& operator=(const OverrideCursor&) = delete;
};

using BusyCursor = OverrideCursor;

}  // namespace vz
