#include "cgi/mime_headers.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <utility>
#include <vector>

#include "cgi/ascii_case.hpp"
#include "cgi/captured_variables.hpp"
#include "cgi/cgi_context.hpp"
#include "cgi/mime_tokens.hpp"

namespace {

constexpr std::array<std::string_view, 5> kHeaderNames = {
    "Content-Type: ", "Content-Transfer-Encoding: ", "Content-Disposition: ", "Content-Description: ",
    "Mime-Version: "};
static_assert(kHeaderNames.size() == kOtherHeader);

// A value's code is the position of the first keyword that it is a prefix of,
// without regard to case: an empty value is the first keyword, "app" is
// "application", "textual" is none.
constexpr std::array<std::string_view, 7> kMediaTypeKeywords = {"text",        "image",     "audio",  "video",
                                                                "application", "multipart", "message"};
constexpr int kUnknownMediaType = 7;
constexpr std::array<std::string_view, 5> kTransferEncodingKeywords = {"7bit", "8bit", "binary", "quoted-printable",
                                                                       "base64"};
constexpr int kUnknownTransferEncoding = 0;
constexpr int k7BitTransferEncoding = 0;
constexpr std::array<std::string_view, 3> kDispositionKeywords = {"inline", "attachment", "form-data"};
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

// The value of the word after the header name.
OptionalText MainValue(const std::vector<std::string>& words) {
  return words.size() < 2 ? std::nullopt : CgiSplitParameter(words[1]).value;
}

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
    field.append(*line);
    if (!following) {
      ended = true;
      break;
    }
    last = *following == "\r\n";
    const bool continued = !following->empty() && CgiIsMimeSpace(following->front());
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
  const std::vector<std::string> words = CgiSplitTokens(field);
  if (OptionalText value = MainValue(words)) {
    const std::size_t slash = value->find('/');
    if (slash == std::string::npos) {
      fields.subtype.emplace();
    } else {
      fields.subtype.emplace(value->substr(slash + 1));
      value->resize(slash);
    }
    fields.type = std::move(value);
  }
  for (std::size_t i = 2; i < words.size(); ++i) {
    MimeParameter parameter = CgiSplitParameter(words[i]);
    if (!parameter.key) {
      continue;
    }
    const std::string_view key = *parameter.key;
    if (CgiStartsWithIgnoringCase(key, "charset")) {
      fields.charset = std::move(parameter.value);
    } else if (CgiStartsWithIgnoringCase(key, "name")) {
      fields.name = std::move(parameter.value);
    } else if (CgiStartsWithIgnoringCase(key, "boundary")) {
      fields.boundary = std::move(parameter.value);
    } else if (CgiStartsWithIgnoringCase(key, "format")) {
      fields.format = std::move(parameter.value);
    }
  }
  return fields;
}

DispositionFields CgiParseDisposition(std::string_view field) {
  DispositionFields fields;
  const std::vector<std::string> words = CgiSplitTokens(field);
  fields.disposition = MainValue(words);
  for (std::size_t i = 2; i < words.size(); ++i) {
    MimeParameter parameter = CgiSplitParameter(words[i]);
    if (!parameter.key) {
      continue;
    }
    if (CgiStartsWithIgnoringCase(*parameter.key, "filename")) {
      fields.file_name = std::move(parameter.value);
    } else if (CgiStartsWithIgnoringCase(*parameter.key, "name")) {
      fields.name = std::move(parameter.value);
    }
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

OptionalText CgiParseTransferEncoding(std::string_view field) { return MainValue(CgiSplitTokens(field)); }

OptionalText CgiParseDescription(std::string_view field) {
  const std::string_view name = kHeaderNames[kDescriptionHeader];
  field = field.substr(0, field.find('\0'));
  field.remove_prefix(std::min(field.size(), name.size()));
  while (!field.empty() && CgiIsMimeSpace(field.front())) {
    field.remove_prefix(1);
  }
  while (!field.empty() && CgiIsMimeSpace(field.back())) {
    field.remove_suffix(1);
  }
  return std::string(field);
}

void CgiApplyPartHeaders(MimePart& part, PartHeaderValues values) {
  if (values.type) {
    part.media_type_code = CodeOf(*values.type, kMediaTypeKeywords, kUnknownMediaType);
  } else {
    part.media_type_code = kTextMediaType;
    part.subtype = "plain";
  }
  part.format_code = values.format ? CodeOf(*values.format, kFormatKeywords, kUnknownFormat) : kUnknownFormat;
  if (values.transfer_encoding) {
    part.transfer_encoding_code = CodeOf(*values.transfer_encoding, kTransferEncodingKeywords, kUnknownTransferEncoding);
  } else {
    part.transfer_encoding_code = values.type ? kBinaryTransferEncoding : k7BitTransferEncoding;
  }
  part.disposition_code =
      values.disposition ? CodeOf(*values.disposition, kDispositionKeywords, kUnknownDisposition) : kAttachmentDisposition;
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
