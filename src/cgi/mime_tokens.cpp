#include "cgi/mime_tokens.hpp"

#include <utility>

#include "cgi/ascii_case.hpp"

namespace {

bool IsQuoteMark(char c) { return c == '"' || c == '\''; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && CgiIsMimeSpace(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && CgiIsMimeSpace(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

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

bool CgiIsMimeSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::vector<std::string> CgiSplitTokens(std::string_view text) {
  text = Trimmed(text.substr(0, text.find('\0')));
  std::vector<std::string> words;
  std::size_t start = 0;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      quoted = !IsQuoteMark(c);
    } else if (IsQuoteMark(c)) {
      quoted = true;
    } else if (CgiIsMimeSpace(c)) {
      if (i > start) {
        words.emplace_back(text.substr(start, i - start));
      }
      start = i + 1;
    }
  }
  if (text.size() > start) {
    words.emplace_back(text.substr(start));
  }
  return words;
}

MimeParameter CgiSplitParameter(std::string_view word) {
  MimeParameter parameter;
  word = Trimmed(word);
  if (word.empty()) {
    return parameter;
  }
  std::string_view value = word;
  if (const std::size_t equals = word.find('='); equals != std::string_view::npos) {
    parameter.key.emplace(word.substr(0, equals));
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
  parameter.value.emplace(value);
  return parameter;
}

std::size_t CgiCountMatches(std::string_view text, std::string_view find) {
  if (find.empty()) {
    return 0;
  }
  std::size_t count = 0;
  for (std::size_t at = NextMatch(text, find, 0); at != std::string_view::npos;
       at = NextMatch(text, find, at + find.size())) {
    ++count;
  }
  return count;
}

std::size_t CgiReplaceAll(std::string& buffer, std::string_view find, std::string_view replacement) {
  if (find.empty()) {
    return 0;
  }
  const std::string_view text(buffer);
  std::size_t at = NextMatch(text, find, 0);
  if (at == std::string_view::npos) {
    return 0;
  }
  std::string replaced;
  replaced.reserve(text.size());
  std::size_t count = 0;
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
