// Prints the sound-to-picture offset of every flash-beep event in a recording,
// "event N at T s: offset X ms", then one summary line:
// "first X last Y drift Z ms/h min A max B". first and last are the means of
// the first and the last five events (one event alone is quantised by the
// frame interval); the drift is the least-squares slope over all events.
#include <algorithm>
#include <cstdio>

#include "AvSyncAnalysis.h"

namespace {

double MeanOffset(const std::vector<avsync::Event>& events, size_t from, size_t to) {
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += events[i].OffsetMs();
  return to > from ? sum / (to - from) : 0;
}

// Milliseconds of offset per hour of recording.
double DriftPerHour(const std::vector<avsync::Event>& events) {
  const double n = static_cast<double>(events.size());
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (const avsync::Event& event : events) {
    const double x = event.flashSeconds / 3600, y = event.OffsetMs();
    sx += x, sy += y, sxx += x * x, sxy += x * y;
  }
  const double spread = n * sxx - sx * sx;
  return spread > 0 ? (n * sxy - sx * sy) / spread : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: avsync-measure RECORDING\n");
    return 2;
  }
  const avsync::Analysis analysis = avsync::Analyze(argv[1]);
  if (!analysis.error.empty()) {
    std::fprintf(stderr, "avsync-measure: %s\n", analysis.error.c_str());
    return 1;
  }
  const std::vector<avsync::Event>& events = analysis.events;
  if (events.empty()) {
    std::fprintf(stderr, "avsync-measure: no events (%zu flashes, %zu beeps)\n", analysis.flashes.size(),
                 analysis.beeps.size());
    return 1;
  }
  double low = events[0].OffsetMs(), high = low;
  for (size_t i = 0; i < events.size(); ++i) {
    std::printf("event %zu at %.3f s: offset %+.1f ms\n", i + 1, events[i].flashSeconds, events[i].OffsetMs());
    low = std::min(low, events[i].OffsetMs());
    high = std::max(high, events[i].OffsetMs());
  }
  const size_t edge = std::min<size_t>(5, events.size());
  std::printf("first %+.1f last %+.1f drift %+.1f ms/h min %+.1f max %+.1f\n", MeanOffset(events, 0, edge),
              MeanOffset(events, events.size() - edge, events.size()), DriftPerHour(events), low, high);
  return 0;
}
