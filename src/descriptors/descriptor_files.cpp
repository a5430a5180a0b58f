#include "descriptors/descriptor_files.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
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

}  // namespace

FileBytes::FileBytes(std::size_t capacity)
    : data_(std::make_unique_for_overwrite<char[]>(capacity)), size_(capacity) {}

FileBytes::FileBytes(std::string_view bytes) : FileBytes(bytes.size()) {
  std::copy(bytes.begin(), bytes.end(), data_.get());
}

// Read with a few system calls into memory sized from the file, so no byte
// beyond its own is touched; one byte more shows whether it grew meanwhile.
// The size is bounded before any arithmetic is done with it.
std::optional<FileBytes> FileBytes::Read(const char* path) {
  struct stat status {};
  const FileDescriptor file = OpenCardFileForReading(path, 0, &status);
  if (!file) {
    return std::nullopt;
  }
  FileBytes bytes(static_cast<std::size_t>(status.st_size) + 1);
  std::size_t filled = 0;
  while (true) {
    if (filled > kCardFileSizeBound) {
      errno = EFBIG;  // it grew past the bound while it was read
      return std::nullopt;
    }
    if (filled == bytes.size_) {
      FileBytes larger(2 * bytes.size_);
      std::copy(bytes.data_.get(), bytes.data_.get() + filled, larger.data_.get());
      bytes = std::move(larger);
    }
    const std::size_t wanted = bytes.size_ - filled;
    const std::size_t got = file.Read(bytes.data_.get() + filled, wanted);
    filled += got;
    // A regular file reads short only at its end.
    if (got < wanted) {
      break;
    }
  }
  bytes.size_ = filled;
  return bytes;
}

std::optional<DescriptorText> DescriptorText::Load(const char* path) {
  std::optional<FileBytes> text = FileBytes::Read(path);
  if (!text) {
    return std::nullopt;
  }
  return DescriptorText(std::move(*text));
}

int DescriptorText::ReadLine(std::string& line) {
  const std::string_view text = text_.View();
  const bool starts_line = at_ == 0 || text[at_ - 1] == '\n';
  const std::string_view piece = LinePiece(text.substr(std::min(at_, text.size())));
  at_ += piece.size();
  if (!piece.empty() && starts_line) {
    ++line_number_;
  }
  return DeliverPiece(piece, line);
}

std::optional<ParamFile> ParamFile::Load(const char* path) {
  std::optional<FileBytes> text = FileBytes::Read(path);
  if (!text) {
    return std::nullopt;
  }
  return ParamFile(std::move(*text));
}

ParamFile::ParamFile(FileBytes text) : text_(std::move(text)) {
  const std::string_view all = text_.View();
  // Records are seldom shorter than 128 bytes: the list is mostly
  // allocated once, and never beyond a fraction of the text's size.
  records_.reserve(all.size() / 128 + 1);
  int number = 0;
  for (std::size_t at = 0; at < all.size();) {
    const std::size_t line_feed = all.find('\n', at);
    const std::size_t end = line_feed == std::string_view::npos ? all.size() : line_feed;
    const std::string_view line = all.substr(at, end - at);
    at = end + 1;
    ++number;
    if (line.size() > MAX_LINE_LENGTH - 2) {
      over_long_.push_back({number, line});
      continue;
    }
    const RecordFields fields = ReadRecordFields(line);
    if (const auto oid = fields[static_cast<std::size_t>(RecordField::kOid)]) {
      records_.push_back({number, line, *oid, fields});
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
  std::array<char, MAX_LINE_LENGTH - 1> text;
  std::size_t filled = 0;
  while (filled < text.size() &&
         std::string_view(text.data(), filled).find('\n') == std::string_view::npos) {
    const std::size_t got = file.Read(text.data() + filled, text.size() - filled);
    if (got == 0) {
      break;
    }
    filled += got;
  }
  return DeliverPiece(LinePiece(std::string_view(text.data(), filled)), line);
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

RecordFields ReadRecordFields(std::string_view line) {
  // Every tag starts at a "<": looking at each one finds the first place of
  // every field's tags, as a search for each tag would.
  constexpr std::size_t kNowhere = std::string_view::npos;
  std::array<std::size_t, kRecordFieldCount> open, close;
  open.fill(kNowhere);
  close.fill(kNowhere);
  for (std::size_t at = line.find('<'); at != kNowhere; at = line.find('<', at + 1)) {
    const bool closing = line.substr(at + 1).starts_with('/');
    const std::string_view tag = line.substr(at + 1 + closing);
    for (std::size_t field = 0; field < kRecordFieldCount; ++field) {
      const std::string_view name = kRecordFieldNames[field];
      if (tag.size() > name.size() && tag[name.size()] == '>' && tag.starts_with(name)) {
        std::size_t& place = closing ? close[field] : open[field];
        place = std::min(place, at);
        break;
      }
    }
  }
  RecordFields fields;
  for (std::size_t field = 0; field < kRecordFieldCount; ++field) {
    // "<", the name and ">".
    const std::size_t start = open[field] + kRecordFieldNames[field].size() + 2;
    if (open[field] != kNowhere && close[field] != kNowhere && close[field] >= start) {
      fields[field] = line.substr(start, close[field] - start);
    }
  }
  return fields;
}

std::string_view ValueOfValueLine(std::string_view first_line) {
  const std::size_t equals = first_line.find('=');
  if (equals == std::string_view::npos) {
    return {};
  }
  return first_line.substr(equals + 1);
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
