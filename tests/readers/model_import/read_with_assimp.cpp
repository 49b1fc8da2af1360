// assimp's own import of a file and nothing else: the yardstick the model
// export is measured against.
//
//   kw_read_with_assimp FILE [raw|ours]
//   raw: no post-processing; ours: the steps the model import asks for.
#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE [raw|ours]\n", argv[0]);
    return 2;
  }
  const bool ours = argc > 2 && std::strcmp(argv[2], "ours") == 0;
  Assimp::Importer importer;
  unsigned steps = 0;
  if (ours) {
    importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE,
                                aiPrimitiveType_POINT | aiPrimitiveType_LINE);
    importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
    steps = aiProcess_Triangulate | aiProcess_GenSmoothNormals | aiProcess_SortByPType |
            aiProcess_ValidateDataStructure;
  }
  const aiScene* scene = importer.ReadFile(argv[1], steps);
  if (!scene) {
    std::fprintf(stderr, "%s: %s\n", argv[1], importer.GetErrorString());
    return 3;
  }
  unsigned faces = 0;
  for (unsigned m = 0; m < scene->mNumMeshes; ++m) faces += scene->mMeshes[m]->mNumFaces;
  std::printf("%u meshes, %u faces\n", scene->mNumMeshes, faces);
  return 0;
}
