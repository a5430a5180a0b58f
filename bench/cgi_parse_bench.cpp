// Parse time of URL-encoded forms: the card's own form of twenty fields, and
// forms by field count, which must grow linearly whether every name is new
// or one name repeats.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_card.hpp"
#include "cgi/cgi_request.hpp"

namespace {

std::string Form(long fields, bool distinct) {
  std::string form;
  for (long i = 0; i < fields; ++i) {
    const std::string number = std::to_string(i);
    form.append(i == 0 ? "" : "&")
        .append("oid-")
        .append(distinct ? number : "1")
        .append("=")
        .append(number);
  }
  return form;
}

void ParseQuery(benchmark::State& state, bool distinct) {
  ::setenv("REQUEST_METHOD", "GET", 1);
  ::setenv("QUERY_STRING", Form(state.range(0), distinct).c_str(), 1);
  for (auto _ : state) {
    benchmark::DoNotOptimize(CgiParseRequest());
    CgiFreeRequest();
  }
  state.SetComplexityN(state.range(0));
}

void BM_DistinctNames(benchmark::State& state) { ParseQuery(state, true); }
void BM_RepeatedName(benchmark::State& state) { ParseQuery(state, false); }

// The set request's whole use of the library for the card's form: parse,
// then look every field up as the validation does.
void BM_CardForm(benchmark::State& state) {
  const std::string body = bench_card::FormBody(true);
  std::vector<std::string> names;
  for (std::size_t start = 0; start < body.size();) {
    const std::size_t end = std::min(body.find('&', start), body.size());
    names.push_back(body.substr(start, body.find('=', start) - start));
    start = end + 1;
  }
  ::setenv("REQUEST_METHOD", "GET", 1);
  ::setenv("QUERY_STRING", body.c_str(), 1);
  std::string value;
  for (auto _ : state) {
    benchmark::DoNotOptimize(CgiParseRequest());
    for (const std::string& name : names) {
      benchmark::DoNotOptimize(CgiGetString(name, value, 50));
    }
    CgiFreeRequest();
  }
  state.counters["fields"] = static_cast<double>(names.size());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body.size()));
}

BENCHMARK(BM_CardForm)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DistinctNames)
    ->RangeMultiplier(10)
    ->Range(100, 100000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RepeatedName)
    ->RangeMultiplier(10)
    ->Range(100, 100000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
