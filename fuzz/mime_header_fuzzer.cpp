// MIME header blocks: a part's header block read through the look-ahead line
// reader into a part, every field of it classified and split into words and
// parameters, and the request's CONTENT_TYPE applied to the head of a body.
//
// Input: the first line is CONTENT_TYPE, the rest is a header block (and
// whatever follows it).
#include <cstdint>
#include <cstdio>
#include <string>

#include "cgi/cgi_context.hpp"
#include "cgi/cgi_request.hpp"
#include "cgi/line_reader.hpp"
#include "cgi/mime_headers.hpp"
#include "cgi/mime_tokens.hpp"
#include "fuzz_support.hpp"

namespace {

void CheckPart(const MimePart& part) {
  FUZZ_CHECK(part.media_type_code >= 0 && part.media_type_code <= 7);
  FUZZ_CHECK(part.transfer_encoding_code >= 0 && part.transfer_encoding_code <= 4);
  FUZZ_CHECK(part.disposition_code >= 0 && part.disposition_code <= 2);
  FUZZ_CHECK(part.format_code == 0 || part.format_code == 1);
  FUZZ_CHECK(!part.file_name || part.file_name->find_first_of("/\\") == std::string::npos);
}

// One field as the parsers see it; each must take any text.
void SplitField(const std::string& field) {
  const MimeHeaderKind kind = CgiClassifyHeader(field);
  FUZZ_CHECK(kind >= kContentTypeHeader && kind <= kOtherHeader);
  for (const std::string& word : CgiSplitTokens(field)) {
    FUZZ_CHECK(!word.empty() && word.find('\0') == std::string::npos);
    const MimeParameter parameter = CgiSplitParameter(word);
    FUZZ_CHECK(!parameter.key || parameter.key->size() < word.size());
  }
  CgiParseContentType(field);
  CgiParseDisposition(field);
  CgiParseTransferEncoding(field);
  CgiParseDescription(field);
  std::string replaced = field;
  const std::size_t matches = CgiReplaceAll(replaced, "\r\n", " ");
  FUZZ_CHECK(replaced.size() + matches == field.size() &&
             replaced.find("\r\n") == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto pieces = fuzz_support::Split(fuzz_support::AsText(data, size), "\n", 2);
  std::string block(pieces.size() > 1 ? pieces[1] : std::string_view());

  fuzz_support::ClearCgiVariables();
  fuzz_support::SetVariable("CONTENT_TYPE", pieces[0]);
  CgiCreateEnvironment();
  CgiCaptureEnvironment();
  MimePart head = CgiNewPart();
  CgiApplyRequestContentType(head);
  CheckPart(head);
  CgiFreeRequest();

  // The block as a whole, into a part; the blank line after it stays unread.
  std::FILE* stream = ::fmemopen(block.data(), block.size(), "r");
  if (stream == nullptr) {
    return 0;  // an empty block: nothing to read
  }
  {
    std::optional<LineReader> reader = CgiNewLineReader(3, stream);
    FUZZ_CHECK(reader.has_value());
    MimePart part = CgiNewPart();
    CgiParsePartHeaders(*reader, part);
    CheckPart(part);
    const std::optional<std::string_view> next = CgiPeekLine(*reader);
    FUZZ_CHECK(!next || *next == "\r\n");
  }
  // Field by field.
  std::rewind(stream);
  {
    std::optional<LineReader> reader = CgiNewLineReader(3, stream);
    // Every field takes at least one line, so the block ends in time.
    std::string field;
    int last = 0;
    for (std::size_t fields = 0; last == 0 && fields <= block.size() + 1; ++fields) {
      last = CgiReadHeaderField(*reader, field);
      FUZZ_CHECK(last == 0 || last == -1);
      SplitField(field);
    }
    FUZZ_CHECK(last == -1);
  }
  std::fclose(stream);
  return 0;
}
