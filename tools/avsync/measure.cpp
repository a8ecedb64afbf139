// Prints the sound-to-picture offset of every flash-beep event in a recording:
// "event N at T s: offset X ms" and a last line "first X last Y drift Z ms/h".
#include <cstdio>

#include "AvSyncAnalysis.h"

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
  if (analysis.events.empty()) {
    std::fprintf(stderr, "avsync-measure: no events (%zu flashes, %zu beeps)\n", analysis.flashes.size(),
                 analysis.beeps.size());
    return 1;
  }
  for (size_t i = 0; i < analysis.events.size(); ++i)
    std::printf("event %zu at %.3f s: offset %+.1f ms\n", i + 1, analysis.events[i].flashSeconds,
                analysis.events[i].OffsetMs());
  const avsync::Event& first = analysis.events.front();
  const avsync::Event& last = analysis.events.back();
  const double hours = (last.flashSeconds - first.flashSeconds) / 3600;
  std::printf("first %+.1f last %+.1f drift %+.1f ms/h\n", first.OffsetMs(), last.OffsetMs(),
              hours > 0 ? (last.OffsetMs() - first.OffsetMs()) / hours : 0.0);
  return 0;
}
