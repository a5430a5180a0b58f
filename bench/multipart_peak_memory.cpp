// One request with a single file part of the given size (64 MiB unless a
// number of MiB is given), parsed from standard input as the program meets
// it: in a fresh process, every page touched for the first time. Prints the
// parse time and the peak resident memory against the bound of twice the part
// plus a few MiB; exits 1 when the bound is not kept or the entry is wrong.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cgi/cgi_request.hpp"
#include "cgi/collection_table.hpp"
#include "multipart_bodies.hpp"

namespace {

long PeakResidentKiB() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
  const std::size_t part = mib * 1024 * 1024;
  std::FILE* body = std::tmpfile();
  if (body == nullptr) return 2;
  multipart_bodies::WriteFilePart(body, part);
  std::fflush(body);
  const long body_size = std::ftell(body);
  if (::dup2(::fileno(body), STDIN_FILENO) < 0 || ::lseek(STDIN_FILENO, 0, SEEK_SET) != 0) return 2;
  ::setenv("REQUEST_METHOD", "POST", 1);
  ::setenv("CONTENT_TYPE", multipart_bodies::kContentType.c_str(), 1);
  ::setenv("CONTENT_LENGTH", std::to_string(body_size).c_str(), 1);

  const long before = PeakResidentKiB();
  const auto start = std::chrono::steady_clock::now();
  const int result = CgiParseRequest();
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  const long peak = PeakResidentKiB();
  FormEntry entry;
  const bool right =
      result == 0 && CgiFirstEntry("firmware", entry) == 0 && entry.value_length == part;

  const long part_kib = static_cast<long>(part / 1024);
  const long bound = 2 * part_kib + 8 * 1024;
  std::printf("part %zu MiB, body %ld bytes, entry %s\n", mib, body_size,
              right ? "right" : "WRONG");
  std::printf("parse %.3f s, %.1f MB/s\n", took.count(),
              static_cast<double>(body_size) / 1e6 / took.count());
  std::printf(
      "peak resident %ld KiB (%ld KiB before the parse), %.2f x the part; bound %ld KiB: %s\n",
      peak, before, static_cast<double>(peak) / static_cast<double>(part_kib), bound,
      peak <= bound ? "kept" : "EXCEEDED");
  CgiFreeRequest();
  return right && peak <= bound ? 0 : 1;
}
