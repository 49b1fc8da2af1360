// The command line on model files: exports and info on real models, and
// broken or hostile files refused with one line, exit 3 and no output.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "readers/model_import/source_reference.h"
#include "cli/cli_runner.h"
#include "smd/smd_reader.h"

namespace {

using kw::test::kModelDir;
using kw::test::RunCli;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

int CountLines(const std::string& text, const std::string& prefix) {
  int count = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    if (text.compare(at, prefix.size(), prefix) == 0) ++count;
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return count;
}

TEST(ModelCommandLine, ExportsAnObjAsWorkedOutByHand) {
  kw::test::ScratchFolder folder;
  const std::string plate = std::string(KW_TEST_DATA_DIR) + "/readers/model_import/data/plate.obj";
  const kw::test::RunResult run = RunCli(folder, {"export", plate, "-o", "plate.smd"});
  ASSERT_EQ(run.status, 0) << kw::test::Describe(run);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(
      kw::test::ReadFile(folder / "plate.smd"),
      kw::test::ReadFile(std::string(KW_TEST_DATA_DIR) + "/readers/model_import/golden/plate.smd"));
}

TEST(ModelCommandLine, ExportsTheNamedAnimationAsASequence) {
  kw::test::ScratchFolder folder;
  const std::string model = kModelDir + "X/Testwuson.X";
  kw::test::RunResult run = RunCli(
      folder, {"export", model, "-o", "walk.smd", "--sequence", "--animation", "Wuson_Walk"});
  ASSERT_EQ(run.status, 0) << kw::test::Describe(run);
  const std::string walk = kw::test::ReadFile(folder / "walk.smd");
  EXPECT_EQ(CountLines(walk, "time "), 3 * 36 + 1);  // 3.6 s at 30 frames a second
  EXPECT_EQ(walk.find("triangles"), std::string::npos);

  run = RunCli(folder, {"export", model, "-o", "run.smd", "--sequence", "--fps", "24"});
  ASSERT_EQ(run.status, 0) << kw::test::Describe(run);
  // The first animation, 4640 ticks: 23.2 frames at 200 ticks a frame, so
  // frames 0 to 24, the last at the last key.
  EXPECT_EQ(CountLines(kw::test::ReadFile(folder / "run.smd"), "time "), 25);

  run = RunCli(folder, {"export", model, "-o", "swim.smd", "--sequence", "--animation", "Swim"});
  EXPECT_EQ(run.status, 3);
  EXPECT_TRUE(kw::test::IsOneLine(run.err)) << run.err;
  EXPECT_NE(run.err.find("no animation \"Swim\""), std::string::npos) << run.err;
  EXPECT_FALSE(kw::test::Exists(folder / "swim.smd"));
}

TEST(ModelCommandLine, AMeshWithoutUvsWarnsOnceAndKeepsItsFaces) {
  kw::test::ScratchFolder folder;
  const kw::test::RunResult run =
      RunCli(folder, {"export", kModelDir + "3DS/fels.3ds", "-o", "fels.smd"});
  ASSERT_EQ(run.status, 0) << kw::test::Describe(run);
  EXPECT_EQ(run.err,
            "warning: " + kModelDir +
                "3DS/fels.3ds: mesh \"3DSMesh_0\" has no texture coordinates; its faces are "
                "written with u, v = 0, 0\n");
  // Untextured, its material is written under its own name.
  EXPECT_EQ(CountLines(kw::test::ReadFile(folder / "fels.smd"), "Default\n"), 768);

  // The importer's warnings count under --strict like the exporter's.
  const kw::test::RunResult strict =
      RunCli(folder, {"export", kModelDir + "3DS/fels.3ds", "-o", "strict.smd", "--strict"});
  EXPECT_EQ(strict.status, 4) << kw::test::Describe(strict);
  EXPECT_FALSE(kw::test::Exists(folder / "strict.smd"));
}

// Animation an SMD cannot carry is said once per node or mesh, with how much
// is lost; the reference, which plays no animation, says nothing of it.
TEST(ModelCommandLine, AnimationAnSmdCannotCarryIsAWarningOfItsOwnKind) {
  kw::test::ScratchFolder folder;
  const std::string morph =
      kModelDir + "glTF2/glTF-Sample-Models/AnimatedMorphCube-glTF/AnimatedMorphCube.gltf";
  for (const auto& [model, warning] :
       {std::pair<std::string, std::string>{
            kModelDir + "ASE/anim2.ASE",
            "node \"Box02\": animated scale is lost (factors from 0.775 to 1.71, up to 1.58 "
            "times the rest scale); an SMD carries no scale, so what the node carries keeps "
            "the size it has in the reference"},
        std::pair<std::string, std::string>{
            morph,
            "mesh \"AnimatedMorphCube\": morph-target animation in \"Square\" is lost (2 "
            "morph targets, 1 animated channel of 127 keys); an SMD carries no morph targets, "
            "so the mesh keeps its base shape"}}) {
    const kw::test::RunResult run =
        RunCli(folder, {"export", model, "-o", "seq.smd", "--sequence", "--strict"});
    EXPECT_EQ(run.status, 4) << kw::test::Describe(run);
    EXPECT_EQ(CountLines(run.err, "warning: " + model + ": " + warning + "\n"), 1) << run.err;
    const kw::test::RunResult reference = RunCli(folder, {"export", model, "-o", "ref.smd"});
    EXPECT_EQ(reference.err.find(warning), std::string::npos) << reference.err;
  }
  const kw::test::RunResult info = RunCli(folder, {"info", morph});
  EXPECT_NE(info.out.find("morph-target animation in \"Square\" is lost"), std::string::npos)
      << info.out;
}

TEST(ModelCommandLine, InfoShowsWhatTheExporterWillSee) {
  kw::test::ScratchFolder folder;
  kw::test::RunResult run =
      RunCli(folder, {"info", kModelDir + "X/Testwuson.X", "--animation", "Wuson_Walk"});
  ASSERT_EQ(run.status, 0) << kw::test::Describe(run);
  const std::string& text = run.out;
  for (const char* line :
       {"format: Direct3D XFile Importer\n", "up axis: y (format), turned to z, scale 1\n",
        "animations: 3\n", "  0 \"Wuson_Run\": 0.967 s, frames 0 to 29, 39 channels\n",
        "  1 \"Wuson_Walk\": 3.600 s, frames 0 to 108, 39 channels (sampled)\n",
        "time: ticks 0 to 17280, 160 ticks per frame: frames 0 to 108\n", "nodes: 40\n",
        "  0 \"$dummy_root\" helper\n",
        "    1 \"Wuson\" mesh, 3732 faces, 11196 vertices, skinned, material \"material_0\"\n",
        "skins: 1\n", "warnings: 0\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << "missing: " << line << "in:\n" << text;
  }

  run = RunCli(folder, {"info", kModelDir + "OBJ/spider.obj"});
  ASSERT_EQ(run.status, 0) << kw::test::Describe(run);
  EXPECT_NE(run.out.find("  \"HLeibTex\" Standard, texture \".\\SpiderTex.jpg\"\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("animations: 0\n"), std::string::npos);

  run = RunCli(folder, {"info", kModelDir + "X/kwxport_test_cubewithvcolors.x"});
  ASSERT_EQ(run.status, 0) << kw::test::Describe(run);
  EXPECT_NE(run.out.find(" Multi/Sub-Object, 3 sub-materials\n    id 0: "), std::string::npos)
      << run.out;

  run = RunCli(folder, {"info", std::string(KW_SOURCE_DIR) + "/samples/figure.json"});
  ASSERT_EQ(run.status, 0) << kw::test::Describe(run);
  EXPECT_NE(
      run.out.find("    10 \"Body\" mesh, 56 faces, 36 vertices, skinned, material \"Figure\"\n"),
      std::string::npos)
      << run.out;
}

TEST(ModelCommandLine, AllWritesTheReferenceEverySequenceAndAQcFromOneImport) {
  kw::test::ScratchFolder folder;
  const std::string model = kModelDir + "X/Testwuson.X";
  kw::test::RunResult run = RunCli(folder, {"export", model, "--all", "-o", "out"});
  ASSERT_EQ(run.status, 0) << kw::test::Describe(run);
  EXPECT_EQ(kw::test::ListFolder(folder / "out"),
            (std::vector<std::string>{"Testwuson.qc", "Testwuson.smd", "Testwuson_phys.smd",
                                      "Wuson_Bind.smd", "Wuson_Run.smd", "Wuson_Walk.smd"}));
  // The same files one export at a time gives.
  ASSERT_EQ(RunCli(folder, {"export", model, "-o", "one.smd"}).status, 0);
  EXPECT_EQ(kw::test::ReadFile(folder / "out/Testwuson.smd"),
            kw::test::ReadFile(folder / "one.smd"));
  for (const char* animation : {"Wuson_Run", "Wuson_Walk", "Wuson_Bind"}) {
    ASSERT_EQ(
        RunCli(folder, {"export", model, "-o", "one.smd", "--sequence", "--animation", animation})
            .status,
        0);
    EXPECT_EQ(kw::test::ReadFile(folder / "out/" + animation + ".smd"),
              kw::test::ReadFile(folder / "one.smd"))
        << animation;
  }
  const std::string qc = kw::test::ReadFile(folder / "out/Testwuson.qc");
  for (const char* line :
       {"\n$modelname \"Testwuson.mdl\"\n", "\n$cdmaterials \"models/Testwuson/\"\n",
        "\n$body \"Testwuson\" \"Testwuson.smd\"\n",
        "\n$sequence \"Wuson_Run\" \"Wuson_Run.smd\" fps 30 loop\n",
        "\n$sequence \"Wuson_Walk\" \"Wuson_Walk.smd\" fps 30 loop\n",
        "\n$sequence \"Wuson_Bind\" \"Wuson_Bind.smd\" fps 30\n", "\n//   null.bmp\n"}) {
    EXPECT_NE(qc.find(line), std::string::npos) << "missing: " << line << "in:\n" << qc;
  }

  run = RunCli(folder, {"export", model, "--all", "-o", "out", "--sequence"});
  EXPECT_EQ(run.status, 2) << kw::test::Describe(run);
  run = RunCli(folder, {"export", model, "--all", "-o", "one.smd"});  // a file, not a folder
  EXPECT_EQ(run.status, 1) << kw::test::Describe(run);
  EXPECT_TRUE(kw::test::IsOneLine(run.err)) << run.err;

  // A picture beside each file: the reference alone, each sequence skinning it.
  run = RunCli(folder, {"export", model, "--all", "-o", "pictures", "--preview"});
  ASSERT_EQ(run.status, 0) << kw::test::Describe(run);
  EXPECT_EQ(
      kw::test::ListFolder(folder / "pictures"),
      (std::vector<std::string>{
          "Testwuson.png", "Testwuson.qc", "Testwuson.smd", "Testwuson_phys.smd", "Wuson_Bind.png",
          "Wuson_Bind.smd", "Wuson_Run.png", "Wuson_Run.smd", "Wuson_Walk.png", "Wuson_Walk.smd"}));
}

// --all keeps one log: every file's lines in the order written, an earlier
// log begun again; a log that cannot be written is said once, not per file.
TEST(ModelCommandLine, AllWritesOneLogForEveryFile) {
  kw::test::ScratchFolder folder;
  const std::string model = kModelDir + "X/Testwuson.X";
  kw::test::WriteFile(folder / "all.log",
                      "Kestrelworks Log File\n=====================\n\nearlier run\n");
  kw::test::RunResult run =
      RunCli(folder, {"export", model, "--all", "-o", "out", "--log", "all.log"});
  ASSERT_EQ(run.status, 0) << kw::test::Describe(run);
  const std::string log = kw::test::ReadFile(folder / "all.log");
  EXPECT_EQ(log.find("earlier run"), std::string::npos) << log;
  std::size_t at = 0;
  for (const std::string file : {"Testwuson", "Wuson_Run", "Wuson_Walk", "Wuson_Bind"}) {
    at = log.find("Exporting file: \"out/" + file + ".smd\"\n", at);
    ASSERT_NE(at, std::string::npos) << file << " missing or out of order in:\n" << log;
  }

  run = RunCli(folder, {"export", model, "--all", "-o", "out", "--log", "out"});
  EXPECT_EQ(run.status, 0) << kw::test::Describe(run);
  const std::size_t said = run.err.find("warning: out: cannot write the log: ");
  EXPECT_NE(said, std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("cannot write the log", run.err.find('\n', said)), std::string::npos)
      << run.err;
}

// info lists the frames the export writes, and the last reaches the end:
// huesitos lasts 1.56 s, 39 frames at 25 a second and 46.8 at 30.
TEST(ModelCommandLine, InfoAndExportShowTheSameFramesUpToTheLastKey) {
  kw::test::ScratchFolder folder;
  const std::string model = kModelDir + "FBX/huesitos.fbx";
  for (const auto& [fps, last] : {std::pair<const char*, int>{"25", 39}, {"30", 47}}) {
    kw::test::RunResult run = RunCli(folder, {"info", model, "--fps", fps});
    ASSERT_EQ(run.status, 0) << kw::test::Describe(run);
    const std::string frames = "frames 0 to " + std::to_string(last);
    EXPECT_NE(run.out.find("1.560 s, " + frames + ", 10 channels (sampled)\n"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find(": " + frames + "\n"), std::string::npos) << run.out;
    run = RunCli(folder, {"export", model, "-o", "seq.smd", "--sequence", "--fps", fps});
    ASSERT_EQ(run.status, 0) << kw::test::Describe(run);
    EXPECT_EQ(CountLines(kw::test::ReadFile(folder / "seq.smd"), "time "), last + 1) << fps;
  }
}

// What the importer leaves out is said once per file: assimp's bone
// pyramids of a BVH file (motion only) are not written at all; a second UV
// set and meshes without UVs get one line each.
TEST(ModelCommandLine, WhatTheImporterLeavesOutIsSaidOncePerFile) {
  kw::test::ScratchFolder folder;
  struct Case {
    const char* file;
    const char* warning;  // the one line on stderr, after the file's name; "" for none
  };
  for (const Case& c : {Case{"BVH/01_01.bvh", ""},
                        Case{"glTF2/BoxTexcoords-glTF/boxTexcoords.gltf",
                             "mesh \"Cube\" has more than one set of texture coordinates; only the "
                             "first is written"},
                        Case{"IFC/AC14-FZK-Haus.ifc",
                             "110 meshes (\"IfcSite_Gel\xc3\xa4nde_1Qvf0xqDT4HXo8jI81mHB$\", ...) "
                             "have no texture coordinates; "
                             "their faces are written with u, v = 0, 0"}}) {
    const std::string model = kModelDir + c.file;
    const kw::test::RunResult run = RunCli(folder, {"export", model, "-o", "ref.smd"});
    ASSERT_EQ(run.status, 0) << kw::test::Describe(run);
    const std::string expected = *c.warning ? "warning: " + model + ": " + c.warning + "\n" : "";
    EXPECT_EQ(run.err.substr(0, expected.size()), expected) << c.file;
    EXPECT_EQ(CountLines(run.err, "warning: " + model), *c.warning ? 1 : 0) << run.err;
  }
  ASSERT_EQ(RunCli(folder, {"export", kModelDir + "BVH/01_01.bvh", "-o", "bvh.smd"}).status, 0);
  EXPECT_NE(kw::test::ReadFile(folder / "bvh.smd").find("\ntriangles\nend\n"), std::string::npos);
}

// --max-links does what studiomdl will: no link below 0.05, at most N, a
// sum of 1, and one note saying what that cost, which --strict lets pass.
TEST(ModelCommandLine, MaxLinksTrimsAsTheCompilerDoesAndSaysWhatWasLost) {
  kw::test::ScratchFolder folder;
  const std::string model = kModelDir + "FBX/animation_with_skeleton.fbx";
  kw::test::RunResult run =
      RunCli(folder, {"export", model, "-o", "ref.smd", "--max-links", "3", "--strict"});
  ASSERT_EQ(run.status, 0) << kw::test::Describe(run);
  EXPECT_EQ(run.err,
            "note: " + model +
                ": --max-links 3: 3596 vertices lost links (below 0.05 of the weight, or beyond "
                "the 3 largest); the trim loses up to 18.8% of a vertex's weight\n");
  kw::smd::File file;
  std::string error;
  ASSERT_TRUE(kw::smd::ReadSmd(folder / "ref.smd", &file, &error)) << error;
  std::size_t most = 0;
  for (const kw::smd::Triangle& triangle : file.triangles) {
    for (const kw::smd::Vertex& corner : triangle.corners) {
      most = std::max<std::size_t>(most, corner.linkCount);
      float sum = 0.0f;
      for (std::uint32_t k = 0; k < corner.linkCount; ++k) {
        const float weight = file.links[corner.firstLink + k].weight;
        EXPECT_GE(weight, 0.05f);
        sum += weight;
      }
      EXPECT_NEAR(sum, 1.0f, 2e-6f * static_cast<float>(corner.linkCount));
    }
  }
  EXPECT_EQ(most, 3u);
}

// Untextured materials keep their names, made file-safe and unique as
// studiomdl tells them apart (no extension, case ignored), so none merge.
TEST(ModelCommandLine, UntexturedMaterialsAreWrittenUnderTheirOwnNames) {
  kw::test::ScratchFolder folder;
  kw::test::WriteFile(folder / "four.mtl",
                      "newmtl a b\nKd 1 0 0\nnewmtl a_b\nKd 0 1 0\nnewmtl A.b\nKd 0 0 1\n"
                      "newmtl skin\nmap_Kd maps/SKIN.tga\nnewmtl Skin\nKd 1 1 1\n");
  std::string obj = "mtllib four.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\n";
  for (const char* material : {"a b", "a_b", "A.b", "skin", "Skin", "a b"}) {
    obj += std::string("usemtl ") + material + "\nf 1/1 2/1 3/1\n";
  }
  kw::test::WriteFile(folder / "four.obj", obj);
  const kw::test::RunResult run = RunCli(folder, {"export", folder / "four.obj", "-o", "four.smd"});
  ASSERT_EQ(run.status, 0) << kw::test::Describe(run);
  kw::smd::File file;
  std::string error;
  ASSERT_TRUE(kw::smd::ReadSmd(folder / "four.smd", &file, &error)) << error;
  EXPECT_EQ(file.materials,
            (std::vector<std::string>{"a_b", "a_b_2", "A_b_3", "SKIN.tga", "Skin_2"}));
}

TEST(ModelCommandLine, InfoWorksOnEveryModelTheTestsUse) {
  kw::test::ScratchFolder folder;
  for (const char* file :
       {"FBX/animation_with_skeleton.fbx", "FBX/huesitos.fbx", "FBX/spider.fbx",
        "glTF2/simple_skin/simple_skin.gltf", "glTF2/BoxTextured-glTF-Binary/BoxTextured.glb",
        "X/BCN_Epileptic.X", "Collada/duck.dae", "Collada/regr01.dae", "MS3D/jeep1.ms3d",
        "B3D/WusonBlitz.b3d", "MD5/SimpleCube.md5mesh", "3DS/fels.3ds"}) {
    const kw::test::RunResult run = RunCli(folder, {"info", kModelDir + file});
    ASSERT_EQ(run.status, 0) << file << ": " << kw::test::Describe(run);
    Assimp::Importer importer;
    const aiScene* source = kw::test::ReadSource(importer, kModelDir + file);
    ASSERT_NE(source, nullptr);
    const std::string nodes = "nodes: " + std::to_string(kw::test::PreOrder(*source).size()) + "\n";
    EXPECT_NE(run.out.find(nodes), std::string::npos) << file << " lacks " << nodes;
    EXPECT_NE(run.out.find("animations: " + std::to_string(source->mNumAnimations) + "\n"),
              std::string::npos)
        << file;
  }
}

// Each names the fault it carries; all must end alike.
const char* const kBrokenFiles[] = {
    "invalid/malformed.obj",                       // vertex index out of range
    "glTF2/IndexOutOfRange/IndexOutOfRange.gltf",  // assimp drops the faces
    "glTF2/IndexOutOfRange/AllIndicesOutOfRange.gltf",
    "glTF2/IncorrectVertexArrays/Cube.gltf",     // assimp drops vertices
    "glTF2/SchemaFailures/sceneWrongType.gltf",  // schema failure
    "glTF2/wrongTypes/badArray.gltf",
    "glTF2/wrongTypes/badNumber.gltf",
    "glTF2/wrongTypes/badUint.gltf",
    "glTF2/MissingBin/BoxTextured.gltf",                        // missing buffer
    "glTF2/BoxWithInfinites-glTF-Binary/BoxWithInfinites.glb",  // infinities
    "glTF2/RecursiveNodes/RecursiveNodes.gltf",
    "glTF2/TestNoRootNode/NoScene.gltf",
    "glTF2/issue_3269/texcoord_crash.gltf",
    "FBX/transparentTest.fbx",
    "invalid/empty.3ds",
    "invalid/empty.x",
    "invalid/empty.obj",
    "invalid/readme.txt",       // no reader for it
    "invalid/OutOfMemory.off",  // claims 35 billion vertices
};

TEST(ModelCommandLine, BrokenFilesEndWithOneLineExitThreeAndNoOutput) {
  kw::test::ScratchFolder folder;
  kw::test::WriteFile(folder / "kept.smd", "an earlier export\n");
  for (const char* file : kBrokenFiles) {
    if (kAddressSanitizer && std::string(file) == "invalid/OutOfMemory.off")
      continue;  // its allocator aborts
    const std::string path = kModelDir + file;
    for (const char* output : {"new.smd", "kept.smd"}) {
      for (const char* command : {"export", "info"}) {
        std::vector<std::string> arguments = {command, path};
        if (std::string(command) == "export") arguments.insert(arguments.end(), {"-o", output});
        kw::test::RunOptions options;
        options.seconds = 30;
        const kw::test::RunResult run = RunCli(folder, arguments, options);
        EXPECT_FALSE(run.hung) << file;
        EXPECT_EQ(run.signal, 0) << file;
        EXPECT_EQ(run.status, 3) << file << ": " << kw::test::Describe(run);
        EXPECT_TRUE(kw::test::IsOneLine(run.err)) << file << ": " << run.err;
        EXPECT_EQ(run.err.rfind("kestrelworks: " + path + ": ", 0), 0u) << run.err;
        EXPECT_EQ(run.out, "") << file;
      }
    }
    EXPECT_FALSE(kw::test::Exists(folder / "new.smd")) << file;
    EXPECT_EQ(kw::test::ReadFile(folder / "kept.smd"), "an earlier export\n") << file;
  }
}

TEST(ModelCommandLine, BrokenFilesSayWhatIsWrong) {
  kw::test::ScratchFolder folder;
  struct Case {
    const char* file;
    const char* says;
  };
  for (const Case& c :
       {Case{"glTF2/IndexOutOfRange/IndexOutOfRange.gltf",
             ": damaged: Some faces had out-of-range indices. Those faces were dropped.\n"},
        Case{"glTF2/BoxWithInfinites-glTF-Binary/BoxWithInfinites.glb",
             ": mesh \"Mesh\": vertex 0 has a position that is not a finite number\n"},
        Case{"glTF2/MissingBin/BoxTextured.gltf",
             ": GLTF: could not open referenced file \"BoxTextured0.bin\"\n"}}) {
    const kw::test::RunResult run = RunCli(folder, {"export", kModelDir + c.file, "-o", "out.smd"});
    EXPECT_EQ(run.err, "kestrelworks: " + kModelDir + c.file + c.says);
  }
}

}  // namespace
