// The collection table's name index and the keyed hash behind it.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <tuple>

#include "cgi/collection_table.hpp"
#include "cgi/name_hash.hpp"

namespace {

TEST(NameHash, IsSipHash) {
  // The reference vector of SipHash-2-4: key 00..0f, message 00..0e.
  const NameHashKey key{0x0706050403020100u, 0x0f0e0d0c0b0a0908u};
  std::string message;
  for (char byte = 0; byte < 15; ++byte) message.push_back(byte);
  EXPECT_EQ((CgiSipHash<2, 4>(message, key)), 0xa129ca6149be45e5u);
  // Every request draws its own key, so a sender cannot know the spread.
  const NameHashKey first = CgiRandomNameHashKey();
  const NameHashKey second = CgiRandomNameHashKey();
  EXPECT_NE(std::tie(first.k0, first.k1), std::tie(second.k0, second.k1));
  EXPECT_NE(CgiNameHash("oid-1", first), CgiNameHash("oid-1", second));
}

// A part table filled with `names` in order, each part's data its number.
CollectionTable PartsNamed(const auto& names) {
  CollectionTable table;
  std::size_t number = 0;
  for (const std::string& name : names) {
    MimePart part = CgiNewPart();
    part.name = name;
    part.data = std::to_string(number++);
    table.AppendPart(part);
  }
  return table;
}

TEST(CollectionTable, NamesAreMatchedByEveryByte) {
  const std::string names[] = {"a", "A", "a ", "", "ab", "a"};
  const CollectionTable table = PartsNamed(names);
  ASSERT_EQ(table.Count(), std::size(names) - 1);
  for (std::size_t i = 0; i + 1 < std::size(names); ++i) {
    ASSERT_EQ(table.Find(names[i]), i) << i;
    EXPECT_EQ(table.First(i).name, names[i]);
  }
  ASSERT_EQ(table.Entries(0).size(), 2u);
  EXPECT_EQ(table.Entries(0)[1].raw_value, "5");
  EXPECT_FALSE(table.Find("b").has_value());
  EXPECT_FALSE(table.Find(std::string("a\0", 2)).has_value());
  EXPECT_FALSE(CollectionTable().Find("a").has_value());
}

// Appending, not operator+, keeps GCC 12 from a false -Wrestrict warning.
std::string NameOf(std::size_t number) {
  std::string name("n");
  name.append(std::to_string(number));
  return name;
}

TEST(CollectionTable, GrowsItsIndexInArrivalOrder) {
  // The index is rebuilt many times over, its slots' hash bits shrinking.
  constexpr std::size_t kNames = 200000;
  std::vector<std::string> names;
  std::size_t last_n0 = 0;
  for (std::size_t i = 0; i < kNames; ++i) {
    names.push_back(NameOf(i));
    if (i % 7 == 0) {
      last_n0 = names.size();
      names.push_back("n0");
    }
  }
  const CollectionTable table = PartsNamed(names);
  ASSERT_EQ(table.Count(), kNames);
  for (std::size_t i = 0; i < kNames; ++i) {
    ASSERT_EQ(table.Find(NameOf(i)), i);
    ASSERT_EQ(table.First(i).name, NameOf(i));
  }
  EXPECT_EQ(table.Entries(0).size(), 1 + (kNames + 6) / 7);
  EXPECT_EQ(table.Entries(0).back().raw_value, std::to_string(last_n0));
  EXPECT_FALSE(table.Find(NameOf(kNames)).has_value());
}

}  // namespace
