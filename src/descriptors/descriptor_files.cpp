#include "descriptors/descriptor_files.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "card/card_file.hpp"
#include "card/card_paths.hpp"
#include "card/error_log.hpp"

namespace {

// The start of a line: the first MAX_LINE_LENGTH - 1 bytes of `text` at
// most, ending after the first line feed among them.
std::string_view LinePiece(std::string_view text) {
  const std::string_view piece = text.substr(0, MAX_LINE_LENGTH - 1);
  const std::size_t line_feed = piece.find('\n');
  return line_feed == std::string_view::npos ? piece : piece.substr(0, line_feed + 1);
}

// Delivers a piece without its line feed.
int DeliverPiece(std::string_view piece, std::string& line) {
  if (piece.empty()) {
    return -1;
  }
  if (piece.back() == '\n') {
    piece.remove_suffix(1);
  }
  line.assign(piece);
  return static_cast<int>(line.size());
}

// A card file read whole with a few system calls; nothing when it cannot
// be opened or is no regular file. A read error ends the text where it
// happened, as it ends a stream's lines.
template <typename Bytes>
std::optional<Bytes> ReadWholeFile(const char* path) {
  struct stat status {};
  const FileDescriptor file = OpenCardFileForReading(path, 0, &status);
  if (!file) {
    return std::nullopt;
  }
  // Sized from the file, so no memory beyond its bytes is touched; one byte
  // more shows whether it grew meanwhile.
  Bytes text(static_cast<std::size_t>(status.st_size) + 1, '\0');
  std::size_t filled = 0;
  while (true) {
    if (filled == text.size()) {
      text.resize(2 * text.size());
    }
    const std::size_t wanted = text.size() - filled;
    const std::size_t got = file.Read(text.data() + filled, wanted);
    filled += got;
    // A regular file reads short only at its end.
    if (got < wanted) {
      break;
    }
  }
  text.resize(filled);
  return text;
}

}  // namespace

std::optional<DescriptorText> DescriptorText::Load(const char* path) {
  std::optional<std::string> text = ReadWholeFile<std::string>(path);
  if (!text) {
    return std::nullopt;
  }
  return DescriptorText(std::move(*text));
}

int DescriptorText::ReadLine(std::string& line) {
  const bool starts_line = at_ == 0 || text_[at_ - 1] == '\n';
  const std::string_view piece =
      LinePiece(std::string_view(text_).substr(std::min(at_, text_.size())));
  at_ += piece.size();
  if (!piece.empty() && starts_line) {
    ++line_number_;
  }
  return DeliverPiece(piece, line);
}

std::optional<ParamFile> ParamFile::Load(const char* path) {
  std::optional<std::vector<char>> text = ReadWholeFile<std::vector<char>>(path);
  if (!text) {
    return std::nullopt;
  }
  return ParamFile(std::move(*text));
}

ParamFile::ParamFile(std::vector<char> text) : text_(std::move(text)) {
  const std::string_view all(text_.data(), text_.size());
  int number = 0;
  for (std::size_t at = 0; at < all.size();) {
    const std::size_t line_feed = all.find('\n', at);
    const std::size_t end = line_feed == std::string_view::npos ? all.size() : line_feed;
    const std::string_view line = all.substr(at, end - at);
    at = end + 1;
    ++number;
    if (line.size() > MAX_LINE_LENGTH - 2) {
      over_long_.push_back({number, line});
    } else if (const auto oid = FindTagText(line, "<oid>", "</oid>")) {
      records_.push_back({number, line, *oid});
    } else {
      without_oid_.push_back({number, line});
    }
  }
}

const ParamRecord* ParamFile::Find(std::string_view oid) const {
  for (const ParamRecord& record : records_) {
    if (record.oid == oid) {
      return &record;
    }
  }
  return nullptr;
}

std::optional<ParamFile> LoadCardParamFile() {
  std::optional<ParamFile> params = ParamFile::Load(card_paths::kParamDescriptors);
  if (params) {
    // As the line buffer held it: its first piece.
    for (const SkippedLine& cut : params->over_long_lines()) {
      const std::string piece(cut.line.substr(0, MAX_LINE_LENGTH - 1));
      const std::string oid(FindTagText(piece, "<oid>", "</oid>").value_or(""));
      WriteErrorLog(
          "the param descriptor file %s's oid %s exceeds MAX_LINE_LENGTH\n the line: %s\n",
          card_paths::kParamDescriptors, oid.c_str(), piece.c_str());
    }
  }
  return params;
}

std::optional<int> ReadFirstDescriptorLine(const char* path, std::string& line) {
  const FileDescriptor file = OpenCardFileForReading(path);
  if (!file) {
    return std::nullopt;
  }
  // Only the first piece is wanted: reading stops once it is complete.
  std::string text(MAX_LINE_LENGTH - 1, '\0');
  std::size_t filled = 0;
  while (filled < text.size() &&
         std::string_view(text).substr(0, filled).find('\n') == std::string_view::npos) {
    const std::size_t got = file.Read(text.data() + filled, text.size() - filled);
    if (got == 0) {
      break;
    }
    filled += got;
  }
  return DeliverPiece(LinePiece(std::string_view(text).substr(0, filled)), line);
}

namespace {

// The first place of `tag` in `text`, as std::string_view::find gives it. A
// record line holds a "<" at every field, so the search hops from one "<" to
// the next and compares the whole tag only where its next bytes match too
// (every closing tag starts with "</").
std::size_t FindTag(std::string_view text, std::string_view tag) {
  if (tag.size() < 3) {
    return text.find(tag);
  }
  if (text.size() < tag.size()) {
    return std::string_view::npos;
  }
  const char* const begin = text.data();
  const char* const last = begin + (text.size() - tag.size());  // the last place a tag fits
  for (const char* at = begin; at <= last; ++at) {
    at = static_cast<const char*>(std::memchr(at, tag[0], static_cast<std::size_t>(last - at) + 1));
    if (at == nullptr) {
      break;
    }
    if (at[1] == tag[1] && at[2] == tag[2] && std::memcmp(at, tag.data(), tag.size()) == 0) {
      return static_cast<std::size_t>(at - begin);
    }
  }
  return std::string_view::npos;
}

}  // namespace

std::optional<std::string_view> FindTagText(std::string_view text, std::string_view open_tag,
                                            std::string_view close_tag) {
  const std::size_t open = FindTag(text, open_tag);
  const std::size_t close = FindTag(text, close_tag);
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

std::optional<std::string_view> AccessText(std::string_view line) {
  return FindTagText(line, "<access>", "</access>");
}

bool FormShowsWritable(std::optional<std::string_view> access) {
  return !access || !access->starts_with('0');
}

bool SetAcceptsField(std::optional<std::string_view> access) {
  return !access || DecimalToInt(*access) >= 1;
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
  const long long result =
      negative ? -magnitude : std::min(magnitude, static_cast<long long>(INT_MAX));
  return static_cast<int>(result);
}
