// bench_decode.cpp - image decoding into a 32-bit (Xrgb8888) surface by our
// loaders against the reference libraries decoding the same file into
// memory.
//
// PNG: two 1024 x 1024 pictures written by our PNG writer, a photo-like RGB
// one (smooth shading with grain) and flat UI art in RGBA (panels, frames,
// stripes and transparent margins); libpng's simplified API reads the same
// bytes to RGBA. libpng is optional: without it only our rows run.
// JPEG: its section follows the PNG one.
//
// Our PNG rows run twice: into the surface (the goal's measure) and into a
// plain 32-bit row sink (the decoder alone, the surface's per-pixel
// conversion left out). After the runs a table gives each picture's CPU time
// per decode and the ratio ours / reference (--benchmark_repetitions=N makes them medians).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>
#if defined(VEXA_HAVE_LIBPNG)
#include <png.h>
#endif
#if defined(VEXA_HAVE_LIBJPEG)
#include <jpeglib.h>
#endif

#include "bench/bench_times.h"
#include "render/vsurf_2d.h"
#include "resources/loaders/vldr_jpg.h"
#include "resources/loaders/vldr_png.h"
#include "tests/support/xorshift.h"
#include "util/vmod_memory.h"

namespace {

using Bytes = std::vector<uint8_t>;

// --- PNG ---------------------------------------------------------------------------

constexpr uint32_t kPngSide = 1024;

Bytes EncodePng(uint8_t colortype, const std::vector<uint8_t>& pixels, uint32_t pitch) {
  const VPNGIMAGE image = {kPngSide, kPngSide, colortype, pixels.data(), pitch, nullptr, 0};
  uint8_t* out = nullptr;
  uint32_t size = 0;
  if (VLoader_PNG::Encode(&image, &out, &size) != VPNG_WRITTEN) return {};
  Bytes png(out, out + size);
  ClassVMemory::DeAlloc(out);
  return png;
}

// Smooth light and colour over the picture with a little sensor grain: RGB
// bytes, rows width x 3 apart.
std::vector<uint8_t> PhotoPixels(uint32_t width, uint32_t height, uint32_t seed) {
  std::vector<uint8_t> rgb(size_t(width) * height * 3);
  XorShift32 grain{seed};
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const double u = x / 97.0, v = y / 131.0;
      const double light = 0.55 + 0.45 * std::sin(u + 0.7 * std::cos(v * 1.3));
      const double base[3] = {190 * light + 40 * std::sin(v), 150 * light + 30 * std::cos(u * 0.5),
                              110 * light + 60 * std::sin(u * 0.3 + v)};
      for (int c = 0; c < 3; ++c) {
        const double value = base[c] + int(grain.Below(9)) - 4;
        rgb[(size_t(y) * width + x) * 3 + c] = uint8_t(std::clamp(value, 0.0, 255.0));
      }
    }
  }
  return rgb;
}

const Bytes& PhotoPng() {
  static const Bytes png = [] {
    const std::vector<uint8_t> rgb = PhotoPixels(kPngSide, kPngSide, 2024);
    return EncodePng(VPNG_COLOR_RGB, rgb, kPngSide * 3);
  }();
  return png;
}

// Panels with frames, a striped bar and soft-edged transparent margins.
const Bytes& UiArtPng() {
  static const Bytes png = [] {
    std::vector<uint8_t> rgba(size_t(kPngSide) * kPngSide * 4);
    for (uint32_t y = 0; y < kPngSide; ++y) {
      for (uint32_t x = 0; x < kPngSide; ++x) {
        uint8_t* p = &rgba[(size_t(y) * kPngSide + x) * 4];
        const uint32_t cellx = x % 256, celly = y % 192;
        const bool margin = cellx < 12 || cellx >= 244 || celly < 12 || celly >= 180;
        const bool frame = !margin && (cellx < 16 || cellx >= 240 || celly < 16 || celly >= 176);
        const bool stripe = !margin && celly >= 150 && celly < 166 && ((cellx / 8) % 2);
        const uint8_t panel = uint8_t(40 + (x / 256) * 30 + (y / 192) * 12);
        const uint8_t edge = uint8_t(margin ? std::min(cellx, celly) * 20 : 255);
        const uint8_t colour[4] = {uint8_t(frame ? 230 : stripe ? 250 : panel), uint8_t(frame ? 200 : stripe ? 180 : panel + 20),
                                   uint8_t(frame ? 90 : stripe ? 40 : 160), uint8_t(margin ? std::min<uint32_t>(edge, 255) : 255)};
        std::copy(colour, colour + 4, p);
      }
    }
    return EncodePng(VPNG_COLOR_RGBA, rgba, kPngSide * 4);
  }();
  return png;
}

// Takes each row as it comes into a 32-bit image in memory, as libpng's
// output is: the decoder's own time, without a surface's conversion.
class RowSink : public V2DSurfaceBase {
 public:
  int LdrOnCreate(VLDR_2DCALLBACKINFO* info) override {
    width = uint32_t(info->width);
    pixels.resize(size_t(width) * info->height);
    return 0;
  }
  int LdrOnPaletteStream(VLDR_2DCALLBACKINFO*) override { return 0; }
  int LdrOnPixelStream(VLDR_2DCALLBACKINFO* info) override {
    std::memcpy(&pixels[size_t(info->offset)], info->data, info->length);
    return 0;
  }
  uint32_t width = 0;
  std::vector<uint32_t> pixels;
};

template <class Surface>
void PngOurs(benchmark::State& state, const Bytes& (*picture)()) {
  const Bytes& png = picture();
  VLoader_PNG loader;
  Surface surface;
  for (auto _ : state) {
    const int result = loader.Start(&surface, png.data(), uint32_t(png.size()), VideoType::Xrgb8888, 1);
    if (result != VLDR_LOADED) {
      state.SkipWithError("our loader failed");
      break;
    }
    benchmark::ClobberMemory();
  }
  state.counters["bytes"] = double(png.size());
}

#if defined(VEXA_HAVE_LIBPNG)
void PngLibpng(benchmark::State& state, const Bytes& (*picture)()) {
  const Bytes& png = picture();
  std::vector<uint8_t> rgba(size_t(kPngSide) * kPngSide * 4);
  for (auto _ : state) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) {
      state.SkipWithError("libpng refused the file");
      break;
    }
    image.format = PNG_FORMAT_RGBA;
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
      state.SkipWithError("libpng failed");
      break;
    }
    benchmark::DoNotOptimize(rgba.data());
    benchmark::ClobberMemory();
  }
}
#endif

void RegisterPng() {
  struct PICTURE {
    const char* name;
    const Bytes& (*make)();
  };
  static const PICTURE pictures[] = {{"photo_rgb", PhotoPng}, {"ui_rgba", UiArtPng}};
  for (const PICTURE& p : pictures) {
    benchmark::RegisterBenchmark((std::string("png/ours/") + p.name).c_str(), PngOurs<V2DSurface>, p.make)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("png/ours_rows/") + p.name).c_str(), PngOurs<RowSink>, p.make)
        ->Unit(benchmark::kMillisecond);
#if defined(VEXA_HAVE_LIBPNG)
    benchmark::RegisterBenchmark((std::string("png/libpng/") + p.name).c_str(), PngLibpng, p.make)->Unit(benchmark::kMillisecond);
#endif
  }
}

// --- JPEG ------------------------------------------------------------------------------
// A 1024 x 768 photo-like picture compressed by libjpeg (baseline, 4:2:0,
// quality 90); our loader decodes it into the surface and into the row sink,
// libjpeg-turbo decodes it to RGB in memory with its accurate integer
// transform. Without libjpeg there is no file, so no JPEG rows.

#if defined(VEXA_HAVE_LIBJPEG)
constexpr uint32_t kJpegWidth = 1024, kJpegHeight = 768;

const Bytes& PhotoJpeg() {
  static const Bytes jpeg = [] {
    std::vector<uint8_t> rgb = PhotoPixels(kJpegWidth, kJpegHeight, 1977);  // the compressor reads rows through non-const pointers
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = kJpegWidth;
    cinfo.image_height = kJpegHeight;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    cinfo.comp_info[0].h_samp_factor = 2;
    cinfo.comp_info[0].v_samp_factor = 2;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
      JSAMPROW row = &rgb[size_t(cinfo.next_scanline) * kJpegWidth * 3];
      jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes file(out, out + size);
    std::free(out);
    return file;
  }();
  return jpeg;
}

template <class Surface>
void JpegOurs(benchmark::State& state) {
  const Bytes& jpeg = PhotoJpeg();
  VLoader_JPG loader;
  Surface surface;
  for (auto _ : state) {
    if (loader.Start(&surface, jpeg.data(), uint32_t(jpeg.size()), VideoType::Xrgb8888, 1) != VLDR_LOADED) {
      state.SkipWithError("our loader failed");
      break;
    }
    benchmark::ClobberMemory();
  }
  state.counters["bytes"] = double(jpeg.size());
}

void JpegLibjpeg(benchmark::State& state) {
  const Bytes& jpeg = PhotoJpeg();
  std::vector<uint8_t> rgb(size_t(kJpegWidth) * kJpegHeight * 3);
  for (auto _ : state) {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), jpeg.size());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    cinfo.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&cinfo);
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = &rgb[size_t(cinfo.output_scanline) * kJpegWidth * 3];
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    benchmark::DoNotOptimize(rgb.data());
    benchmark::ClobberMemory();
  }
}
#endif

void RegisterJpeg() {
#if defined(VEXA_HAVE_LIBJPEG)
  benchmark::RegisterBenchmark("jpeg/ours/photo_420", JpegOurs<V2DSurface>)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("jpeg/ours_rows/photo_420", JpegOurs<RowSink>)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("jpeg/libjpeg/photo_420", JpegLibjpeg)->Unit(benchmark::kMillisecond);
#endif
}

// --- the ratio table ----------------------------------------------------------------------

// The ratio table printed after the runs.
class RatioReporter : public VBenchTimes {
 public:
  // Prints ours / reference for every "<format>/<mine>/<picture>" with a partner.
  void PrintRatios(const char* format, const char* reference, const char* mine = "ours") const {
    const std::string ours = std::string(format) + "/" + mine + "/", theirs = std::string(format) + "/" + reference + "/";
    for (const auto& entry : times) {
      if (entry.first.compare(0, ours.size(), ours) != 0) continue;
      const std::string picture = entry.first.substr(ours.size());
      const auto partner = times.find(theirs + picture);
      if (partner == times.end()) {
        std::printf("%s %-12s %-9s %8.3f ms (no %s)\n", format, picture.c_str(), mine, entry.second, reference);
      } else {
        std::printf("%s %-12s %-9s %8.3f ms  %s %8.3f ms  ratio %.3f\n", format, picture.c_str(), mine, entry.second,
                    reference, partner->second, entry.second / partner->second);
      }
    }
  }

};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RegisterPng();
  RegisterJpeg();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios("png", "libpng");
  reporter.PrintRatios("png", "libpng", "ours_rows");
  reporter.PrintRatios("jpeg", "libjpeg");
  reporter.PrintRatios("jpeg", "libjpeg", "ours_rows");
  benchmark::Shutdown();
  return 0;
}
