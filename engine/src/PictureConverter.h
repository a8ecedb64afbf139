// Turns a captured screen picture into the encoder's picture. A capture of the
// encoder's own size in the grabber's B,G,R,X order goes through libyuv's SIMD
// conversion; any other picture through libswscale.
#pragma once

extern "C" {
#include <libavutil/frame.h>
}

namespace capmill {

// Whether the fast path takes this pair: same size, a 32-bit B,G,R,X (or
// B,G,R,A) picture in, planar YUV 4:2:0 out.
bool FastConversionFits(const AVFrame* in, const AVFrame* out);
// The fast path: BT.601 limited range, as libswscale's default. False when
// the pair does not fit or the conversion refused.
bool ConvertWithYuv(const AVFrame* in, AVFrame* out);

}  // namespace capmill
