// Which origins the set request takes for the card's own page: spellings of the request's own site
// are, every other site is not.
#include "update/cross_site.hpp"

#include <gtest/gtest.h>

namespace {

TEST(IsOwnOrigin, AcceptsSpellingsOfTheRequestsSiteOnly) {
  const struct {
    const char *origin, *scheme, *host;
    bool own;
  } cases[] = {
      {"http://card.example", "http", "card.example", true},
      {"HTTP://Card.Example", "http", "card.example", true},
      {"http://card.:18080", "http", "card:18080", true},
      {"http://card", "http", "card:80", true},
      {"https://card", "https", "card:443", true},
      {"https://card", "http", "card", true},  // behind a TLS terminator
      {"http://[::ffff:c0a8:1]:8080", "http", "[::ffff:192.168.0.1]:8080", true},
      {"http://[::1]", "http", "[0:0::1]:80", true},
      {"http://10.0.0.2:", "http", "10.0.0.2", true},
      {"http://card.example.evil.example", "http", "card.example", false},
      {"http://card:8080", "http", "card:8081", false},
      {"http://card:443", "https", "card", false},
      {"https://card", "http", "card:80", false},
      {"http://card..", "http", "card", false},
      {"http://[::1]", "http", "[::2]", false},
      {"http://[::1]", "http", "::1", false},
      {"http://card/", "http", "card", false},
      {"http://user@card", "http", "card", false},
      {"http://card:8o", "http", "card:8o", false},
      {"http://card:65616", "http", "card:80", false},
      {"ftp://card", "http", "card", false},
      {"null", "http", "card", false},
      {"http://", "http", "", false},
      {"http://card", "http", "", false},
  };
  for (const auto& [origin, scheme, host, own] : cases)
    EXPECT_EQ(IsOwnOrigin(origin, scheme, host), own) << origin << " " << scheme << " " << host;
}

// Without an Origin the referer's is judged: the page's address up to its path, query or fragment.
TEST(RefererOrigin, IsTheAddressUpToItsPath) {
  for (const auto& [referer, origin] : std::initializer_list<std::pair<const char*, const char*>>{
           {"http://card:8080/cgi-bin/Merovane/cardcontrol", "http://card:8080"},
           {"https://[::1]?a=/b", "https://[::1]"},
           {"http://card#top", "http://card"},
           {"http://user@card/", "http://user@card"},
           {"card/x", ""}})
    EXPECT_EQ(RefererOrigin(referer), origin) << referer;
}

}  // namespace
