#pragma once

#include <stdexcept>
#include <string>

namespace trx {

// A decoding step that cannot go on: a field that must be a number and is not, a read past
// the end of the receive buffer, an arithmetic overflow. Only the port event entry catches it.
class Fault : public std::runtime_error {
public:
    explicit Fault(const std::string& what) : std::runtime_error(what) {}
};

} // namespace trx
