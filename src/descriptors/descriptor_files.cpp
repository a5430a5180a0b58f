#include "descriptors/descriptor_files.hpp"

#include <algorithm>
#include <climits>

DescriptorFile OpenDescriptorFile(const char* path) { return DescriptorFile(std::fopen(path, "r")); }

int ReadDescriptorLine(std::string& line, std::FILE* stream) {
  constexpr std::size_t kPieceLimit = MAX_LINE_LENGTH - 1;
  line.clear();
  line.reserve(kPieceLimit);
  while (line.size() < kPieceLimit) {
    const int c = std::getc(stream);
    if (c == EOF) {
      break;
    }
    line.push_back(static_cast<char>(c));
    if (c == '\n') {
      break;
    }
  }
  if (line.empty()) {
    return -1;
  }
  if (line.back() == '\n') {
    line.pop_back();
  }
  return static_cast<int>(line.size());
}

std::optional<std::string_view> FindTagText(std::string_view text, std::string_view open_tag,
                                            std::string_view close_tag) {
  const std::size_t open = text.find(open_tag);
  const std::size_t close = text.find(close_tag);
  if (open == std::string_view::npos || close == std::string_view::npos) {
    return std::nullopt;
  }
  const std::size_t start = open + open_tag.size();
  if (close < start) {
    return std::nullopt;
  }
  return text.substr(start, close - start);
}

std::string_view ValueOfValueLine(std::string_view first_line) {
  const std::size_t equals = first_line.find('=');
  if (equals == std::string_view::npos) {
    return {};
  }
  return first_line.substr(equals + 1);
}

int DecimalToInt(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r'))) {
    ++at;
  }
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    negative = text[at] == '-';
    ++at;
  }
  long long magnitude = 0;
  constexpr long long kLimit = static_cast<long long>(INT_MAX) + 1;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    magnitude = std::min(magnitude * 10 + (text[at] - '0'), kLimit);
  }
  const long long result = negative ? -magnitude : std::min(magnitude, static_cast<long long>(INT_MAX));
  return static_cast<int>(result);
}
