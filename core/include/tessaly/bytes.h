#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace tessaly {

// A file's bytes, read-only: a view together with whatever keeps it alive (a string of its own,
// or the block of memory the file was read into), so many files can share one allocation and
// the bytes are never copied to be handed on.
class Bytes {
  public:
    Bytes() = default;
    Bytes(std::string text);  // NOLINT: implicit, bytes are often written as a string
    Bytes(const char* text) : Bytes(std::string(text)) {}  // NOLINT
    Bytes(std::string_view view, std::shared_ptr<const void> owner)
        : view_(view), owner_(std::move(owner)) {}

    std::string_view view() const { return view_; }
    operator std::string_view() const { return view_; }  // NOLINT
    const char* data() const { return view_.data(); }
    std::size_t size() const { return view_.size(); }
    bool empty() const { return view_.empty(); }

    // Lets go of the bytes, and of the memory once nothing else shares it.
    void release() noexcept {
        view_ = {};
        owner_.reset();
    }

    friend bool operator==(const Bytes& a, std::string_view b) { return a.view_ == b; }

  private:
    std::string_view view_;
    std::shared_ptr<const void> owner_;
};

}  // namespace tessaly
