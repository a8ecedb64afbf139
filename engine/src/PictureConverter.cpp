#include "src/PictureConverter.h"

#include <libyuv/convert.h>

namespace capmill {

bool FastConversionFits(const AVFrame* in, const AVFrame* out) {
  if (!in || !out || in->width != out->width || in->height != out->height) return false;
  const bool bgrx = in->format == AV_PIX_FMT_BGR0 || in->format == AV_PIX_FMT_BGRA;
  return bgrx && out->format == AV_PIX_FMT_YUV420P && in->data[0] && out->data[0] && out->data[1] && out->data[2];
}

bool ConvertWithYuv(const AVFrame* in, AVFrame* out) {
  if (!FastConversionFits(in, out)) return false;
  // libyuv's "ARGB" is a little-endian word: the bytes B, G, R, A in memory,
  // which is the grabber's B, G, R, X.
  return libyuv::ARGBToI420(in->data[0], in->linesize[0], out->data[0], out->linesize[0], out->data[1],
                            out->linesize[1], out->data[2], out->linesize[2], in->width, in->height) == 0;
}

}  // namespace capmill
