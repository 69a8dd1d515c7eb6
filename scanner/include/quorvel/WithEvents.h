// SPDX-License-Identifier: MIT
#pragma once
// The owner's variable for an object with an event: it holds one shared
// reference and keeps the owner's handler connected to whatever object it
// refers to. Pointing it at another object (or at none) disconnects the
// previous one first, so a replaced object that is still running can no
// longer reach the owner.

#include <memory>
#include <utility>

#include "EventSource.h"

namespace quorvel {

template <class T, class Handler>
class WithEvents {
  public:
    using Event = EventSource<Handler> T::*;

    WithEvents(Event event, Handler handler) : event_(event), handler_(std::move(handler)) {}
    WithEvents(const WithEvents&) = delete;
    WithEvents& operator=(const WithEvents&) = delete;

    WithEvents& operator=(std::shared_ptr<T> object) {
        connection_.Disconnect();
        object_ = std::move(object);
        if (object_) connection_ = ((*object_).*event_).Connect(handler_);
        return *this;
    }

    T* operator->() const { return object_.get(); }
    T& operator*() const { return *object_; }
    explicit operator bool() const { return static_cast<bool>(object_); }
    const std::shared_ptr<T>& get() const { return object_; }

  private:
    Event event_;
    Handler handler_;
    // Declared after the object: destroyed first, so the handler is
    // disconnected before the reference goes.
    std::shared_ptr<T> object_;
    typename EventSource<Handler>::Connection connection_;
};

}  // namespace quorvel
