#pragma once

#include "ui/signal.hpp"

#include <QObject>

#include <memory>
#include <utility>

namespace trx::ui::qt {

// Runs fn on every raise of a model's signal for as long as `owner` lives: the connection is
// cut when the owner is destroyed, so a view that goes never hears from its model again.
template <class... Args, class Fn> void follow(QObject* owner, Signal<Args...>& signal, Fn&& fn) {
    auto connection = std::make_shared<Connection>(signal.connect(std::forward<Fn>(fn)));
    QObject::connect(owner, &QObject::destroyed, [connection] { connection->disconnect(); });
}

} // namespace trx::ui::qt
