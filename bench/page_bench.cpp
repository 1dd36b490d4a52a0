// Page work against a bare iconv conversion of the same bytes, on a ~100 KB
// page (20 results) and a ~1 MiB one (200 results).
#include <benchmark/benchmark.h>

#include "page_work.h"

namespace {

using luting::bench::BareConversion;
using luting::bench::PageWork;

void pageWork(benchmark::State& state) {
  const std::string body = luting::bench::resultPageBody(static_cast<int>(state.range(0)));
  std::size_t found = 0;
  for (auto _ : state) {
    PageWork out;  // fresh for every page, as in the worker
    luting::bench::doPageWork(body, out);
    benchmark::DoNotOptimize(out);
    found = out.titles.size();
  }
  if (found != static_cast<std::size_t>(state.range(0)))
    state.SkipWithError("the page's results were not all found");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
  state.counters["body_bytes"] = static_cast<double>(body.size());
}

void bareConversion(benchmark::State& state) {
  const std::string body = luting::bench::resultPageBody(static_cast<int>(state.range(0)));
  BareConversion conversion(body.size());
  for (auto _ : state) {
    benchmark::DoNotOptimize(conversion.run(body));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
  state.counters["body_bytes"] = static_cast<double>(body.size());
}

BENCHMARK(pageWork)->Arg(20)->Arg(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(bareConversion)->Arg(20)->Arg(200)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
