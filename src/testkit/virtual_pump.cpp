#include "testkit/virtual_pump.hpp"

#include <chrono>
#include <stdexcept>

namespace trx::testkit {

bool VirtualPump::pump_until(const std::function<bool()>& done) {
    while (!done()) {
        if (quitting_) {
            return false;
        }
        if (!clock_.has_scheduled()) {
            throw std::runtime_error("the program waits for a reply that no scheduled receive "
                                     "can bring (script it with receive_later first)");
        }
        clock_.advance(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace trx::testkit
