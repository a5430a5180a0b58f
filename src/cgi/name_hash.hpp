#pragma once

#include <cstdint>
#include <string_view>

// The hash of submitted names. Names come from the request, so a fixed hash
// function would let a sender choose names that all land together and turn
// every lookup into a walk over them. SipHash with a key drawn for each
// request keeps the spread out of the sender's hands.
struct NameHashKey {
  std::uint64_t k0 = 0;
  std::uint64_t k1 = 0;
};

// A fresh random key (from the kernel; from the clock and an address when
// the kernel cannot give one).
NameHashKey CgiRandomNameHashKey();

// SipHash-c-d of `text` under `key`: c compression rounds per 8 bytes and d
// finalisation rounds. Names use SipHash-1-3.
template <int CompressionRounds, int FinalRounds>
std::uint64_t CgiSipHash(std::string_view text, const NameHashKey& key);

inline std::uint64_t CgiNameHash(std::string_view name, const NameHashKey& key) {
  return CgiSipHash<1, 3>(name, key);
}
