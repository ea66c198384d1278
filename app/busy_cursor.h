// The application-wide busy mouse pointer, for as long as a long step runs.
#pragma once

#include <QCursor>
#include <QGuiApplication>

namespace app {

// Restores the pointer however the step ends, also by an exception.
class BusyCursor {
 public:
  BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace app
