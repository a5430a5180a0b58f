// The form renderer over the twenty parameters of the benchmark card: the
// menu and param.xml read once each, a value file and the widgets per
// parameter. The page it writes is collected in memory.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "bench/bench_card.hpp"
#include "descriptors/menu_form.hpp"
#include "response/response_output.hpp"

namespace {
namespace fs = std::filesystem;

// The card lives in a fresh temporary directory for the whole run; the
// renderer's card root is relative to the working directory.
class CardDirectory {
 public:
  CardDirectory() {
    std::string pattern = (fs::temp_directory_path() / "merovane-render-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("mkdtemp failed");
    }
    root_ = pattern;
    bench_card::WriteCard(root_);
    previous_ = fs::current_path();
    fs::current_path(root_ / "www" / "cgi-bin");
  }
  ~CardDirectory() {
    std::error_code ignored;
    fs::current_path(previous_, ignored);
    fs::remove_all(root_, ignored);
  }
  CardDirectory(const CardDirectory&) = delete;
  CardDirectory& operator=(const CardDirectory&) = delete;

 private:
  fs::path root_;
  fs::path previous_;
};

void BM_RenderMenuForm(benchmark::State& state) {
  const CardDirectory card;
  std::size_t page_bytes = 0;
  for (auto _ : state) {
    const response::Capture page;
    if (RenderMenuForm() != 0) {
      state.SkipWithError("the menu could not be read");
      break;
    }
    page_bytes = page.Text().size();
    benchmark::DoNotOptimize(page.Text().data());
  }
  // A row per parameter: a short page means a parameter failed to read.
  state.counters["page_bytes"] = static_cast<double>(page_bytes);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page_bytes));
}

BENCHMARK(BM_RenderMenuForm)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
