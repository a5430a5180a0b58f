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

FormEntry Named(std::string name, std::string value) {
  FormEntry entry = CgiNewEntry();
  entry.name = std::move(name);
  entry.value = std::move(value);
  return entry;
}

TEST(CollectionTable, NamesAreMatchedByEveryByte) {
  CollectionTable table(0);
  const std::string names[] = {"a", "A", "a ", std::string("a\0", 2), "", "ab"};
  for (const std::string& name : names) table.Append(Named(name, "first"));
  table.Append(Named("a", "second"));
  ASSERT_EQ(table.Count(), std::size(names));
  for (std::size_t i = 0; i < std::size(names); ++i) {
    ASSERT_EQ(table.Find(names[i]), i) << i;
    EXPECT_EQ(table.At(i).First().name, names[i]);
  }
  EXPECT_EQ(table.At(0).Count(), 2u);
  EXPECT_EQ(table.At(0).entries[1].value, "second");
  EXPECT_FALSE(table.Find("b").has_value());
  EXPECT_FALSE(CollectionTable(5).Find("a").has_value());
}

// Appending, not operator+, keeps GCC 12 from a false -Wrestrict warning.
std::string NameOf(std::size_t number) {
  std::string name("n");
  name.append(std::to_string(number));
  return name;
}

TEST(CollectionTable, GrowsPastItsReservationInArrivalOrder) {
  // Reserved for 3, filled with far more: the index grows many times over.
  CollectionTable table(3);
  constexpr std::size_t kNames = 20000;
  for (std::size_t i = 0; i < kNames; ++i) {
    table.Append(Named(NameOf(i), std::to_string(i)));
    if (i % 7 == 0) table.Append(Named("n0", std::to_string(i)));
  }
  ASSERT_EQ(table.Count(), kNames);
  for (std::size_t i = 0; i < kNames; ++i) {
    ASSERT_EQ(table.Find(NameOf(i)), i);
    ASSERT_EQ(table.At(i).First().value, std::to_string(i));
  }
  EXPECT_EQ(table.At(0).Count(), 1 + (kNames + 6) / 7);
  EXPECT_FALSE(table.Find(NameOf(kNames)).has_value());
}

}  // namespace
