#include "shell/tray_images.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace velmor {
namespace {

// The emblem is laid out on a 16 x 16 grid whatever the output size; the vertical axis it
// turns about is x = 8, so a picture and its mirror image share one axis.
constexpr double kAxis = 8.0;
constexpr double kThickness = 1.4;  // of the emblem plate, seen when it turns edge-on
constexpr int kSlices = 5;          // depth slices that make the plate's edge solid
constexpr int kSubsamples = 4;      // per pixel and direction, for smooth edges

struct Ring {
  double center_y;
  double radius_x;
  double radius_y;
};
// A smaller ring above a larger one; they overlap slightly so the shape is one piece.
constexpr Ring kRings[] = {{4.6, 3.5, 3.5}, {11.2, 4.5, 4.2}};
constexpr double kHole = 0.5;  // inner radius as a share of the outer
constexpr double kRim = 0.14;  // width of the darker outline, same measure

struct Rgb {
  int r = 0;
  int g = 0;
  int b = 0;
};
constexpr Rgb kEdgeColour{72, 72, 76};
constexpr Rgb kCrossColour{212, 24, 24};

// The face colour at point (u, y) of the flat emblem, or nothing outside it. Lit from the
// left: the light falls off towards the right, which makes the mirror image differ.
bool FaceColour(double u, double y, Rgb& colour) {
  for (const Ring& ring : kRings) {
    const double dx = u / ring.radius_x;
    const double dy = (y - ring.center_y) / ring.radius_y;
    const double q = std::sqrt(dx * dx + dy * dy);
    if (q > 1.0 || q < kHole) continue;
    double light = 122.0 - 44.0 * (u / 4.5);
    if (q > 1.0 - kRim || q < kHole + kRim) {
      light *= 0.6;
    } else if (dx < -0.25 && dy < -0.25) {
      light = 226.0;  // a gleam on the upper left of each ring
    }
    const int level = std::clamp(static_cast<int>(std::lround(light)), 0, 255);
    colour = {level, level, std::min(255, level + 6)};
    return true;
  }
  return false;
}

// What the plate turned by `angle` about the axis shows at grid point (x, y): the face
// nearest the viewer, or else its edge.
bool EmblemColour(double x, double y, double angle, Rgb& colour) {
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  const double front = c >= 0 ? kThickness / 2 : -kThickness / 2;
  if (FaceColour((x - kAxis - s * front) / c, y, colour)) return true;
  for (int i = 0; i < kSlices; ++i) {
    const double depth = -kThickness / 2 + kThickness * i / (kSlices - 1);
    Rgb ignored;
    if (FaceColour((x - kAxis - s * depth) / c, y, ignored)) {
      colour = kEdgeColour;
      return true;
    }
  }
  return false;
}

bool OnCross(double x, double y) {
  constexpr double kHalfWidth = 0.85;
  return std::abs(x - y) / std::numbers::sqrt2 <= kHalfWidth ||
         std::abs(x + y - 16.0) / std::numbers::sqrt2 <= kHalfWidth;
}

std::uint32_t Pack(int a, int r, int g, int b) {
  return static_cast<std::uint32_t>(a) << 24 | static_cast<std::uint32_t>(r) << 16 |
         static_cast<std::uint32_t>(g) << 8 | static_cast<std::uint32_t>(b);
}

// Draws the emblem at `size` pixels. Each pixel averages its subsamples in integers, so the
// result does not depend on the order the samples are taken in. With `opaque` the emblem
// stands on the tray's grey; otherwise uncovered samples are transparent.
IconImage Draw(int size, double angle, bool crossed, bool opaque) {
  IconImage image{size, size, {}};
  image.pixels.reserve(static_cast<std::size_t>(size * size));
  const double step = 16.0 / size;
  constexpr int kCount = kSubsamples * kSubsamples;
  for (int py = 0; py < size; ++py) {
    for (int px = 0; px < size; ++px) {
      Rgb sum;
      int covered = 0;
      for (int sy = 0; sy < kSubsamples; ++sy) {
        for (int sx = 0; sx < kSubsamples; ++sx) {
          const double x = (px + (sx + 0.5) / kSubsamples) * step;
          const double y = (py + (sy + 0.5) / kSubsamples) * step;
          Rgb colour;
          bool hit = EmblemColour(x, y, angle, colour);
          if (crossed && OnCross(x, y)) {
            colour = kCrossColour;
            hit = true;
          }
          if (!hit && !opaque) continue;
          if (!hit) colour = {178, 178, 178};
          sum.r += colour.r;
          sum.g += colour.g;
          sum.b += colour.b;
          ++covered;
        }
      }
      const int n = std::max(covered, 1);
      const int alpha = opaque ? 255 : (covered * 255 + kCount / 2) / kCount;
      image.pixels.push_back(
          Pack(alpha, (sum.r + n / 2) / n, (sum.g + n / 2) / n, (sum.b + n / 2) / n));
    }
  }
  return image;
}

IconImage Mirrored(const IconImage& image) {
  IconImage mirror = image;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      mirror.pixels[static_cast<std::size_t>(y * image.width + x)] =
          image.At(image.width - 1 - x, y);
    }
  }
  return mirror;
}

}  // namespace

std::vector<IconImage> DrawTrayImages() {
  // Frames 0 to 15 sweep the half turn in equal steps, so 7 and 8 lie 6 degrees either side
  // of edge-on. Turning by 180 - a shows the mirror image of turning by a, which is how the
  // second half is made: exactly mirrored, with no rounding between the two.
  std::vector<IconImage> images(kTrayImageCount);
  constexpr int kHalf = 8;
  for (int i = 0; i < kHalf; ++i) {
    images[static_cast<std::size_t>(i)] =
        Draw(kTrayImageSize, i * std::numbers::pi / 15, false, true);
    images[static_cast<std::size_t>(15 - i)] = Mirrored(images[static_cast<std::size_t>(i)]);
  }
  images[16] = Draw(kTrayImageSize, 0.0, true, true);
  return images;
}

IconImage DrawWindowIcon(int size) {
  return Draw(size, 0.0, false, false);
}

}  // namespace velmor
