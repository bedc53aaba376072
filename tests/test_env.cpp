// Every test program runs headless: Qt widgets use the offscreen platform unless the caller
// chose another. Test discovery starts the programs without ctest's per-test environment.
#include <cstdlib>

namespace {
const bool offscreen = [] { return ::setenv("QT_QPA_PLATFORM", "offscreen", 0) == 0; }();
} // namespace
