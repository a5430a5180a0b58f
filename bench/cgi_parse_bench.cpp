// Parse time of URL-encoded forms by field count: it must grow linearly,
// whether every name is new or one name repeats.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "cgi/cgi_request.hpp"

namespace {

std::string Form(long fields, bool distinct) {
  std::string form;
  for (long i = 0; i < fields; ++i) {
    const std::string number = std::to_string(i);
    form.append(i == 0 ? "" : "&").append("oid-").append(distinct ? number : "1").append("=").append(number);
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

BENCHMARK(BM_DistinctNames)->RangeMultiplier(10)->Range(100, 100000)->Complexity(benchmark::oN)->Unit(
    benchmark::kMillisecond);
BENCHMARK(BM_RepeatedName)->RangeMultiplier(10)->Range(100, 100000)->Complexity(benchmark::oN)->Unit(
    benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
