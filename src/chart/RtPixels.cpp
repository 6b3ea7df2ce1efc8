#include "chart/RtPixels.h"

namespace karvo {

QImage* DirectImage(QPainter& p) {
  QPaintDevice* device = p.device();
  if (!device || device->devType() != QInternal::Image) return nullptr;
  auto* image = static_cast<QImage*>(device);
  if (image->format() != QImage::Format_RGB32 && image->format() != QImage::Format_ARGB32_Premultiplied) return nullptr;
  const QTransform t = p.deviceTransform();
  if (t.type() > QTransform::TxScale || t.m11() != t.m22() || t.m11() <= 0) return nullptr;
  return image;
}

}  // namespace karvo
