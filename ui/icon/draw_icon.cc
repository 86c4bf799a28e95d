// Draws the program's icon, a magnifier over a hard drive, and writes it as an .ico file with a
// 16- and a 32-pixel image (32-bit colour with alpha). Built and run on the build machine while
// the Windows program is built, so the icon is made from this description, never stored.
//
// Usage: draw_icon OUTPUT.ico
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

struct Color {
  double r, g, b, a;
};

// Geometry in a 32-unit square; every size scales it. Strokes keep at least `minimum` pixels
// so that the 16-pixel image stays legible.
struct Canvas {
  double scale;
  double stroke(double width, double minimum) const { return std::max(width * scale, minimum); }
};

double clamp01(double v) {
  return std::min(1.0, std::max(0.0, v));
}

// Signed distance to a rounded rectangle (negative inside), all in pixels.
double roundedRect(double x, double y, double left, double top, double right, double bottom,
                   double radius) {
  const double cx = (left + right) / 2, cy = (top + bottom) / 2;
  const double hx = (right - left) / 2 - radius, hy = (bottom - top) / 2 - radius;
  const double qx = std::fabs(x - cx) - hx, qy = std::fabs(y - cy) - hy;
  const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
  return outside + std::min(std::max(qx, qy), 0.0) - radius;
}

double segmentDistance(double x, double y, double ax, double ay, double bx, double by) {
  const double dx = bx - ax, dy = by - ay;
  const double t = clamp01(((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy));
  return std::hypot(x - (ax + t * dx), y - (ay + t * dy));
}

// Paints `c` over `under` (straight alpha).
Color over(Color under, Color c) {
  const double a = c.a + under.a * (1 - c.a);
  if (a <= 0) return {0, 0, 0, 0};
  const auto mix = [&](double top, double bottom) {
    return (top * c.a + bottom * under.a * (1 - c.a)) / a;
  };
  return {mix(c.r, under.r), mix(c.g, under.g), mix(c.b, under.b), a};
}

Color rgb(int r, int g, int b, double a = 1) {
  return {r / 255.0, g / 255.0, b / 255.0, a};
}

// The colour of one sample point (pixel coordinates) of an image `size` pixels wide.
Color sample(double x, double y, int size) {
  const Canvas k{size / 32.0};
  const double s = k.scale;
  Color c{0, 0, 0, 0};

  // The drive: a grey box with a darker outline, a seam and a green activity light.
  const double left = 2.5 * s, top = 16.5 * s, right = 29.5 * s, bottom = 28.5 * s;
  const double radius = 3 * s;
  const double body = roundedRect(x, y, left, top, right, bottom, radius);
  if (body <= 0) {
    const double t = clamp01((y - top) / (bottom - top));
    c = over(c, rgb(static_cast<int>(222 - 70 * t), static_cast<int>(226 - 68 * t),
                    static_cast<int>(232 - 62 * t)));
    const double seam = 22.5 * s;
    if (std::fabs(y - seam) < k.stroke(0.6, 0.6) && x > left + radius && x < right - radius)
      c = over(c, rgb(120, 128, 138));
    if (std::hypot(x - 6.5 * s, y - 25.5 * s) < k.stroke(1.6, 1.1)) c = over(c, rgb(52, 199, 89));
  }
  if (body <= 0 && body > -k.stroke(1.2, 1.0)) c = over(c, rgb(70, 78, 88));

  // The magnifier in front: a tinted lens with a highlight, a blue ring and a dark handle.
  const double mx = 13 * s, my = 12 * s, ring = 9.5 * s;
  const double ringWidth = k.stroke(2.6, 1.6);
  const double d = std::hypot(x - mx, y - my);
  if (segmentDistance(x, y, 19.5 * s, 18.5 * s, 27.5 * s, 26.5 * s) < k.stroke(2.2, 1.4))
    c = over(c, rgb(48, 42, 38));
  if (d < ring - ringWidth) {
    c = over(c, rgb(190, 228, 255, 0.72));
    if (std::hypot((x - (mx - 3 * s)) / 1.3, y - (my - 3.5 * s)) < k.stroke(2.2, 1.2))
      c = over(c, rgb(255, 255, 255, 0.85));
  }
  if (d < ring && d >= ring - ringWidth) c = over(c, rgb(31, 92, 170));
  return c;
}

void put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

// One icon image: BITMAPINFOHEADER (double height: colour, then mask), BGRA rows bottom-up,
// then the 1-bit AND mask (set where the pixel is fully transparent), rows padded to 4 bytes.
std::vector<uint8_t> drawImage(int size) {
  constexpr int kSamples = 4;
  std::vector<uint8_t> image;
  Put32(image, 40);
  Put32(image, static_cast<uint32_t>(size));
  Put32(image, static_cast<uint32_t>(2 * size));
  put16(image, 1);
  put16(image, 32);
  for (int i = 0; i < 6; ++i)
    Put32(image, 0);
  const int maskRow = ((size + 31) / 32) * 4;
  std::vector<uint8_t> mask(static_cast<size_t>(maskRow * size), 0);
  for (int row = size - 1; row >= 0; --row) {
    for (int col = 0; col < size; ++col) {
      double r = 0, g = 0, b = 0, a = 0;
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          const Color c = sample(col + (sx + 0.5) / kSamples, row + (sy + 0.5) / kSamples, size);
          r += c.r * c.a;
          g += c.g * c.a;
          b += c.b * c.a;
          a += c.a;
        }
      }
      const double n = kSamples * kSamples;
      const auto byte = [](double v) {
        return static_cast<uint8_t>(std::lround(clamp01(v) * 255));
      };
      image.push_back(a > 0 ? byte(b / a) : 0);
      image.push_back(a > 0 ? byte(g / a) : 0);
      image.push_back(a > 0 ? byte(r / a) : 0);
      image.push_back(byte(a / n));
      if (a == 0) {
        const int maskRowIndex = size - 1 - row;
        mask[static_cast<size_t>(maskRowIndex * maskRow + col / 8)] |=
            static_cast<uint8_t>(0x80 >> (col % 8));
      }
    }
  }
  image.insert(image.end(), mask.begin(), mask.end());
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: draw_icon OUTPUT.ico\n");
    return 2;
  }
  const int sizes[] = {16, 32};
  std::vector<std::vector<uint8_t>> images;
  for (int size : sizes)
    images.push_back(drawImage(size));

  std::vector<uint8_t> file;
  put16(file, 0);
  put16(file, 1);  // an icon
  put16(file, static_cast<uint32_t>(images.size()));
  uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    file.push_back(static_cast<uint8_t>(sizes[i]));
    file.push_back(static_cast<uint8_t>(sizes[i]));
    file.push_back(0);  // no palette
    file.push_back(0);
    put16(file, 1);
    put16(file, 32);
    Put32(file, static_cast<uint32_t>(images[i].size()));
    Put32(file, offset);
    offset += static_cast<uint32_t>(images[i].size());
  }
  for (const auto& image : images)
    file.insert(file.end(), image.begin(), image.end());

  FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
  if (std::fclose(out) != 0 || !written) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
