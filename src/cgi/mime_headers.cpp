#include "cgi/mime_headers.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <utility>
#include <vector>

#include "cgi/ascii_text.hpp"
#include "cgi/captured_variables.hpp"
#include "cgi/cgi_context.hpp"
#include "cgi/mime_tokens.hpp"

namespace {

constexpr std::array<std::string_view, 5> kHeaderNames = {
    "Content-Type: ", "Content-Transfer-Encoding: ", "Content-Disposition: ",
    "Content-Description: ", "Mime-Version: "};
static_assert(kHeaderNames.size() == kOtherHeader);

// A value's code is the position of the first keyword that it is a prefix of,
// without regard to case: an empty value is the first keyword, "app" is
// "application", "textual" is none.
constexpr std::array<std::string_view, 7> kMediaTypeKeywords = {
    "text", "image", "audio", "video", "application", "multipart", "message"};
constexpr int kUnknownMediaType = 7;
constexpr std::array<std::string_view, 5> kTransferEncodingKeywords = {
    "7bit", "8bit", "binary", "quoted-printable", "base64"};
constexpr int kUnknownTransferEncoding = 0;
constexpr int k7BitTransferEncoding = 0;
constexpr std::array<std::string_view, 3> kDispositionKeywords = {"inline", "attachment",
                                                                  "form-data"};
constexpr int kUnknownDisposition = 1;
constexpr int kAttachmentDisposition = 1;
constexpr std::array<std::string_view, 2> kFormatKeywords = {"fixed", "flowed"};
constexpr int kUnknownFormat = 0;
constexpr int kTextMediaType = 0;

template <std::size_t N>
int CodeOf(std::string_view value, const std::array<std::string_view, N>& keywords, int no_match) {
  for (std::size_t code = 0; code < N; ++code) {
    if (CgiStartsWithIgnoringCase(keywords[code], value)) {
      return static_cast<int>(code);
    }
  }
  return no_match;
}

OptionalText TextOf(std::optional<std::string_view> view) {
  return view ? OptionalText(std::in_place, *view) : std::nullopt;
}

// The words of a field after its header name, one at a time: the main value,
// then the parameters. Words are views into the field, never copies.
class FieldWords {
 public:
  explicit FieldWords(std::string_view field) : field_(field) { CgiNextToken(field_, position_); }
  std::optional<std::string_view> Next() { return CgiNextToken(field_, position_); }
  // The value of the word after the header name.
  OptionalText MainValue() {
    const std::optional<std::string_view> word = Next();
    return word ? TextOf(CgiSplitParameterView(*word).value) : std::nullopt;
  }

 private:
  std::string_view field_;
  std::size_t position_ = 0;
};

}  // namespace

int CgiReadHeaderField(LineReader& reader, std::string& field) {
  field.clear();
  bool last = false;
  bool ended = false;
  for (;;) {
    const std::optional<std::string_view> line = CgiNextLine(reader);
    if (!line) {
      ended = true;
      break;
    }
    const std::optional<std::string_view> following = CgiPeekLine(reader);
    if (field.empty()) {
      field.assign(*line);  // exactly its size: most fields are one line
    } else {
      field.append(*line);
    }
    if (!following) {
      ended = true;
      break;
    }
    last = *following == "\r\n";
    const bool continued = !following->empty() && CgiIsSpace(following->front());
    if (last || !continued) {
      break;
    }
  }
  CgiReplaceAll(field, "\r\n", " ");
  return last || ended ? -1 : 0;
}

MimeHeaderKind CgiClassifyHeader(std::string_view field) {
  for (std::size_t kind = 0; kind < kHeaderNames.size(); ++kind) {
    if (CgiStartsWithIgnoringCase(field, kHeaderNames[kind])) {
      return static_cast<MimeHeaderKind>(kind);
    }
  }
  return kOtherHeader;
}

ContentTypeFields CgiParseContentType(std::string_view field) {
  ContentTypeFields fields;
  FieldWords words(field);
  if (OptionalText value = words.MainValue()) {
    const std::size_t slash = value->find('/');
    if (slash == std::string::npos) {
      fields.subtype.emplace();
    } else {
      fields.subtype.emplace(value->substr(slash + 1));
      value->resize(slash);
    }
    fields.type = std::move(value);
  }
  while (const std::optional<std::string_view> word = words.Next()) {
    const MimeParameterView parameter = CgiSplitParameterView(*word);
    if (!parameter.key) {
      continue;
    }
    const std::string_view key = *parameter.key;
    if (CgiStartsWithIgnoringCase(key, "charset")) {
      fields.charset = TextOf(parameter.value);
    } else if (CgiStartsWithIgnoringCase(key, "name")) {
      fields.name = TextOf(parameter.value);
    } else if (CgiStartsWithIgnoringCase(key, "boundary")) {
      fields.boundary = TextOf(parameter.value);
    } else if (CgiStartsWithIgnoringCase(key, "format")) {
      fields.format = TextOf(parameter.value);
    }
  }
  return fields;
}

DispositionFields CgiParseDisposition(std::string_view field) {
  DispositionFields fields;
  FieldWords words(field);
  fields.disposition = words.MainValue();
  // Only the last of each parameter counts: it is copied once, at the end.
  std::optional<std::optional<std::string_view>> file_name;
  std::optional<std::optional<std::string_view>> name;
  while (const std::optional<std::string_view> word = words.Next()) {
    const MimeParameterView parameter = CgiSplitParameterView(*word);
    if (!parameter.key) {
      continue;
    }
    if (CgiStartsWithIgnoringCase(*parameter.key, "filename")) {
      file_name = parameter.value;
    } else if (CgiStartsWithIgnoringCase(*parameter.key, "name")) {
      name = parameter.value;
    }
  }
  if (file_name) {
    fields.file_name = TextOf(*file_name);
  }
  if (name) {
    fields.name = TextOf(*name);
  }
  // Browsers of some systems send the whole path of a chosen file.
  if (fields.file_name) {
    const std::size_t separator = fields.file_name->find_last_of("/\\");
    if (separator != std::string::npos) {
      fields.file_name->erase(0, separator + 1);
    }
  }
  return fields;
}

OptionalText CgiParseTransferEncoding(std::string_view field) {
  return FieldWords(field).MainValue();
}

OptionalText CgiParseDescription(std::string_view field) {
  const std::string_view name = kHeaderNames[kDescriptionHeader];
  field = field.substr(0, field.find('\0'));
  field.remove_prefix(std::min(field.size(), name.size()));
  return std::string(CgiTrimmed(field));
}

void CgiApplyPartHeaders(MimePart& part, PartHeaderValues values) {
  if (values.type) {
    part.media_type_code = CodeOf(*values.type, kMediaTypeKeywords, kUnknownMediaType);
  } else {
    part.media_type_code = kTextMediaType;
    part.subtype = "plain";
  }
  part.format_code =
      values.format ? CodeOf(*values.format, kFormatKeywords, kUnknownFormat) : kUnknownFormat;
  if (values.transfer_encoding) {
    part.transfer_encoding_code =
        CodeOf(*values.transfer_encoding, kTransferEncodingKeywords, kUnknownTransferEncoding);
  } else {
    part.transfer_encoding_code = values.type ? kBinaryTransferEncoding : k7BitTransferEncoding;
  }
  part.disposition_code =
      values.disposition ? CodeOf(*values.disposition, kDispositionKeywords, kUnknownDisposition)
                         : kAttachmentDisposition;
  const auto store = [](OptionalText& into, OptionalText& value) {
    if (value) {
      into = std::move(value);
    }
  };
  store(part.subtype, values.subtype);
  store(part.file_name, values.file_name);
  store(part.charset, values.charset);
  store(part.boundary, values.boundary);
  store(part.description, values.description);
  store(part.name, values.content_type_name ? values.content_type_name : values.disposition_name);
}

void CgiParsePartHeaders(LineReader& reader, MimePart& part) {
  PartHeaderValues values;
  std::string field;
  int result = 0;
  do {
    result = CgiReadHeaderField(reader, field);
    switch (CgiClassifyHeader(field)) {
      case kContentTypeHeader: {
        ContentTypeFields content_type = CgiParseContentType(field);
        values.type = std::move(content_type.type);
        values.subtype = std::move(content_type.subtype);
        values.charset = std::move(content_type.charset);
        values.content_type_name = std::move(content_type.name);
        values.boundary = std::move(content_type.boundary);
        values.format = std::move(content_type.format);
        break;
      }
      case kTransferEncodingHeader:
        values.transfer_encoding = CgiParseTransferEncoding(field);
        break;
      case kDispositionHeader: {
        DispositionFields disposition = CgiParseDisposition(field);
        values.disposition = std::move(disposition.disposition);
        values.file_name = std::move(disposition.file_name);
        values.disposition_name = std::move(disposition.name);
        break;
      }
      case kDescriptionHeader:
        values.description = CgiParseDescription(field);
        break;
      case kMimeVersionHeader:
      case kOtherHeader:
        break;
    }
  } while (result != -1);
  CgiApplyPartHeaders(part, std::move(values));
}

void CgiApplyRequestContentType(MimePart& part) {
  std::string header(kHeaderNames[kContentTypeHeader]);
  header.append(CgiCapturedValue(kContentTypeSlot).value_or("")).append("\r\n");
  ContentTypeFields content_type = CgiParseContentType(header);
  PartHeaderValues values;
  values.type = std::move(content_type.type);
  values.subtype = std::move(content_type.subtype);
  values.content_type_name = std::move(content_type.name);
  values.boundary = std::move(content_type.boundary);
  values.charset = std::move(content_type.charset);
  values.format = std::move(content_type.format);
  CgiApplyPartHeaders(part, std::move(values));
}
