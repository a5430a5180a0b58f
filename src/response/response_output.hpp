#pragma once

#include <string>
#include <string_view>

// The one buffered response stream. Everything the program writes for the
// browser goes through here, in order; tests may capture it in memory.
namespace response {

// The response is gathered in a block of 32 KiB and written to standard
// output with write(2) when the block is full and at Flush: a page leaves in
// one write at the end, and the web server reading the pipe is woken once.
// Begin, called before anything is written, has what is left in the block
// sent also when the process ends through exit.
void Begin();

void Write(std::string_view text);
void Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Must be called before every fork, so no child inherits unwritten bytes.
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
