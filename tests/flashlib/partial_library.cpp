// A flash library that lacks most of the nine functions: the program must fail those calls
// cleanly instead of crashing.
#include <cstdint>

extern "C" {
__attribute__((visibility("default"))) std::int32_t SetCom(const char*, std::int32_t) {
    return 1;
}
__attribute__((visibility("default"))) std::int32_t CloseCom() {
    return 1;
}
}
