#pragma once

#include "testkit/driver.hpp"

// The one started program a fuzz target feeds, with its port open. Made once and never
// destroyed: libFuzzer calls the target until the process ends.
inline trx::testkit::Driver& fuzz_driver() {
    static trx::testkit::Driver* d = [] {
        auto* drv = new trx::testkit::Driver();
        drv->start();
        (void)drv->program().services().port.open();
        return drv;
    }();
    return *d;
}
