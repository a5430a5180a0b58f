#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "descriptors/bounded_text.hpp"

// The card's descriptor files (control_menu.xml, param.xml) and value files
// look like XML but are read line by line: every field is found by a plain
// search for its opening and closing tag within one line.

// Every line of a descriptor or value file is read through this many bytes:
// 1022 characters, the line feed and the terminator. A longer line arrives
// in pieces of at most MAX_LINE_LENGTH - 1 bytes.
inline constexpr int MAX_LINE_LENGTH = 1024;

// A menu shows at most this many parameters; further oid lines are skipped.
inline constexpr std::size_t kMenuOidLimit = 20;
// An option list keeps a label and a value per option, so 25 options at most.
inline constexpr std::size_t kListEntryCount = 50;
inline constexpr std::size_t kOptionLimit = kListEntryCount / 2;

using OidText = BoundedText<50>;
using NameText = BoundedText<50>;
// A parameter value, an option label or value, a range bound or precision.
using ValueText = BoundedText<256>;
// The type, access and display texts of a record, and its value file path.
using FieldText = BoundedText<64>;
using ListTexts = std::array<ValueText, kListEntryCount>;

// The oid list of the menu being rendered, in file order.
struct MenuDescriptor {
  std::array<OidText, kMenuOidLimit> oids;
  std::int32_t count = 0;
};

// The <type> codes that the form and the set request tell apart (see
// param_kinds.hpp). Every other code is shown as plain text and checked as
// text: display text (5) among them, the one such code cards use.
enum ParamType : std::int32_t {
  kIntegerType = 4,
  kDisplayTextType = 5,
  kDecimalType = 6,
  kTextType = 7,
  kEnumerationType = 8,
  kAddressType = 9,
};

// listKind values.
inline constexpr std::int32_t kNoList = 0;
inline constexpr std::int32_t kOptionList = 1;
inline constexpr std::int32_t kRangeList = 2;

// One parameter as the form shows it: its param.xml record and its current
// value. A default record is the empty, writable parameter of type 0.
struct ParamDescriptor {
  OidText oid;
  std::int32_t type = 0;
  NameText name;
  ValueText value;
  std::int32_t access = '1';  // the character code of "1" (writable) or "0"
  std::int32_t display = 0;
  std::int32_t listKind = kNoList;
  // Option list: number of options; range: 3.
  std::uint8_t listCount = 0;
  // Option list: label of option i in entry 2i, its value in entry 2i + 1.
  // Range: minimum, maximum and precision in entries 0 to 2.
  ListTexts listText;
};

// The bytes of a file read whole. The memory is not cleared before the read
// fills it, and moving keeps it in place, so views into it stay valid.
class FileBytes {
 public:
  // Nothing when the file cannot be opened, is no regular file or holds more
  // than kCardFileSizeBound bytes (errno EFBIG; see card_file.hpp). A read
  // error ends the bytes where it happened, as it ends a stream's lines.
  static std::optional<FileBytes> Read(const char* path);
  // A copy of `bytes`, for a text that is no file.
  explicit FileBytes(std::string_view bytes);

  std::string_view View() const { return {data_.get(), size_}; }

 private:
  explicit FileBytes(std::size_t capacity);
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
};

// A descriptor file read whole with a few system calls and then delivered
// line by line, as a line buffer takes it.
class DescriptorText {
 public:
  // Nothing when the file cannot be opened. A read error ends the text
  // where it happened, as it ends a stream's lines.
  static std::optional<DescriptorText> Load(const char* path);
  explicit DescriptorText(FileBytes text) : text_(std::move(text)) {}

  // Reads the next line, or the next MAX_LINE_LENGTH - 1 bytes of a longer
  // one, into `line`, without its line feed (a carriage return stays).
  // Returns the length of what is left, or -1 at the end of the text.
  int ReadLine(std::string& line);
  // The 1-based line of the file that the last ReadLine delivered, or
  // delivered a piece of; 0 before the first.
  int LineNumber() const { return line_number_; }
  // The next ReadLine starts again at the first line.
  void Rewind() { at_ = 0, line_number_ = 0; }

 private:
  FileBytes text_;
  std::size_t at_ = 0;
  int line_number_ = 0;
};

// The fields of a param.xml record that the form and the set request read.
enum class RecordField {
  kOid,
  kName,
  kType,
  kFile,
  kAccess,
  kDisplay,
  kProg,
  kMin,
  kMax,
  kPrecision
};
inline constexpr std::size_t kRecordFieldCount = 10;
// The names of the fields, in RecordField order.
inline constexpr std::array<std::string_view, kRecordFieldCount> kRecordFieldNames = {
    "oid", "name", "type", "file", "access", "display", "prog", "min", "max", "precision"};

// The fields of a record line, each the text between the first place of its
// opening and of its closing tag (as FindTagText finds them), all read in
// one pass over the line's "<" when the line is sorted into a record.
using RecordFields = std::array<std::optional<std::string_view>, kRecordFieldCount>;
RecordFields ReadRecordFields(std::string_view line);

// One record of param.xml: a line that fits a descriptor line (1022
// characters before its line feed) and holds an <oid>. Views into the text
// of the ParamFile it came from.
struct ParamRecord {
  int line_number;        // 1-based
  std::string_view line;  // without its line feed; a carriage return stays
  std::string_view oid;
  RecordFields fields;

  std::optional<std::string_view> Field(RecordField field) const {
    return fields[static_cast<std::size_t>(field)];
  }
};

// Copies the record's field into `destination` (cut to its width) and
// returns 0; returns 1 and leaves `destination` as it was when the field is
// absent, as ExtractTagText does.
template <std::size_t N>
int ExtractField(const ParamRecord& record, RecordField field, BoundedText<N>& destination) {
  const std::optional<std::string_view> text = record.Field(field);
  if (!text) {
    return 1;
  }
  destination = *text;
  return 0;
}

// A line of param.xml that is no record, whole and without its line feed.
struct SkippedLine {
  int line_number;  // 1-based
  std::string_view line;
};

// param.xml as every reader of it sees it: read whole once, each line looked
// at once and sorted into records, over-long lines and lines that are no
// record (no <oid>: a declaration, a comment, a wrapper element, a blank).
class ParamFile {
 public:
  // Nothing when the file cannot be opened.
  static std::optional<ParamFile> Load(const char* path);
  explicit ParamFile(FileBytes text);

  ParamFile(ParamFile&&) = default;
  ParamFile& operator=(ParamFile&&) = default;
  // A copy's views would point into the original's text.
  ParamFile(const ParamFile&) = delete;
  ParamFile& operator=(const ParamFile&) = delete;

  const std::vector<ParamRecord>& records() const { return records_; }
  // Longer than a descriptor line: a line buffer would take it in pieces.
  const std::vector<SkippedLine>& over_long_lines() const { return over_long_; }
  // Fit, but hold no <oid>.
  const std::vector<SkippedLine>& lines_without_oid() const { return without_oid_; }
  // The first record of `oid`, or null.
  const ParamRecord* Find(std::string_view oid) const;

 private:
  FileBytes text_;  // moved with its buffer, so the views stay valid
  std::vector<ParamRecord> records_;
  std::vector<SkippedLine> over_long_;
  std::vector<SkippedLine> without_oid_;
};

// The card's param.xml for one request, each over-long line logged once as
// the line the form cannot read; nothing when the file cannot be opened.
std::optional<ParamFile> LoadCardParamFile();

// The first line of a file (its first MAX_LINE_LENGTH - 1 bytes at most)
// with one open, read and close: nothing when the file cannot be opened,
// else what DescriptorText::ReadLine returns for it.
std::optional<int> ReadFirstDescriptorLine(const char* path, std::string& line);

// The text between the first `open_tag` and the first `close_tag` of `text`,
// both searched from its start; nothing when either tag is missing or the
// closing tag begins before the opening tag ends.
std::optional<std::string_view> FindTagText(std::string_view text, std::string_view open_tag,
                                            std::string_view close_tag);

// Copies the field between the tags into `destination` (cut to its width)
// and returns 0; returns 1 and leaves `destination` as it was when the field
// is absent, so a default stored beforehand stays.
template <std::size_t N>
int ExtractTagText(std::string_view text, BoundedText<N>& destination, std::string_view open_tag,
                   std::string_view close_tag) {
  const std::optional<std::string_view> field = FindTagText(text, open_tag, close_tag);
  if (!field) {
    return 1;
  }
  destination = *field;
  return 0;
}

// A value file's first line holds "key=value": the value is everything after
// the first "=", and a line without one holds no value.
std::string_view ValueOfValueLine(std::string_view first_line);

// How the form judges access: writable unless the text begins with "0"
// (absent: writable).
bool FormShowsWritable(std::optional<std::string_view> access);
// How "/set" judges access: writable when the decimal value is 1 or more
// (absent: writable, as the form shows it).
bool SetAcceptsField(std::optional<std::string_view> access);

// The decimal reading of a descriptor number: leading white space, an
// optional sign, then digits up to the first other character; 0 when no
// digit follows. Numbers beyond the int range stop at its limits.
int DecimalToInt(std::string_view text);
