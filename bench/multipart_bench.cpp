// Multipart parse time: a large file part against a plain byte-by-byte reader
// of the same input, a long line followed by many short ones, and a header
// folded over many lines. Each must cost time in proportion to its size.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "cgi/cgi_context.hpp"
#include "cgi/cgi_request.hpp"
#include "cgi/collection_table.hpp"
#include "cgi/multipart.hpp"
#include "multipart_bodies.hpp"

namespace {

struct CloseStream {
  void operator()(std::FILE* stream) const { std::fclose(stream); }
};
using Stream = std::unique_ptr<std::FILE, CloseStream>;

template <typename Write>
Stream Body(Write write) {
  Stream stream(std::tmpfile());
  write(stream.get());
  std::fflush(stream.get());
  return stream;
}

long StreamSize(std::FILE* stream) {
  std::fseek(stream, 0, SEEK_END);
  return std::ftell(stream);
}

// Parses the body in `stream` as the request's multipart body; the length of
// the entry `name`, or -1 when the parse failed or has no such entry.
long ParseOnce(std::FILE* stream, const char* name) {
  const auto size = static_cast<std::uint32_t>(StreamSize(stream));
  std::rewind(stream);
  CgiCreateEnvironment();
  CgiCaptureEnvironment();
  long length = -1;
  FormEntry entry;
  if (CgiParseMultipart(stream, size) == 0 && CgiFirstEntry(name, entry) == 0) {
    length = static_cast<long>(entry.value_length);
  }
  CgiFreeRequest();
  return length;
}

void RunParse(benchmark::State& state, std::FILE* stream, const char* name, long expected_length) {
  ::setenv("CONTENT_TYPE", multipart_bodies::kContentType.c_str(), 1);
  ParseOnce(stream, name);  // the allocator has the memory from now on
  for (auto _ : state) {
    if (ParseOnce(stream, name) != expected_length) {
      state.SkipWithError("wrong entry");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * StreamSize(stream));
}

constexpr std::size_t kMiB = 1024 * 1024;

// The baseline: every byte of the same body through getc_unlocked, nothing kept.
void BM_GetcUnlockedReader(benchmark::State& state) {
  const Stream body =
      Body([&](std::FILE* s) { multipart_bodies::WriteFilePart(s, state.range(0) * kMiB); });
  for (auto _ : state) {
    std::rewind(body.get());
    unsigned sum = 0;
    for (int c; (c = getc_unlocked(body.get())) != EOF;) sum += static_cast<unsigned>(c);
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(state.iterations() * StreamSize(body.get()));
}

void BM_MultipartFilePart(benchmark::State& state) {
  const std::size_t size = state.range(0) * kMiB;
  const Stream body = Body([&](std::FILE* s) { multipart_bodies::WriteFilePart(s, size); });
  RunParse(state, body.get(), "firmware", static_cast<long>(size));
}

// Arguments: the first line's length in MiB and the number of short lines.
void BM_LongFirstLine(benchmark::State& state) {
  const std::size_t first = state.range(0) * kMiB;
  const std::size_t lines = state.range(1);
  const Stream body =
      Body([&](std::FILE* s) { multipart_bodies::WriteLongFirstLine(s, first, lines); });
  RunParse(state, body.get(), "log", static_cast<long>(first + lines * 21));
}

void BM_FoldedHeader(benchmark::State& state) {
  const Stream body =
      Body([&](std::FILE* s) { multipart_bodies::WriteFoldedHeader(s, state.range(0)); });
  RunParse(state, body.get(), "x", 1);
  state.SetComplexityN(state.range(0));
}

BENCHMARK(BM_GetcUnlockedReader)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MultipartFilePart)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LongFirstLine)
    ->Args({16, 0})
    ->Args({0, 200000})
    ->Args({4, 200000})
    ->Args({16, 200000})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FoldedHeader)
    ->Arg(2500)
    ->Arg(5000)
    ->Arg(10000)
    ->Arg(20000)
    ->Arg(40000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  // Freed memory stays with the process, so each iteration measures the parse
  // and not the first touch of fresh pages, which on a virtual machine can
  // cost more than the parse itself (multipart_peak_memory shows that cost).
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
