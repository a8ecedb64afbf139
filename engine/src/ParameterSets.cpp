#include "src/ParameterSets.h"

#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace capmill {
namespace {

constexpr int kNalSps = 7;
constexpr int kNalPps = 8;

// Offset of the next 00 00 01 start code at or after pos, or size.
int NextStartCode(const uint8_t* data, int size, int pos) {
  for (int i = pos; i + 2 < size; ++i)
    if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) return i;
  return size;
}

}  // namespace

std::string ExtractParameterSets(const uint8_t* data, int size) {
  static const char kStartCode[] = {0, 0, 0, 1};
  std::string sps, pps;
  int start = NextStartCode(data, size, 0);
  while (start < size) {
    const int unit = start + 3;
    int end = NextStartCode(data, size, unit);
    const int next = end;
    while (end > unit && data[end - 1] == 0) --end;  // trailing zeros belong to the next start code
    if (unit < end) {
      const int type = data[unit] & 0x1f;
      std::string* into = type == kNalSps ? &sps : type == kNalPps ? &pps : nullptr;
      if (into) into->append(kStartCode, 4).append(reinterpret_cast<const char*>(data + unit), end - unit);
    }
    start = next;
  }
  if (sps.empty() || pps.empty()) return std::string();
  return sps + pps;
}

int SetExtradata(AVCodecParameters* parameters, const std::string& bytes) {
  av_freep(&parameters->extradata);
  parameters->extradata_size = 0;
  parameters->extradata = static_cast<uint8_t*>(av_mallocz(bytes.size() + AV_INPUT_BUFFER_PADDING_SIZE));
  if (!parameters->extradata) return AVERROR(ENOMEM);
  std::memcpy(parameters->extradata, bytes.data(), bytes.size());
  parameters->extradata_size = static_cast<int>(bytes.size());
  return 0;
}

}  // namespace capmill
