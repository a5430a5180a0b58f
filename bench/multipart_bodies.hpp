#pragma once

// Multipart bodies for the benchmarks, written straight to a stream in small
// pieces so that making a large body costs no memory of its own.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace multipart_bodies {

// As curl -F sends it.
inline const std::string kBoundary = "------------------------5c3e1a9f07b2d486";
inline const std::string kContentType = "multipart/form-data; boundary=" + kBoundary;

inline void Put(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

inline void OpenPart(std::FILE* stream, const std::string& headers) {
  Put(stream, "--" + kBoundary + "\r\n" + headers + "\r\n");
}
inline void Close(std::FILE* stream) { Put(stream, "\r\n--" + kBoundary + "--\r\n"); }

// One file part of `size` bytes of every value, NUL and line feed included
// (a line feed every 256 bytes on average), from a fixed seed.
inline void WriteFilePart(std::FILE* stream, std::size_t size) {
  OpenPart(stream,
           "Content-Disposition: form-data; name=\"firmware\"; filename=\"image.bin\"\r\n"
           "Content-Type: application/octet-stream\r\n");
  std::uint64_t state = 0;
  std::string block(64 * 1024, '\0');
  for (std::size_t written = 0; written < size; written += block.size()) {
    for (std::size_t i = 0; i < block.size(); i += 8) {
      std::uint64_t z = (state += 0x9e3779b97f4a7c15u);  // splitmix64
      z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
      z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
      z ^= z >> 31;
      for (std::size_t b = 0; b < 8; ++b) block[i + b] = static_cast<char>(z >> (8 * b));
    }
    std::fwrite(block.data(), 1, std::min(block.size(), size - written), stream);
  }
  Close(stream);
}

// A text part whose first line is `first_line` bytes long, followed by
// `short_lines` lines of 20 bytes.
inline void WriteLongFirstLine(std::FILE* stream, std::size_t first_line, std::size_t short_lines) {
  OpenPart(stream, "Content-Disposition: form-data; name=\"log\"\r\n");
  const std::string block(64 * 1024, 'a');
  for (std::size_t written = 0; written < first_line; written += block.size()) {
    std::fwrite(block.data(), 1, std::min(block.size(), first_line - written), stream);
  }
  for (std::size_t i = 0; i < short_lines; ++i) {
    std::fprintf(stream, "\r\nshort line %08zu", i);
  }
  Close(stream);
}

// A part whose disposition header goes on over `continuations` folded lines.
inline void WriteFoldedHeader(std::FILE* stream, std::size_t continuations) {
  std::string headers = "Content-Disposition: form-data; name=\"x\";";
  for (std::size_t i = 0; i < continuations; ++i) {
    headers += "\r\n\tp" + std::to_string(i) + "=\"value " + std::to_string(i) + "\";";
  }
  OpenPart(stream, headers + "\r\n");
  Put(stream, "v");
  Close(stream);
}

}  // namespace multipart_bodies
