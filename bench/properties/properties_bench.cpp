// Throughput of the properties reader and parser on synthetic documents, with
// a general XML parser on the same bytes as a yardstick.
//
//   properties_bench [megabytes]     (default 16)
//
// Targets: reader at least 100 MB/s, parser into a store at least 60 MB/s.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <pugixml.hpp>
#include <string>

#include "bench/bench_timing.h"
#include "properties/properties_parser.h"
#include "properties/properties_store.h"
#include "properties/xml_reader.h"

namespace {

constexpr double kMegabyte = 1e6;

// A partner properties document of about `bytes` bytes: every value type,
// entities, comments and collapsible whitespace, unique names throughout.
std::string SyntheticDocument(size_t bytes) {
  std::string document =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<!-- synthetic partner properties -->\n"
      "<Properties>\n";
  char entry[512];
  for (unsigned i = 0; document.size() < bytes; ++i) {
    switch (i % 6) {
      case 0:
        std::snprintf(entry, sizeof entry,
                      "  <String id=\"Product.Name.%u\">Kova Launcher &amp; Friends, "
                      "edition   %u &lt;retail&gt;</String>\n",
                      i, i);
        break;
      case 1:
        std::snprintf(entry, sizeof entry,
                      "  <StringArray id=\"Mirrors.%u\">\n"
                      "    <String>https://mirror-a.example/%u/</String>\n"
                      "    <String>https://mirror-b.example/%u/</String>\n"
                      "  </StringArray>\n",
                      i, i, i);
        break;
      case 2:
        std::snprintf(entry, sizeof entry,
                      "  <Boolean id=\"Feature.%u\" note=\"toggle\">%s</Boolean>\n", i,
                      i % 4 ? "yes" : "off");
        break;
      case 3:
        std::snprintf(entry, sizeof entry,
                      "  <Integer id=\"Limit.%u\">0x%X</Integer>\n"
                      "  <!-- limits are hexadecimal -->\n",
                      i, i * 977u);
        break;
      case 4:
        std::snprintf(entry, sizeof entry, "  <Double id=\"Scale.%u\">%u.%03u</Double>\n", i,
                      i % 1000, (i * 7) % 1000);
        break;
      default:
        std::snprintf(entry, sizeof entry,
                      "  <String id=\"Message.%u\">\n    Please wait while the game is "
                      "prepared.\n    This can take a moment.\n  </String>\n",
                      i);
        break;
    }
    document += entry;
  }
  document += "</Properties>\n";
  return document;
}

size_t TokenCount(const std::string& document, bool* failed) {
  Kova::XMLParser reader;
  reader.SetSourceText(document);
  Kova::XMLToken token;
  size_t tokens = 0;
  while (reader.NextToken(token)) ++tokens;
  *failed = reader.HasError();
  return tokens;
}

void Report(const char* what, size_t bytes, double seconds, const char* note = "") {
  std::printf("%-44s %8.1f MiB %9.2f ms %9.1f MB/s%s\n", what, bytes / 1048576.0, seconds * 1e3,
              bytes / seconds / kMegabyte, note);
}

double MeasureReader(const char* what, const std::string& document, int runs) {
  bool failed = false;
  size_t tokens = 0;
  const double seconds = bench::BestSeconds(runs, [&] { tokens = TokenCount(document, &failed); });
  Report(what, document.size(), seconds, failed ? "  (ended in an error)" : "");
  return seconds;
}

// Times NextToken until the end, after SetSourceText.
double MeasureTokenLoop(const char* what, const std::string& document) {
  Kova::XMLParser reader;
  double best = 1e30;
  for (int run = 0; run < 3; ++run) {
    reader.SetSourceText(document);
    Kova::XMLToken token;
    const auto start = std::chrono::steady_clock::now();
    while (reader.NextToken(token)) {
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    best = std::min(best, elapsed.count());
  }
  Report(what, document.size(), best);
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 16;
  const std::string document = SyntheticDocument(megabytes << 20);
  constexpr int kRuns = 5;

  std::printf("Synthetic properties document, best of %d runs (MB = 10^6 bytes)\n", kRuns);
  bool failed = false;
  const size_t tokens = TokenCount(document, &failed);
  std::printf("%zu tokens%s\n\n", tokens, failed ? ", READER ERROR" : "");

  const double readerSeconds = MeasureReader("Kova::XMLParser tokenise", document, kRuns);

  bool pugixmlOk = false;
  const double pugixmlSeconds = bench::BestSeconds(kRuns, [&] {
    pugi::xml_document xml;
    pugixmlOk = xml.load_buffer(document.data(), document.size());
  });
  Report("pugixml load_buffer (default options)", document.size(), pugixmlSeconds,
         pugixmlOk ? "" : "  (parse failed)");

  size_t values = 0;
  bool parsed = false;
  const double parserSeconds = bench::BestSeconds(kRuns, [&] {
    PropertiesStore store;
    Kova::PropertiesParser parser(store);
    parsed = parser.ParseText(document);
    values = store.Strings().size() + store.StringArrays().size() + store.Booleans().size() +
             store.Integers().size() + store.Doubles().size();
  });
  Report("Kova::PropertiesParser into a store", document.size(), parserSeconds,
         parsed ? "" : "  (parse failed)");
  std::printf("%zu values stored\n\n", values);

  // Linear time: four times the input should take about four times as long.
  // Only the token loop is timed here: loading copies the text, and fresh
  // memory for that copy costs more per byte at 64 MiB than at 16 MiB
  // (large blocks come straight from the system on every run).
  const std::string large = SyntheticDocument(4 * (megabytes << 20));
  const double loopSeconds = MeasureTokenLoop("token loop only", document);
  const double largeLoopSeconds = MeasureTokenLoop("token loop only, 4x size", large);
  std::printf("time ratio 4x / 1x: %.2f\n\n", largeLoopSeconds / loopSeconds);

  // Inputs that stress single long tokens and pushed-back bytes.
  const size_t stressBytes = megabytes << 20;
  MeasureReader("one long comment", "<!-- " + std::string(stressBytes, 'c') + " -->", 3);
  MeasureReader("one long text of '&' without ';'", "<a>" + std::string(stressBytes, '&') + "</a>",
                3);
  std::string selfClosing;
  while (selfClosing.size() < stressBytes) selfClosing += "<item key=value/>";
  MeasureReader("self-closing tags", selfClosing, 3);
  std::string deep;
  for (int i = 0; i < 10000; ++i) deep += "<n>";
  for (int i = 0; i < 10000; ++i) deep += "</n>";
  MeasureReader("10,000 nested elements (path copied per token)", deep, 3);

  const bool metTargets = readerSeconds > 0 && parserSeconds > 0 &&
                          document.size() / readerSeconds >= 100 * kMegabyte &&
                          document.size() / parserSeconds >= 60 * kMegabyte;
  std::printf("\ntargets (reader >= 100 MB/s, parser >= 60 MB/s): %s\n",
              metTargets ? "met" : "NOT met");
  return failed || !parsed || !metTargets ? 1 : 0;
}
