#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace trx::ui {

// A handle on one connection of a Signal: destroying it (or disconnect()) removes the
// handler. Safe in either order of destruction: a connection that outlives its signal does
// nothing. Move-only.
class Connection {
public:
    Connection() = default;
    Connection(std::weak_ptr<void> core, std::function<void()> cut)
        : core_(std::move(core)), cut_(std::move(cut)) {}
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    Connection(Connection&& o) noexcept : core_(std::move(o.core_)), cut_(std::move(o.cut_)) {}
    Connection& operator=(Connection&& o) noexcept {
        if (this != &o) {
            disconnect();
            core_ = std::move(o.core_);
            cut_ = std::move(o.cut_);
        }
        return *this;
    }
    ~Connection() { disconnect(); }

    void disconnect() {
        if (cut_ && !core_.expired()) {
            cut_();
        }
        cut_ = nullptr;
        core_.reset();
    }
    [[nodiscard]] bool connected() const { return cut_ && !core_.expired(); }

private:
    std::weak_ptr<void> core_;
    std::function<void()> cut_;
};

// The connections of one object, cut together when it is destroyed.
class Connections {
public:
    Connections& operator+=(Connection c) {
        list_.push_back(std::move(c));
        return *this;
    }
    void clear() { list_.clear(); }

private:
    std::vector<Connection> list_;
};

// A minimal synchronous signal: handlers run in connection order, on the caller's thread,
// before raise() returns. A handler may connect or disconnect handlers of the signal that is
// calling it: one connected meanwhile runs from the next raise on, one disconnected
// meanwhile does not run again (not even later in this raise).
template <class... Args> class Signal {
public:
    using Slot = std::function<void(Args...)>;

    Signal() = default;
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;
    Signal(Signal&&) = delete;
    Signal& operator=(Signal&&) = delete;
    ~Signal() = default;

    [[nodiscard]] Connection connect(Slot slot) {
        auto entry = std::make_shared<Entry>(Entry{std::move(slot), true});
        core_->entries.push_back(entry);
        std::weak_ptr<Core> core = core_;
        std::weak_ptr<Entry> weak = entry;
        return {core_, [core, weak] {
                    if (auto e = weak.lock()) {
                        e->alive = false;
                    }
                    if (auto c = core.lock()) {
                        c->prune();
                    }
                }};
    }

    void raise(Args... args) const {
        Core& c = *core_;
        ++c.raising;
        const std::size_t n = c.entries.size();
        for (std::size_t i = 0; i < n; ++i) {
            // The entry itself, not its slot in the vector: a handler may add entries, which can
            // move the vector's storage; entries go only in prune(), never during a raise.
            const Entry* e = c.entries[i].get();
            if (e->alive) {
                e->slot(args...);
            }
        }
        --c.raising;
        c.prune();
    }

    [[nodiscard]] bool empty() const { return core_->entries.empty(); }

private:
    struct Entry {
        Slot slot;
        bool alive;
    };
    struct Core {
        std::vector<std::shared_ptr<Entry>> entries;
        int raising = 0;
        // Removes the disconnected entries, but not while a raise walks the list.
        void prune() {
            if (raising > 0) {
                return;
            }
            std::erase_if(entries, [](const std::shared_ptr<Entry>& e) { return !e->alive; });
        }
    };
    std::shared_ptr<Core> core_ = std::make_shared<Core>();
};

} // namespace trx::ui
