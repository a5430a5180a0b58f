#include "descriptors/descriptor_files.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstring>

#include "card/card_file.hpp"
#include "card/card_file_bound.hpp"
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
  if (status.st_size < 0 || static_cast<std::uintmax_t>(status.st_size) > kCardFileSizeBound) {
    errno = EFBIG;
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
    TagPlaces places;
    if (const auto oid = places.Text(line, RecordField::kOid)) {
      records_.push_back({number, line, *oid, places});
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

namespace {

constexpr std::size_t kNoField = kRecordFieldCount;

// Whether the tag name at `name`, with `room` bytes to the end of the line,
// is the field's name followed by ">".
template <RecordField field>
bool IsFieldTag(const char* name, std::size_t room) {
  constexpr std::string_view known = kRecordFieldNames[static_cast<std::size_t>(field)];
  return room > known.size() && name[known.size()] == '>' &&
         std::memcmp(name, known.data(), known.size()) == 0;
}

// The field whose tag name starts at `name`, or kNoField. The first letter
// leaves at most two names to compare, each of a length known here.
std::size_t FieldOfTag(const char* name, std::size_t room) {
  if (room == 0) {
    return kNoField;
  }
  const auto number = [](RecordField field) { return static_cast<std::size_t>(field); };
  using enum RecordField;
  switch (name[0]) {
    case 'o':
      return IsFieldTag<kOid>(name, room) ? number(kOid) : kNoField;
    case 'n':
      return IsFieldTag<kName>(name, room) ? number(kName) : kNoField;
    case 't':
      return IsFieldTag<kType>(name, room) ? number(kType) : kNoField;
    case 'f':
      return IsFieldTag<kFile>(name, room) ? number(kFile) : kNoField;
    case 'a':
      return IsFieldTag<kAccess>(name, room) ? number(kAccess) : kNoField;
    case 'd':
      return IsFieldTag<kDisplay>(name, room) ? number(kDisplay) : kNoField;
    case 'p':
      return IsFieldTag<kProg>(name, room)        ? number(kProg)
             : IsFieldTag<kPrecision>(name, room) ? number(kPrecision)
                                                  : kNoField;
    case 'm':
      return IsFieldTag<kMin>(name, room)   ? number(kMin)
             : IsFieldTag<kMax>(name, room) ? number(kMax)
                                            : kNoField;
    default:
      return kNoField;
  }
}

// The closing tag of each field as the number its first eight bytes make,
// with a mask for the bytes of shorter tags: a closing tag is recognized in
// a few instructions where it is expected.
struct ClosingTag {
  std::uint64_t bytes = 0;
  std::uint64_t mask = 0;
  std::size_t size = 0;  // "</", the name, ">"
};

constexpr std::array<ClosingTag, kRecordFieldCount> kClosingTags = [] {
  std::array<ClosingTag, kRecordFieldCount> tags{};
  for (std::size_t field = 0; field < kRecordFieldCount; ++field) {
    const std::string_view name = kRecordFieldNames[field];
    const std::size_t size = name.size() + 3;
    std::array<char, 8> bytes{}, mask{};
    for (std::size_t i = 0; i < bytes.size() && i < size; ++i) {
      bytes[i] = i == 0 ? '<' : i == 1 ? '/' : i + 1 < size ? name[i - 2] : '>';
      mask[i] = static_cast<char>(0xff);
    }
    tags[field] = {std::bit_cast<std::uint64_t>(bytes), std::bit_cast<std::uint64_t>(mask), size};
  }
  return tags;
}();

// Whether the closing tag of `field` starts at `at`; false also where the
// line leaves fewer than eight bytes (the tag is then told apart as any).
bool IsClosingTagAt(const char* at, const char* end, std::size_t field) {
  const ClosingTag& tag = kClosingTags[field];
  if (end - at < 8 || end - at < static_cast<std::ptrdiff_t>(tag.size)) {
    return false;
  }
  std::uint64_t bytes = 0;
  std::memcpy(&bytes, at, sizeof bytes);
  if ((bytes & tag.mask) != tag.bytes) {
    return false;
  }
  // Past eight bytes: the rest of the name ("</" and its first six letters
  // were compared), then the ">".
  return tag.size <= 8 ||
         (std::memcmp(at + 8, kRecordFieldNames[field].data() + 6, tag.size - 9) == 0 &&
          at[tag.size - 1] == '>');
}

}  // namespace

TagPlaces::TagPlaces() {
  open_.fill(kAbsent);
  close_.fill(kAbsent);
}

void TagPlaces::ScanFor(std::string_view line, std::size_t field) {
  const char* const begin = line.data();
  const char* const end = begin + line.size();
  // A tag's first place is the one kept.
  const auto note = [begin](std::uint16_t& place, const char* tag) {
    if (place == kAbsent) {
      place = static_cast<std::uint16_t>(tag - begin);
    }
  };
  // Every "<" before `at` has been looked at.
  const char* at = begin + scanned_;
  while (at < end && (open_[field] == kAbsent || close_[field] == kAbsent)) {
    // A tag most often follows the one before it at once: no search then.
    if (*at != '<') {
      at = static_cast<const char*>(std::memchr(at, '<', static_cast<std::size_t>(end - at)));
      if (at == nullptr) {
        at = end;
        break;
      }
    }
    const bool closing = at + 1 < end && at[1] == '/';
    const char* const name = at + 1 + closing;
    const std::size_t found = FieldOfTag(name, static_cast<std::size_t>(end - name));
    if (found == kNoField) {
      ++at;
      continue;
    }
    note(closing ? close_[found] : open_[found], at);
    at = name + kRecordFieldNames[found].size() + 1;  // past the tag's ">"
    if (closing) {
      continue;
    }
    // An opening tag's own closing tag most often ends its text.
    const char* const next =
        static_cast<const char*>(std::memchr(at, '<', static_cast<std::size_t>(end - at)));
    if (next == nullptr) {
      at = end;
      break;
    }
    at = next;
    if (IsClosingTagAt(next, end, found)) {
      note(close_[found], next);
      at = next + kClosingTags[found].size;
    }
  }
  scanned_ = static_cast<std::uint16_t>(at - begin);
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
  // Most descriptor numbers are a single digit.
  if (text.size() == 1 && text[0] >= '0' && text[0] <= '9') {
    return text[0] - '0';
  }
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
