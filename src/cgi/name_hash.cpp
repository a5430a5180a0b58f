#include "cgi/name_hash.hpp"

#include <sys/random.h>

#include <bit>
#include <chrono>
#include <cstddef>
#include <cstring>

namespace {

constexpr std::uint64_t RotateLeft(std::uint64_t x, int bits) {
  return (x << bits) | (x >> (64 - bits));
}

struct SipState {
  std::uint64_t v0, v1, v2, v3;

  void Rounds(int count) {
    for (int i = 0; i < count; ++i) {
      Round();
    }
  }

  void Absorb(std::uint64_t word, int rounds) {
    v3 ^= word;
    Rounds(rounds);
    v0 ^= word;
  }

  void Round() {
    v0 += v1;
    v1 = RotateLeft(v1, 13);
    v1 ^= v0;
    v0 = RotateLeft(v0, 32);
    v2 += v3;
    v3 = RotateLeft(v3, 16);
    v3 ^= v2;
    v0 += v3;
    v3 = RotateLeft(v3, 21);
    v3 ^= v0;
    v2 += v1;
    v1 = RotateLeft(v1, 17);
    v1 ^= v2;
    v2 = RotateLeft(v2, 32);
  }
};

// Up to eight bytes from `at`, the first byte lowest, read in one copy
// rather than byte by byte: names are short, so most of one is in its last
// word.
std::uint64_t LittleEndianWord(const char* at, std::size_t count) {
  std::uint64_t word = 0;
  std::memcpy(&word, at, count);
  if constexpr (std::endian::native == std::endian::big) {
    word = __builtin_bswap64(word);
  }
  return word;
}

}  // namespace

NameHashKey CgiRandomNameHashKey() {
  NameHashKey key;
  if (::getrandom(&key, sizeof key, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof key)) {
    return key;
  }
  const auto now =
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  key.k0 = now * 0x9e3779b97f4a7c15u;
  key.k1 = RotateLeft(now, 29) ^ static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&key));
  return key;
}

template <int CompressionRounds, int FinalRounds>
std::uint64_t CgiSipHash(std::string_view text, const NameHashKey& key) {
  SipState state{0x736f6d6570736575u ^ key.k0, 0x646f72616e646f6du ^ key.k1,
                 0x6c7967656e657261u ^ key.k0, 0x7465646279746573u ^ key.k1};
  const std::size_t whole = text.size() / 8 * 8;
  for (std::size_t at = 0; at < whole; at += 8) {
    state.Absorb(LittleEndianWord(text.data() + at, 8), CompressionRounds);
  }
  state.Absorb((static_cast<std::uint64_t>(text.size()) << 56) |
                   LittleEndianWord(text.data() + whole, text.size() - whole),
               CompressionRounds);
  state.v2 ^= 0xff;
  state.Rounds(FinalRounds);
  return state.v0 ^ state.v1 ^ state.v2 ^ state.v3;
}

template std::uint64_t CgiSipHash<1, 3>(std::string_view, const NameHashKey&);
