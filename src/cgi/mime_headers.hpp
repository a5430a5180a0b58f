#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cgi/line_reader.hpp"
#include "cgi/mime_part.hpp"

// The header block of a multipart part, and the request's CONTENT_TYPE, read
// into a MimePart.

// A header field by its start, without regard to case; the colon and the one
// space after it belong to the header name.
enum MimeHeaderKind : int {
  kContentTypeHeader = 0,       // "Content-Type: "
  kTransferEncodingHeader = 1,  // "Content-Transfer-Encoding: "
  kDispositionHeader = 2,       // "Content-Disposition: "
  kDescriptionHeader = 3,       // "Content-Description: "
  kMimeVersionHeader = 4,       // "Mime-Version: ", read and ignored
  kOtherHeader = 5,             // read and ignored
};

using OptionalText = std::optional<std::string>;

struct ContentTypeFields {
  OptionalText type;     // before the "/"
  OptionalText subtype;  // after the "/", empty without one
  OptionalText charset;
  OptionalText name;
  OptionalText boundary;
  OptionalText format;
};

struct DispositionFields {
  OptionalText disposition;
  OptionalText file_name;  // without its directory part
  OptionalText name;
};

// What a header block says about a part; a value no header gave is absent.
struct PartHeaderValues {
  OptionalText type;
  OptionalText subtype;
  OptionalText transfer_encoding;
  OptionalText content_type_name;
  OptionalText boundary;
  OptionalText file_name;
  OptionalText description;
  OptionalText disposition;
  OptionalText disposition_name;
  OptionalText charset;
  OptionalText format;
};

// Reads one header field with its continuation lines (lines after it that
// begin with white space) into `field`, each CR LF of it turned into one
// space. Returns -1 when the field is the last of its block (the line after
// it is exactly CR LF, which is left unread) or the input ends after it (or
// had ended before it: the field is then empty); else 0.
int CgiReadHeaderField(LineReader& reader, std::string& field);

MimeHeaderKind CgiClassifyHeader(std::string_view field);

// The values of a "Content-Type: " field: the word after the header name is
// the type and subtype, further words with a key are parameters. A key is
// taken by the first of "charset", "name", "boundary", "format" that it
// begins with (any case); others are ignored.
ContentTypeFields CgiParseContentType(std::string_view field);
// The values of a "Content-Disposition: " field: the word after the header
// name is the disposition; a key beginning with "filename" (any case) gives
// the file name, else one beginning with "name" the name.
DispositionFields CgiParseDisposition(std::string_view field);
// The word after the header name of a "Content-Transfer-Encoding: " field.
OptionalText CgiParseTransferEncoding(std::string_view field);
// The text after the header name of a "Content-Description: " field, trimmed.
OptionalText CgiParseDescription(std::string_view field);

// Turns the type, transfer encoding, disposition and format texts into codes
// and stores the other texts that are present; the name is the content
// type's, else the disposition's. Without a type the part is text/plain;
// without a transfer encoding its code is binary (2) when a type was given,
// else 7bit (0); without a disposition its code is attachment (1).
void CgiApplyPartHeaders(MimePart& part, PartHeaderValues values);

// Reads a part's header block, the reader standing on its first line, and
// applies it to `part`. The blank line after the block stays unread. A header
// given twice counts as given the second time.
void CgiParsePartHeaders(LineReader& reader, MimePart& part);

// Applies the request's CONTENT_TYPE as if it were the part's "Content-Type: "
// header: for "multipart/form-data; boundary=xyz" the part gets media type
// code 5, subtype form-data and boundary xyz.
void CgiApplyRequestContentType(MimePart& part);
