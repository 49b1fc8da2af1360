// Morph targets through the command line: --flex writes OUT.vta beside the
// reference, --all the VTA and the QC's flex block, and both pass check.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "tests/cli/cli_runner.h"

namespace {

using kw::test::Describe;
using kw::test::Exists;
using kw::test::ReadFile;
using kw::test::RunCli;
using kw::test::RunResult;
using kw::test::ScratchFolder;

const std::string kCube =
    "/usr/share/assimp/models/glTF2/glTF-Sample-Models/AnimatedMorphCube-glTF/"
    "AnimatedMorphCube.gltf";

// The position and normal fields of the reference's vertex lines, in order.
std::vector<std::string> ReferenceCorners(const std::string& smd) {
  std::vector<std::string> corners;
  std::istringstream lines(smd.substr(smd.find("\ntriangles\n")));
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string bone, x, y, z, nx, ny, nz;
    if (!(fields >> bone >> x >> y >> z >> nx >> ny >> nz) || line.find('.') == std::string::npos)
      continue;
    corners.push_back(x + " " + y + " " + z + " " + nx + " " + ny + " " + nz);
  }
  return corners;
}

// Time 0 of the VTA's vertex animation: the same fields after the number.
std::vector<std::string> BaseCorners(const std::string& vta) {
  std::vector<std::string> corners;
  const std::size_t from = vta.find("\nvertexanimation\ntime 0\n");
  std::istringstream lines(vta.substr(from + 24));
  for (std::string line; std::getline(lines, line) && line.rfind("time ", 0) != 0;) {
    std::istringstream fields(line);
    std::string number, x, y, z, nx, ny, nz;
    fields >> number >> x >> y >> z >> nx >> ny >> nz;
    corners.push_back(x + " " + y + " " + z + " " + nx + " " + ny + " " + nz);
  }
  return corners;
}

TEST(Flexes, TheVtaBesideTheReferenceStartsFromItsOwnNumbers) {
  if (!Exists(kCube)) GTEST_SKIP() << "no assimp-testmodels";
  ScratchFolder folder;
  const RunResult single = RunCli(folder, {"export", kCube, "-o", "cube.smd", "--flex"});
  ASSERT_EQ(single.status, kw::kExitSuccess) << Describe(single);
  const std::vector<std::string> reference = ReferenceCorners(ReadFile(folder / "cube.smd"));
  ASSERT_EQ(reference.size(), 36u);
  EXPECT_EQ(BaseCorners(ReadFile(folder / "cube.vta")), reference);
  const RunResult info = RunCli(folder, {"info", kCube});
  EXPECT_NE(info.out.find("; morph targets: \"AnimatedMorphCube_0\" (12 vertices moved, up to "),
            std::string::npos)
      << info.out;
  const RunResult checked = RunCli(folder, {"check", "cube.smd", "cube.vta"});
  EXPECT_EQ(checked.status, kw::kExitSuccess) << Describe(checked);

  const RunResult all = RunCli(folder, {"export", kCube, "--all", "-o", "d"});
  ASSERT_EQ(all.status, kw::kExitSuccess) << Describe(all);
  const std::string qc = ReadFile(folder / "d/AnimatedMorphCube.qc");
  EXPECT_NE(qc.find("$model \"body\" \"AnimatedMorphCube.smd\" {\n"
                    "  flexfile \"AnimatedMorphCube.vta\" {\n"
                    "    defaultflex frame 0\n"
                    "    flex \"AnimatedMorphCube_0\" frame 1\n"
                    "    flex \"AnimatedMorphCube_1\" frame 2\n  }\n"
                    "  flexcontroller shapes range 0 1 \"AnimatedMorphCube_0\"\n"
                    "  flexcontroller shapes range 0 1 \"AnimatedMorphCube_1\"\n"
                    "  %AnimatedMorphCube_0 = AnimatedMorphCube_0\n"
                    "  %AnimatedMorphCube_1 = AnimatedMorphCube_1\n}\n"),
            std::string::npos)
      << qc;
  EXPECT_EQ(qc.find("$body"), std::string::npos) << qc;
  EXPECT_EQ(ReadFile(folder / "d/AnimatedMorphCube.vta"), ReadFile(folder / "cube.vta"));
}

}  // namespace
