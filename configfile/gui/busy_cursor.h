#pragma once
// A busy cursor for as long as a sequence of exchanges started by the operator runs.
#include <QApplication>
#include <QCursor>

namespace vz {

class BusyCursor {
  public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace vz
