#pragma once
// The one QApplication of the benchmark program, on the offscreen platform, made by whichever
// benchmark needs widgets first.
#include <QApplication>

namespace vz::bench {

QApplication& benchApplication();

}  // namespace vz::bench
