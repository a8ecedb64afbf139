// moving-desktop: fills the X display with content that moves at 30 frames
// per second, at little cost to the machine.
//
// A page of text-like lines and coloured panels scrolls upwards, and a box
// crosses the screen. Every picture is a function of the wall clock, drawn
// with server-side copies and fills, so the content a recorder sees does not
// depend on how much processor time the recorder leaves over. (A video player
// showing a test pattern takes more than a core at 1920x1080 and shows fewer
// pictures the busier the machine is, which makes recorders incomparable.)
//
//   moving-desktop [--fps N] [--speed PIXELS_PER_FRAME]
//
// Runs until it is killed or the display goes away.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Options {
  int fps = 30;
  int speed = 6;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--fps" || arg == "--speed") && i + 1 < argc) {
      const int value = std::atoi(argv[++i]);
      if (value <= 0) return false;
      (arg == "--fps" ? options.fps : options.speed) = value;
    } else {
      return false;
    }
  }
  return true;
}

// A deterministic generator, so that every run shows the same page.
uint32_t NextRandom(uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

// The page: a light background, paragraphs of dark "words", coloured panels
// and a gradient band, as on a document or web page being scrolled.
void PaintPage(XImage* image, int width, int height) {
  uint32_t seed = 12345;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t shade = 236 + ((x / 8 + y / 8) % 2) * 6;
      XPutPixel(image, x, y, (shade << 16) | (shade << 8) | shade);
    }
  for (int top = 40; top + 40 < height; top += 26) {
    if (NextRandom(seed) % 7 == 0) {  // a panel instead of a line of text
      const int panelHeight = 60 + static_cast<int>(NextRandom(seed) % 120);
      const int left = 40 + static_cast<int>(NextRandom(seed) % (width / 3));
      const int panelWidth = width / 4 + static_cast<int>(NextRandom(seed) % (width / 3));
      const uint32_t colour = NextRandom(seed) & 0xffffff;
      for (int y = top; y < std::min(height, top + panelHeight); ++y)
        for (int x = left; x < std::min(width, left + panelWidth); ++x)
          XPutPixel(image, x, y, colour ^ ((x - left) * 255 / panelWidth));
      top += panelHeight;
      continue;
    }
    int x = 40;
    while (x < width - 80) {
      const int word = 12 + static_cast<int>(NextRandom(seed) % 70);
      // Glyphs of 6x12 pixels drawn from 2x2 cells of a random 18-bit mask.
      for (int glyph = 0; glyph * 7 < word; ++glyph) {
        const uint32_t mask = NextRandom(seed);
        for (int gy = 0; gy < 12 && top + gy < height; ++gy)
          for (int gx = 0; gx < 6 && x + glyph * 7 + gx < width; ++gx)
            if (mask >> ((gy / 2) * 3 + gx / 2) & 1) XPutPixel(image, x + glyph * 7 + gx, top + gy, 0x202020);
      }
      x += word + 8;
    }
  }
}

timespec AddNanoseconds(timespec at, int64_t nanoseconds) {
  const int64_t total = at.tv_nsec + nanoseconds;
  at.tv_sec += static_cast<time_t>(total / 1000000000);
  at.tv_nsec = static_cast<long>(total % 1000000000);
  return at;
}

int64_t NanosecondsBetween(const timespec& from, const timespec& to) {
  return (to.tv_sec - from.tv_sec) * 1000000000LL + (to.tv_nsec - from.tv_nsec);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: moving-desktop [--fps N] [--speed PIXELS_PER_FRAME]\n");
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "moving-desktop: cannot open the display\n");
    return 1;
  }
  const int screen = DefaultScreen(display);
  const int width = DisplayWidth(display, screen);
  const int height = DisplayHeight(display, screen);
  const int depth = DefaultDepth(display, screen);
  const Window root = RootWindow(display, screen);

  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.background_pixel = WhitePixel(display, screen);
  const Window window = XCreateWindow(display, root, 0, 0, width, height, 0, depth, InputOutput, CopyFromParent,
                                      CWOverrideRedirect | CWBackPixel, &attributes);
  XStoreName(display, window, "moving-desktop");
  XMapRaised(display, window);

  // The page is painted once on the client and kept on the server twice over,
  // one copy below the other, so that scrolling is a single copy.
  std::vector<char> pixels(static_cast<size_t>(width) * height * 4);
  XImage* page = XCreateImage(display, DefaultVisual(display, screen), depth, ZPixmap, 0, pixels.data(), width,
                              height, 32, 0);
  PaintPage(page, width, height);
  const Pixmap strip = XCreatePixmap(display, window, width, height * 2, depth);
  const GC gc = XCreateGC(display, window, 0, nullptr);
  XPutImage(display, strip, gc, page, 0, 0, 0, 0, width, height);
  XPutImage(display, strip, gc, page, 0, 0, 0, height, width, height);
  page->data = nullptr;  // owned by the vector
  XDestroyImage(page);

  const int box = std::max(40, height / 6);
  const int64_t interval = 1000000000LL / options.fps;
  timespec start{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  for (;;) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    // Position from the clock, not from a frame counter: a late frame shows
    // where the content is now instead of falling behind.
    const int64_t frame = NanosecondsBetween(start, now) / interval;
    const int scroll = static_cast<int>((frame * options.speed) % height);
    XCopyArea(display, strip, window, gc, 0, scroll, width, height, 0, 0);
    const int travel = width - box;
    const int phase = static_cast<int>((frame * options.speed * 2) % (2 * travel));
    const int boxX = phase < travel ? phase : 2 * travel - phase;
    XSetForeground(display, gc, 0xd03030 + static_cast<unsigned long>((frame * 5) % 200));
    XFillRectangle(display, window, gc, boxX, height / 2 - box / 2, box, box);
    const std::string counter = "frame " + std::to_string(frame);
    XSetForeground(display, gc, 0xffffff);
    XDrawString(display, window, gc, boxX + 8, height / 2, counter.c_str(), static_cast<int>(counter.size()));
    XSync(display, False);

    const timespec next = AddNanoseconds(start, (frame + 1) * interval);
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
  }
}
