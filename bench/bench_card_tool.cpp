// Lays out the benchmark card for scripts/bench and prints its request
// bodies, so the whole-process figures use the same card as the in-process
// ones.
//   bench_card card <root>              writes the card under <root>
//   bench_card body rejected|accepted   prints the URL-encoded form
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "bench/bench_card.hpp"

int main(int argc, char** argv) {
  const std::string_view command = argc > 1 ? argv[1] : "";
  const std::string_view argument = argc > 2 ? argv[2] : "";
  try {
    if (command == "card" && !argument.empty()) {
      bench_card::WriteCard(argument);
      return 0;
    }
    if (command == "body" && (argument == "rejected" || argument == "accepted")) {
      const std::string body = bench_card::FormBody(argument == "rejected");
      std::fwrite(body.data(), 1, body.size(), stdout);
      return 0;
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_card: %s\n", error.what());
    return 1;
  }
  std::fputs("usage: bench_card card <root> | bench_card body rejected|accepted\n", stderr);
  return 2;
}
