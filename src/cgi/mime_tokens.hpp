#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The words of a MIME header field and its key=value parameters.

// The words of `text` up to its first NUL, split at runs of white space. A
// quotation mark or an apostrophe opens a quoted section that runs to the
// next mark of either kind (or to the end); white space inside it belongs to
// the word, and the marks stay in it. A field "Content-Type: text/plain;
// charset=x" gives "Content-Type:", "text/plain;" and "charset=x", so a
// parameter is seen only as a word of its own.
std::vector<std::string> CgiSplitTokens(std::string_view text);
// The same words one at a time, as views into `text`: the word that starts
// at or after `position`, which moves past it; nothing when none is left. A
// header of a million words costs no more memory than its text.
std::optional<std::string_view> CgiNextToken(std::string_view text, std::size_t& position);

struct MimeParameter {
  std::optional<std::string> key;
  std::optional<std::string> value;
};
// A parameter as views into its word.
struct MimeParameterView {
  std::optional<std::string_view> key;
  std::optional<std::string_view> value;
};

// Splits a word "key=value" at its first "=" (a word without one is all
// value, without a key). The value loses one trailing ";", then one leading
// and one trailing quotation mark or apostrophe, of either kind. A value that
// is nothing but one such mark is absent; an empty word gives neither.
MimeParameter CgiSplitParameter(std::string_view word);
MimeParameterView CgiSplitParameterView(std::string_view word);

// Replaces every occurrence of `find` in `buffer` by `replacement`, in one
// pass, occurrences not overlapping; returns the number replaced. An
// occurrence matches the first character exactly and the rest without regard
// to case. An empty `find` occurs nowhere.
std::size_t CgiReplaceAll(std::string& buffer, std::string_view find, std::string_view replacement);
