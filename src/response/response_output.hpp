#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

// The one buffered response stream. Everything the program writes for the
// browser goes through here, in order; tests may capture it in memory.
namespace response {

// The response is gathered in a block of 32 KiB and written to standard
// output with write(2) when the block is full and at Flush: a page leaves in
// one write at the end, and the web server reading the pipe is woken once.
// Begin, called before anything is written, has what is left in the block
// sent also when the process ends through exit, and before every fork.
void Begin();

// The block and the capture, for the inline part of Write only.
namespace detail {
inline constexpr std::size_t kBlockSize = 32 * 1024;
extern std::array<char, kBlockSize> block;
extern std::size_t used;
extern std::string* capture_target;
}  // namespace detail

// Every piece that does not simply fit in the block: captured, empty, or
// one that needs the block written out first.
void WriteThroughDrain(std::string_view text);

inline void Write(std::string_view text) {
  // Inline, as most pieces are a few bytes that fit in the block.
  if (detail::capture_target == nullptr && !text.empty() &&
      text.size() <= detail::kBlockSize - detail::used) {
    std::memcpy(detail::block.data() + detail::used, text.data(), text.size());
    detail::used += text.size();
    return;
  }
  WriteThroughDrain(text);
}
void Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Returns whether everything written so far reached standard output.
bool Flush();

// While alive, response text is collected in memory instead of standard
// output (unit tests of page writers run without a separate process).
class Capture {
 public:
  Capture();
  ~Capture();
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
  std::string* previous_;
};

}  // namespace response
