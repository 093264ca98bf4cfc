// model_capture.h - a model that keeps exactly what a model loader streams:
// the create record and every batch of every stream with its start field,
// before the model stores anything. The loader tests compare against it, the
// fuzz targets read every byte of it, and vimg reports from it. With
// `forward` set each callback also goes on to the model's own, so the
// capture is a loaded model as well.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "render/vsurf_3d.h"
#include "resources/loaders/vldr_base.h"

class VModelCapture : public V3DSurface {
 public:
  struct BATCH {
    uint32_t start = 0;           // the stream's start field when the batch came
    uint8_t mode = 0;             // texel, colour or normal mode; joint item; key kind
    uint32_t joint = 0;           // key frames: the joint
    int call = 0;                 // its place among all stream calls, from 0
    std::vector<uint32_t> words;  // the batch as 32-bit words
  };

  // Runs one loader over a block; the loader's result.
  int Load(ClassVLoaderBase& loader, const void* block, uint32_t length, int8_t option = 0, uint32_t flags = 0) {
    return loader.Start(this, block, length, option, flags);
  }

  int LdrOnCreate(VLDR_3DCALLBACKINFO* info) override {
    if (!info) return 4;
    record = *info;
    ++creates;
    return forward ? V3DSurface::LdrOnCreate(info) : createresult;
  }
  int LdrOnVertexStream(VLDR_3DCALLBACKINFO* info) override {
    if (int result = Keep(vertices, info, info->vertexstart, 0)) return result;
    return forward ? V3DSurface::LdrOnVertexStream(info) : 0;
  }
  int LdrOnPolygonStream(VLDR_3DCALLBACKINFO* info) override {
    if (int result = Keep(polygons, info, info->polygonstart, 0)) return result;
    return forward ? V3DSurface::LdrOnPolygonStream(info) : 0;
  }
  int LdrOnNormalStream(VLDR_3DCALLBACKINFO* info) override {
    if (int result = Keep(normals, info, info->normalstart, info->normalmode)) return result;
    return forward ? V3DSurface::LdrOnNormalStream(info) : 0;
  }
  int LdrOnColorStream(VLDR_3DCALLBACKINFO* info) override {
    if (int result = Keep(colours, info, info->colorstart, info->colormode)) return result;
    return forward ? V3DSurface::LdrOnColorStream(info) : 0;
  }
  int LdrOnTexelStream(VLDR_3DCALLBACKINFO* info) override {
    if (int result = Keep(texels, info, info->texelstart, info->texelmode)) return result;
    return forward ? V3DSurface::LdrOnTexelStream(info) : 0;
  }
  int LdrOnJointStream(VLDR_3DCALLBACKINFO* info) override {
    if (int result = Keep(joints, info, info->jointstart, info->jointitem)) return result;
    return forward ? V3DSurface::LdrOnJointStream(info) : 0;
  }
  int LdrOnKeyFrameStream(VLDR_3DCALLBACKINFO* info) override {
    if (int result = Keep(keys, info, info->keystart, info->keykind)) return result;
    return forward ? V3DSurface::LdrOnKeyFrameStream(info) : 0;
  }

  // The items of a stream laid out by their batches' start fields: item i
  // of `words` words at [i * words]; zeros where no batch put any.
  static std::vector<uint32_t> Items(const std::vector<BATCH>& stream, uint32_t words) {
    std::vector<uint32_t> out;
    for (const BATCH& b : stream) {
      const size_t first = size_t(b.start) * words;
      if (out.size() < first + b.words.size()) out.resize(first + b.words.size(), 0);
      std::copy(b.words.begin(), b.words.end(), out.begin() + long(first));
    }
    return out;
  }

  bool forward = false;  // go on to the model's own callbacks
  int createresult = 0;  // LdrOnCreate's result when not forwarding
  int failcall = -1;     // the stream call (counted from 0) that returns failresult
  int failresult = 0;
  int creates = 0;                  // LdrOnCreate calls
  int calls = 0;                    // stream calls
  VLDR_3DCALLBACKINFO record = {};  // as LdrOnCreate saw it
  std::vector<BATCH> vertices, polygons, normals, colours, texels, joints, keys;

 private:
  // Records a batch; failresult on the failing call, else 0.
  int Keep(std::vector<BATCH>& stream, VLDR_3DCALLBACKINFO* info, uint32_t start, uint8_t mode) {
    BATCH b;
    b.start = start;
    b.mode = mode;
    b.joint = info->keyjoint;
    b.call = calls;
    b.words.resize(info->length / 4);
    if (info->length && info->data) std::memcpy(b.words.data(), info->data, b.words.size() * 4);
    stream.push_back(b);
    return calls++ == failcall ? failresult : 0;
  }
};
