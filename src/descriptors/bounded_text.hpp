#pragma once

#include <algorithm>
#include <array>
#include <concepts>
#include <cstddef>
#include <string_view>

// A text field of fixed width N bytes, as the card's records lay them out:
// at most N - 1 characters and a terminating NUL. Whatever is assigned is cut
// to the width, so a field can never be overrun by a long descriptor text or
// request value; the cut is silent, like the card's readers always cut.
template <std::size_t N>
class BoundedText {
  static_assert(N >= 1, "a text field needs room for its terminator");

 public:
  static constexpr std::size_t kCapacity = N - 1;

  // Only the characters in use are ever set, read or copied: a record of
  // many wide fields (an option list holds fifty) costs nothing to start
  // empty or to copy beyond its texts.
  BoundedText() { chars_[0] = '\0'; }
  BoundedText(const BoundedText& other) { Assign(other.view()); }
  BoundedText& operator=(const BoundedText& other) {
    Assign(other.view());
    return *this;
  }
  // Implicit on purpose: a field takes any text and keeps what fits.
  template <typename Text>
  requires std::convertible_to<const Text&, std::string_view> BoundedText(const Text& text) {
    Assign(text);
  }

  template <typename Text>
  requires std::convertible_to<const Text&, std::string_view> BoundedText& operator=(
      const Text& text) {
    Assign(text);
    return *this;
  }

  void Assign(std::string_view text) {
    size_ = std::min(text.size(), kCapacity);
    std::copy_n(text.data(), size_, chars_.data());
    chars_[size_] = '\0';
  }

  std::string_view view() const { return {chars_.data(), size_}; }
  const char* c_str() const { return chars_.data(); }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  friend bool operator==(const BoundedText& text, std::string_view other) {
    return text.view() == other;
  }

 private:
  std::array<char, N> chars_;
  std::size_t size_ = 0;
};
