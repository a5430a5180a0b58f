#pragma once

#include <string>
#include <string_view>

// `text` with the characters that would break an attribute or the markup,
// or be taken for a format directive, replaced by character references:
// " & < > % become &quot; &amp; &lt; &gt; &#37;. Everything else stays.
std::string HtmlEscaped(std::string_view text);
