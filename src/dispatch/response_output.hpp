#pragma once

#include <string>
#include <string_view>

// The one buffered response stream. Everything the program writes for the
// browser goes through here, in order; tests may capture it in memory.
namespace response {

void Write(std::string_view text);
void Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Must be called before every fork, so no child inherits unwritten bytes.
void Flush();

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
