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

// What the Driver recorded for the input just run (boxes answered, bytes sent, diagnostics)
// is dropped, so memory stays flat however long the fuzzer runs.
inline void forget_records(trx::testkit::Driver& d) {
    (void)d.messages();
    (void)d.sent();
    d.clear_log();
}
