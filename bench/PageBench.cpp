// How long the page takes to build and to put on disk, by number of rows.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "page/FormPage.h"
#include "page/PageFile.h"

namespace {

vantrel::FieldList fieldsOfEveryKind(int rows) {
  vantrel::FieldList fields;
  for (int i = 0; i < rows; ++i) {
    const auto type = static_cast<vantrel::FieldType>(i % vantrel::kFieldTypeCount);
    fields.append(
        vantrel::FormField{"feld" + std::to_string(i), std::string(vantrel::typeTextOf(type)),
                           "Beschriftung mit \xFC und \"Anf\xFChrung\"", "Inhalt \"vorgegeben\"",
                           "40", "5", i % 2 ? "0" : "80", i % 3 ? "Ja" : "Nein", "Nein"});
  }
  return fields;
}

void generatePage(benchmark::State& state) {
  const vantrel::FieldList fields = fieldsOfEveryKind(static_cast<int>(state.range(0)));
  size_t bytes = 0;
  for (auto _ : state) {
    const std::string page =
        vantrel::generateFormPage(fields, "a@b.de", vantrel::FormMailAddress());
    bytes = page.size();
    benchmark::DoNotOptimize(page.data());
  }
  state.counters["page_bytes"] = static_cast<double>(bytes);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(generatePage)->Arg(0)->Arg(20)->Arg(1000)->Arg(100000);

// Writing includes the flush to disk that makes the replacement safe.
void writePage(benchmark::State& state) {
  const vantrel::FieldList fields = fieldsOfEveryKind(static_cast<int>(state.range(0)));
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("vantrel-page-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  for (auto _ : state) {
    if (!vantrel::writeFormPage(folder, fields, "a@b.de")) state.SkipWithError("write failed");
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(writePage)->Arg(20)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
