#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The growth of a multipart part's data, which may be as large as the whole
// body. Data of one line is held at its size. When a second line does not
// fit and the declared body length leaves less than 256 KiB, the data grows
// at once to what is left, so a part that ends the body is copied once more
// (its first line) rather than at every doubling; room that the part did not
// use is given back when it ends. Otherwise small data grows as any string
// does, and large data grows fourfold, but never beyond what the declared
// length says can still come (a truthful length makes one last exact step
// instead of a doubling past the part's size), and is allocated so that it
// may be backed by huge pages, where the kernel has them: a large part then
// costs a page fault per 2 MiB rather than per 4 KiB, and its bytes are
// copied at most once more on the way.
class PartData {
 public:
  // `data` receives the part's bytes. `expected` is the most the body's
  // declared length leaves for this part; 0 when nothing is known.
  PartData(std::string& data, std::uint64_t expected) : data_(data), expected_(expected) {}

  void Append(std::string_view bytes);
  // Gives back the room taken for the rest of the body that the part did not
  // fill. Called once the part's last line is in.
  void End();

 private:
  std::string& data_;
  std::uint64_t expected_;
  bool holds_rest_ = false;  // grown to what the declared length leaves
};

// Asks the kernel to back the bytes of `text`'s buffer with huge pages where
// it can; a hint, without effect where there are none.
void CgiAdviseHugePages(std::string& text);
