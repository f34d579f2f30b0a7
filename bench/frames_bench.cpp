// The recognition-input collector over a model space of a million entities in the simulated host
// (lines, polylines and references to nested blocks), host calls included; then the Schema 2
// writer's number formatting beside snprintf("%.17g") on the same numbers, with the texts compared.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "cadsim/control.h"
#include "frames/recognition_input.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace OrvikFrameRecognition;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// FNV-1a of the document, so that runs of different builds can show they wrote the same text.
unsigned long long Digest(const std::string& text) {
  unsigned long long h = 14695981039346656037ull;
  for (const char c : text) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  return h;
}

// A quarter each: horizontal lines, vertical lines, rectangles, references to a block that holds
// a frame and a reference one level further down.
AcDbDatabase* BuildDrawing(size_t entities) {
  AcDbDatabase* db = cadsim::databaseOf(cadsim::newDrawing());
  const AcDbObjectId space = cadsim::modelSpaceId(db);
  const AcDbObjectId inner = cadsim::addBlockDefinition(db, "INNER");
  cadsim::addLine(db, inner, AcGePoint3d(0, 0, 0), AcGePoint3d(150, 0, 0));
  const AcDbObjectId outer = cadsim::addBlockDefinition(db, "OUTER");
  cadsim::addPolyline(db, outer, {{0, 0}, {420, 0}, {420, 297}, {0, 297}}, true);
  cadsim::addBlockReference(db, outer, inner, AcGePoint3d(10, 10, 0));
  for (size_t i = 0; i < entities; ++i) {
    const double x = static_cast<double>(i % 1000) * 500.123456789, y = static_cast<double>(i / 1000) * 400.987654321;
    switch (i % 4) {
      case 0: cadsim::addLine(db, space, AcGePoint3d(x, y, 0), AcGePoint3d(x + 300.5, y, 0)); break;
      case 1: cadsim::addLine(db, space, AcGePoint3d(x, y, 0), AcGePoint3d(x, y + 200.25, 0)); break;
      case 2: cadsim::addPolyline(db, space, {{x, y}, {x + 120, y}, {x + 120, y + 80}, {x, y + 80}}, true); break;
      default: cadsim::addBlockReference(db, space, outer, AcGePoint3d(x, y, 0)); break;
    }
  }
  return db;
}

void CollectNumbers(const RecognitionInput& input, std::vector<double>& out) {
  for (const auto* lines : {&input.HorizontalLines, &input.VerticalLines})
    for (const Line2d& l : *lines) out.insert(out.end(), {l.StartPoint.X, l.StartPoint.Y, l.EndPoint.X, l.EndPoint.Y});
  for (const Bounds2d& b : input.PolylineBounds)
    out.insert(out.end(), {b.MinPoint.X, b.MinPoint.Y, b.MaxPoint.X, b.MaxPoint.Y});
}

}  // namespace

int main() {
  cadsim::reset();
  const size_t kEntities = 1000000;
  AcDbDatabase* db = BuildDrawing(kEntities);

  Fixture fixture;
  double best = 1e9;
  for (int run = 0; run < 3; ++run) {
    const Clock::time_point start = Clock::now();
    fixture = Extract(db, Settings(), "bench.dwg");
    best = std::min(best, Seconds(Clock::now() - start));
  }
  const RecognitionInput& input = fixture.RecognitionInput;
  std::printf("collector: %zu model-space entities in %.3f s = %.2f million entities/s (best of 3; H=%zu V=%zu "
              "bounds=%zu)\n",
              kEntities, best, static_cast<double>(kEntities) / best / 1e6, input.HorizontalLines.size(),
              input.VerticalLines.size(), input.PolylineBounds.size());

  std::vector<double> numbers;
  CollectNumbers(input, numbers);
  std::string ours, theirs;
  ours.reserve(numbers.size() * 24);
  theirs.reserve(numbers.size() * 24);
  Clock::time_point start = Clock::now();
  for (const double v : numbers) {
    AppendJsonNumber(ours, v);
    ours.push_back(',');
  }
  const double oursSeconds = Seconds(Clock::now() - start);
  start = Clock::now();
  for (const double v : numbers) {
    char buffer[32];
    const int n = std::snprintf(buffer, sizeof buffer, "%.17g", v);
    theirs.append(buffer, static_cast<size_t>(n));
    theirs.push_back(',');
  }
  const double snprintfSeconds = Seconds(Clock::now() - start);
  std::printf("numbers: %zu formatted in %.3f s, snprintf(\"%%.17g\") %.3f s: %.2fx as fast, texts %s\n",
              numbers.size(), oursSeconds, snprintfSeconds, snprintfSeconds / oursSeconds,
              ours == theirs ? "identical" : "DIFFER");

  start = Clock::now();
  const std::string text = Serialize(fixture);
  std::printf("Serialize: %.1f MB in %.3f s, digest %016llx\n", static_cast<double>(text.size()) / 1e6,
              Seconds(Clock::now() - start), Digest(text));
  return ours == theirs ? 0 : 1;
}
