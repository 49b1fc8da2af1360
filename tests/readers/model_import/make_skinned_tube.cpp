// Writes a skinned, animated glTF binary of a given size for measuring the
// model import: a tube of rings x segments quads along a chain of bones,
// every vertex weighted to the two nearest bones, each bone swaying about z.
//
//   kw_make_skinned_tube OUT.glb [TRIANGLES=50000] [BONES=20] [SECONDS=2]
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

class Buffer {
 public:
  std::size_t Size() const { return bytes_.size(); }
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
  void Float(float v) { Append(&v, 4); }
  void UInt32(std::uint32_t v) { Append(&v, 4); }
  void UInt16(std::uint16_t v) { Append(&v, 2); }
  void Align() {
    while (bytes_.size() % 4 != 0) bytes_.push_back(0);
  }

 private:
  void Append(const void* data, std::size_t size) {  // little-endian hosts only
    const auto* p = static_cast<const std::uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + size);
  }
  std::vector<std::uint8_t> bytes_;
};

struct View {
  std::size_t offset, length;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUT.glb [TRIANGLES=50000] [BONES=20] [SECONDS=2]\n", argv[0]);
    return 2;
  }
  const int triangles = argc > 2 ? std::atoi(argv[2]) : 50000;
  const int bones = argc > 3 ? std::atoi(argv[3]) : 20;
  const double seconds = argc > 4 ? std::atof(argv[4]) : 2.0;
  const int segments = 100;
  const int rings = std::max(1, triangles / (2 * segments));
  const float boneLength = 0.5f, radius = 0.4f;
  const float height = boneLength * bones;
  const int vertexCount = (rings + 1) * (segments + 1);
  const int keys = static_cast<int>(seconds * 30) + 1;

  Buffer buffer;
  std::vector<View> views;
  auto begin = [&] {
    buffer.Align();
    views.push_back({buffer.Size(), 0});
  };
  auto end = [&] { views.back().length = buffer.Size() - views.back().offset; };

  begin();  // 0 positions
  for (int r = 0; r <= rings; ++r) {
    for (int s = 0; s <= segments; ++s) {
      const double a = 2 * M_PI * s / segments;
      buffer.Float(static_cast<float>(radius * std::cos(a)));
      buffer.Float(height * r / rings);
      buffer.Float(static_cast<float>(-radius * std::sin(a)));
    }
  }
  end();
  begin();  // 1 normals
  for (int r = 0; r <= rings; ++r) {
    for (int s = 0; s <= segments; ++s) {
      const double a = 2 * M_PI * s / segments;
      buffer.Float(static_cast<float>(std::cos(a)));
      buffer.Float(0.0f);
      buffer.Float(static_cast<float>(-std::sin(a)));
    }
  }
  end();
  begin();  // 2 uvs
  for (int r = 0; r <= rings; ++r) {
    for (int s = 0; s <= segments; ++s) {
      buffer.Float(static_cast<float>(s) / segments);
      buffer.Float(static_cast<float>(r) / rings);
    }
  }
  end();
  std::vector<std::uint16_t> joints;
  std::vector<float> weights;
  for (int r = 0; r <= rings; ++r) {
    const float along = std::min(height * r / rings / boneLength, bones - 1.0f);
    const int first = std::min(static_cast<int>(along), bones - 2 < 0 ? 0 : bones - 2);
    const float t = std::min(1.0f, along - first);
    for (int s = 0; s <= segments; ++s) {
      joints.insert(joints.end(),
                    {static_cast<std::uint16_t>(first),
                     static_cast<std::uint16_t>(bones > 1 ? first + 1 : first), 0, 0});
      weights.insert(weights.end(), {1.0f - t, bones > 1 ? t : 0.0f, 0.0f, 0.0f});
    }
  }
  begin();  // 3 joints
  for (std::uint16_t j : joints) buffer.UInt16(j);
  end();
  begin();  // 4 weights
  for (float w : weights) buffer.Float(w);
  end();
  begin();  // 5 indices
  for (int r = 0; r < rings; ++r) {
    for (int s = 0; s < segments; ++s) {
      const std::uint32_t a = r * (segments + 1) + s, b = a + 1, c = a + segments + 1, d = c + 1;
      for (std::uint32_t i : {a, b, d, a, d, c}) buffer.UInt32(i);
    }
  }
  end();
  begin();  // 6 inverse bind matrices
  for (int i = 0; i < bones; ++i) {
    for (float v : {1.f, 0.f, 0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 0.f, 1.f, 0.f}) buffer.Float(v);
    for (float v : {0.f, -boneLength * i, 0.f, 1.f}) buffer.Float(v);
  }
  end();
  begin();  // 7 key times
  for (int k = 0; k < keys; ++k) buffer.Float(static_cast<float>(k / 30.0));
  end();
  for (int i = 0; i < bones; ++i) {  // 8 + i rotations of bone i
    begin();
    for (int k = 0; k < keys; ++k) {
      const double angle = 0.3 * std::sin(2 * M_PI * k / 30.0 / seconds + 0.3 * i);
      for (double v : {0.0, 0.0, std::sin(angle / 2), std::cos(angle / 2)})
        buffer.Float(static_cast<float>(v));
    }
    end();
  }
  buffer.Align();

  std::string json = R"({"asset":{"version":"2.0","generator":"kw_make_skinned_tube"},"scene":0,)";
  json += R"("scenes":[{"nodes":[0]}],"nodes":[{"name":"Tube","children":[1,2]},)";
  json += R"({"name":"TubeMesh","mesh":0,"skin":0})";
  for (int i = 0; i < bones; ++i) {
    json += ",{\"name\":\"Bone" + std::to_string(i) + "\"";
    if (i > 0) json += ",\"translation\":[0," + std::to_string(boneLength) + ",0]";
    if (i + 1 < bones) json += ",\"children\":[" + std::to_string(3 + i) + "]";
    json += "}";
  }
  json +=
      R"(],"materials":[{"name":"Skin","pbrMetallicRoughness":{"baseColorTexture":{"index":0}}}],)";
  json += R"("textures":[{"source":0}],"images":[{"uri":"tube_skin.png"}],)";
  json +=
      R"("meshes":[{"primitives":[{"attributes":{"POSITION":0,"NORMAL":1,"TEXCOORD_0":2,"JOINTS_0":3,"WEIGHTS_0":4},"indices":5,"material":0}]}],)";
  json += R"("skins":[{"inverseBindMatrices":6,"joints":[)";
  for (int i = 0; i < bones; ++i) json += (i ? "," : "") + std::to_string(2 + i);
  json += R"(]}],"animations":[{"name":"Sway","channels":[)";
  for (int i = 0; i < bones; ++i) {
    json += (i ? "," : "") + std::string(R"({"sampler":)") + std::to_string(i) +
            R"(,"target":{"node":)" + std::to_string(2 + i) + R"(,"path":"rotation"}})";
  }
  json += R"(],"samplers":[)";
  for (int i = 0; i < bones; ++i) {
    json += (i ? "," : "") + std::string(R"({"input":7,"output":)") + std::to_string(8 + i) + "}";
  }
  json += "]}],\"accessors\":[";
  auto accessor = [&](int view, int type, int count, const char* shape,
                      const std::string& extra = "") {
    return "{\"bufferView\":" + std::to_string(view) +
           ",\"componentType\":" + std::to_string(type) + ",\"count\":" + std::to_string(count) +
           ",\"type\":\"" + shape + "\"" + extra + "}";
  };
  json += accessor(0, 5126, vertexCount, "VEC3",
                   ",\"min\":[" + std::to_string(-radius) + ",0," + std::to_string(-radius) +
                       "],\"max\":[" + std::to_string(radius) + "," + std::to_string(height) + "," +
                       std::to_string(radius) + "]");
  json += "," + accessor(1, 5126, vertexCount, "VEC3");
  json += "," + accessor(2, 5126, vertexCount, "VEC2");
  json += "," + accessor(3, 5123, vertexCount, "VEC4");
  json += "," + accessor(4, 5126, vertexCount, "VEC4");
  json += "," + accessor(5, 5125, rings * segments * 6, "SCALAR");
  json += "," + accessor(6, 5126, bones, "MAT4");
  json += "," + accessor(7, 5126, keys, "SCALAR",
                         ",\"min\":[0],\"max\":[" + std::to_string((keys - 1) / 30.0) + "]");
  for (int i = 0; i < bones; ++i) json += "," + accessor(8 + i, 5126, keys, "VEC4");
  json += "],\"bufferViews\":[";
  for (std::size_t i = 0; i < views.size(); ++i) {
    json += (i ? "," : "") + std::string("{\"buffer\":0,\"byteOffset\":") +
            std::to_string(views[i].offset) + ",\"byteLength\":" + std::to_string(views[i].length) +
            "}";
  }
  json += "],\"buffers\":[{\"byteLength\":" + std::to_string(buffer.Size()) + "}]}";
  while (json.size() % 4 != 0) json += ' ';

  std::ofstream out(argv[1], std::ios::binary);
  auto word = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
  word(0x46546C67);  // "glTF"
  word(2);
  word(static_cast<std::uint32_t>(12 + 8 + json.size() + 8 + buffer.Size()));
  word(static_cast<std::uint32_t>(json.size()));
  word(0x4E4F534A);  // "JSON"
  out.write(json.data(), static_cast<std::streamsize>(json.size()));
  word(static_cast<std::uint32_t>(buffer.Size()));
  word(0x004E4942);  // "BIN"
  out.write(reinterpret_cast<const char*>(buffer.Bytes().data()),
            static_cast<std::streamsize>(buffer.Size()));
  if (!out) {
    std::fprintf(stderr, "%s: cannot write\n", argv[1]);
    return 1;
  }
  std::printf("%s: %d triangles, %d vertices, %d bones, %d keys\n", argv[1], rings * segments * 2,
              vertexCount, bones, keys);
  return 0;
}
