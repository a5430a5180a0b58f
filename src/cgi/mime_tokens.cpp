#include "cgi/mime_tokens.hpp"

#include <cstring>
#include <utility>

#include "cgi/ascii_text.hpp"

namespace {

bool IsQuoteMark(char c) { return c == '"' || c == '\''; }

// Where the next occurrence of `find` starts at or after `from`, or npos.
std::size_t NextMatch(std::string_view text, std::string_view find, std::size_t from) {
  for (std::size_t at = text.find(find.front(), from); at != std::string_view::npos;
       at = text.find(find.front(), at + 1)) {
    if (CgiStartsWithIgnoringCase(text.substr(at + 1), find.substr(1))) {
      return at;
    }
  }
  return std::string_view::npos;
}

}  // namespace

std::optional<std::string_view> CgiNextToken(std::string_view text, std::size_t& position) {
  // A NUL ends the text; looking for it once per word would make a field of
  // many words quadratic.
  while (position < text.size() && CgiIsSpace(text[position])) {
    ++position;
  }
  if (position >= text.size() || text[position] == '\0') {
    position = text.size();
    return std::nullopt;
  }
  const std::size_t start = position;
  bool quoted = false;
  for (; position < text.size() && text[position] != '\0'; ++position) {
    const char c = text[position];
    if (quoted) {
      quoted = !IsQuoteMark(c);
    } else if (IsQuoteMark(c)) {
      quoted = true;
    } else if (CgiIsSpace(c)) {
      break;
    }
  }
  return text.substr(start, position - start);
}

std::vector<std::string> CgiSplitTokens(std::string_view text) {
  std::vector<std::string> words;
  std::size_t position = 0;
  while (const std::optional<std::string_view> word = CgiNextToken(text, position)) {
    words.emplace_back(*word);
  }
  return words;
}

MimeParameterView CgiSplitParameterView(std::string_view word) {
  MimeParameterView parameter;
  word = CgiTrimmed(word);
  if (word.empty()) {
    return parameter;
  }
  std::string_view value = word;
  if (const std::size_t equals = word.find('='); equals != std::string_view::npos) {
    parameter.key = word.substr(0, equals);
    value = word.substr(equals + 1);
  }
  if (!value.empty() && value.back() == ';') {
    value.remove_suffix(1);
  }
  if (!value.empty() && IsQuoteMark(value.front())) {
    value.remove_prefix(1);
    if (value.empty()) {
      return parameter;  // a lone mark: no value at all
    }
  }
  if (!value.empty() && IsQuoteMark(value.back())) {
    value.remove_suffix(1);
  }
  parameter.value = value;
  return parameter;
}

MimeParameter CgiSplitParameter(std::string_view word) {
  const MimeParameterView view = CgiSplitParameterView(word);
  MimeParameter parameter;
  if (view.key) {
    parameter.key.emplace(*view.key);
  }
  if (view.value) {
    parameter.value.emplace(*view.value);
  }
  return parameter;
}

std::size_t CgiReplaceAll(std::string& buffer, std::string_view find,
                          std::string_view replacement) {
  if (find.empty()) {
    return 0;
  }
  std::size_t at = NextMatch(buffer, find, 0);
  if (at == std::string_view::npos) {
    return 0;
  }
  std::size_t count = 0;
  if (replacement.size() <= find.size()) {
    // Shrinks or keeps the text: written over itself, front to back, so a
    // long header field is never held twice.
    char* const bytes = buffer.data();
    std::size_t written = at;
    std::size_t copied = at;
    for (; at != std::string_view::npos; at = NextMatch(buffer, find, copied)) {
      std::memmove(bytes + written, bytes + copied, at - copied);
      written += at - copied;
      std::memcpy(bytes + written, replacement.data(), replacement.size());
      written += replacement.size();
      copied = at + find.size();
      ++count;
    }
    std::memmove(bytes + written, bytes + copied, buffer.size() - copied);
    buffer.resize(written + buffer.size() - copied);
    return count;
  }
  const std::string_view text(buffer);
  std::string replaced;
  replaced.reserve(text.size());
  std::size_t copied = 0;
  for (; at != std::string_view::npos; at = NextMatch(text, find, copied)) {
    replaced.append(text.substr(copied, at - copied)).append(replacement);
    copied = at + find.size();
    ++count;
  }
  replaced.append(text.substr(copied));
  buffer = std::move(replaced);
  return count;
}
