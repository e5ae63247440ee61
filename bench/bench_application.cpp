#include "bench/bench_application.h"

#include <cstdlib>

namespace vz::bench {

QApplication& benchApplication() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "vzbench";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

}  // namespace vz::bench
