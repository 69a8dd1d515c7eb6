// SPDX-License-Identifier: MIT
#pragma once
// A synchronous event: handlers run to their end, in connection order, before
// Raise returns. A Connection is an RAII token: dropping it disconnects its
// handler, even from inside a running Raise (the handler is then skipped if it
// has not run yet).

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace quorvel {

template <class Handler>
class EventSource {
    struct Slot {
        Handler handler;
        bool connected = true;
    };

  public:
    class Connection {
      public:
        Connection() = default;
        Connection(Connection&&) noexcept = default;
        Connection& operator=(Connection&& other) noexcept {
            if (this != &other) {
                Disconnect();
                slot_ = std::move(other.slot_);
            }
            return *this;
        }
        ~Connection() { Disconnect(); }
        void Disconnect() {
            if (slot_) slot_->connected = false;
            slot_.reset();
        }
        bool Connected() const { return slot_ && slot_->connected; }

      private:
        friend class EventSource;
        explicit Connection(std::shared_ptr<Slot> slot) : slot_(std::move(slot)) {}
        std::shared_ptr<Slot> slot_;
    };

    EventSource() = default;
    EventSource(const EventSource&) = delete;
    EventSource& operator=(const EventSource&) = delete;

    [[nodiscard]] Connection Connect(Handler handler) {
        // A running Raise walks the slots by index: removing one under it
        // would shift a later handler past its loop counter and skip it.
        if (raising_ == 0) Prune();
        slots_.push_back(std::make_shared<Slot>(Slot{std::move(handler), true}));
        return Connection(slots_.back());
    }

    bool HasHandlers() const {
        return std::any_of(slots_.begin(), slots_.end(),
                           [](const auto& s) { return s->connected; });
    }

    template <class... Args>
    void Raise(const Args&... args) {
        struct Depth {
            int& n;
            explicit Depth(int& depth) : n(depth) { ++n; }
            ~Depth() { --n; }
        } depth(raising_);
        // By index, holding each slot: a handler may connect (growing the
        // vector) or disconnect while we iterate.
        for (std::size_t i = 0; i < slots_.size(); ++i) {
            const std::shared_ptr<Slot> slot = slots_[i];
            if (slot->connected) slot->handler(args...);
        }
    }

  private:
    void Prune() {
        std::erase_if(slots_, [](const auto& s) { return !s->connected; });
    }

    std::vector<std::shared_ptr<Slot>> slots_;
    // Raise calls on the stack (a handler may raise again).
    int raising_ = 0;
};

}  // namespace quorvel
