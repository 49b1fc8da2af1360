// kestrelworks: exports a scene to a Source SMD file from the command line,
// with the options the plug-in's dialog offers.

#include <CLI/CLI.hpp>

#include <cctype>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "cli/check_command.h"
#include "cli/exit_cleanup.h"
#include "cli/exit_codes.h"
#include "cli/export_command.h"
#include "cli/failure_line.h"
#include "cli/info_command.h"
#include "cli/preview_command.h"
#include "cli/scene_loader.h"

namespace kw {
namespace {

// A number option: finite and within [low, high], or the message. Checked
// here so that "nan" and "1e999" are usage errors like any other bad value.
CLI::Validator NumberFrom(double low, double high, const std::string& message) {
  return CLI::Validator(
      [=](std::string& text) -> std::string {
        double value = 0.0;
        if (!CLI::detail::lexical_cast(text, value) || !std::isfinite(value) || value < low ||
            value > high) {
          return text + " " + message;
        }
        return std::string();
      },
      "", "");
}

// The option's value in lower case: "--up Z" is "--up z".
CLI::Validator Lowered() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return std::string();
      },
      "", "");
}

// A name that goes between quotes in the QC: printable, no quote.
CLI::Validator QcName() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        if (text.empty()) return "the name is empty";
        for (const char c : text) {
          const auto u = static_cast<unsigned char>(c);
          if (u < 0x20 || u == 0x7f || c == '"') {
            return "\"" + OneLine(text) + "\" holds a quote or a control character";
          }
        }
        return std::string();
      },
      "", "");
}

// Options that only matter for model files read through the importer.
void AddModelOptions(CLI::App& command, SceneLoadOptions& load) {
  command.add_option("--animation", load.animation,
                     "Model files: the animation to sample (default: the first)");
  command.add_option("--fps", load.fps, "Model files: frames per second (default 30)")
      ->check(NumberFrom(1.0, 4800.0, "is not a number of frames per second from 1 to 4800"));
  command
      .add_option("--up", load.up,
                  "Model files: the source's up axis (x, y or z, in any case), overriding the file")
      ->transform(Lowered())
      ->check(CLI::IsMember({"x", "y", "z"}));
  command.add_option("--scale", load.scale, "Model files: uniform scale (default 1)")
      ->check(NumberFrom(1e-30, 1e30, "is not a scale from 1e-30 to 1e30"));
  command
      .add_option("--units", load.units,
                  "Model files: the source's unit (inch, m, cm, mm or ft) where the file does not "
                  "say; glTF is in meters, FBX and Collada say theirs")
      ->transform(Lowered())
      ->check(CLI::IsMember({"inch", "m", "cm", "mm", "ft"}));
  command.add_flag("--to-source-units", load.toSourceUnits,
                   "Model files: convert from the source's unit to the compiler's inches "
                   "(1 m = 39.37 units), composed with --scale; default: no conversion");
  command
      .add_option("--import-timeout", load.importSeconds,
                  "Model files: seconds the importer may take before the file is given up as "
                  "damaged (default: 5 plus one per 64 KiB of the model and the files beside it "
                  "that begin with its name; 0: no limit)")
      ->check(NumberFrom(0.0, 1e9, "is not a number of seconds from 0 (no limit) to 1e9"));
  command.add_flag("--allow-outside-paths", load.allowOutsidePaths,
                   "Model files: let the model read the files it refers to (buffers, material "
                   "libraries, textures) from outside its own folder");
}

}  // namespace
}  // namespace kw

int main(int argc, char** argv) {
  // A closed pipe or a file-size limit must fail the write with an error the
  // tool reports, not end the process half way with a temporary file left.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  kw::InstallExitCleanup();
#if defined(__GLIBC__)
  // One short run that builds a scene and writes it out: memory freed by the
  // importer is better handed to the scene than returned to the kernel and
  // faulted in again, page by page.
  mallopt(M_MMAP_THRESHOLD, 256 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  mallopt(M_TOP_PAD, 32 << 20);
#endif

  CLI::App app{"kestrelworks: export a scene to a Source SMD (Studio Model Data) file."};
  app.set_version_flag("--version", std::string("kestrelworks ") + KW_VERSION);
  app.require_subcommand(1);
  app.footer(
      "Exit status: 0 success, 1 the SMD could not be written (nothing replaced),\n"
      "2 usage error, 3 the scene could not be read (or its importer crashed),\n"
      "4 warnings under --strict, 128+N stopped by signal N.");

  kw::ExportRequest request;
  CLI::App* exportCommand =
      app.add_subcommand("export",
                         "Write a reference SMD (skeleton at time 0 and every triangle) or, with "
                         "--sequence, a sequence SMD (skeleton at every frame of a range).");
  exportCommand
      ->add_option("scene", request.scenePath,
                   "Scene file (.json) or model file (FBX, glTF, Collada, X, ...) to export")
      ->required();
  exportCommand
      ->add_option("-o,--output", request.outputPath,
                   "SMD file to write; - writes to stdout, where a failed export leaves what "
                   "was written")
      ->required();
  exportCommand->add_flag("--sequence", request.sequence,
                          "Export a sequence SMD instead of a reference SMD");
  exportCommand
      ->add_option("--range", request.range,
                   "First and last frame of the sequence (default: the scene's whole range; "
                   "a start above the end is swapped)")
      ->expected(2);
  exportCommand->add_flag("--reverse", request.reverse,
                          "Write the sequence from last to first frame");
  CLI::Option* logOption =
      exportCommand
          ->add_option("--log", request.logPath,
                       "Write a log of the export with every warning to PATH (default: "
                       "kestrelworks_log.txt in the current directory); never through a link, "
                       "over a file the run reads or writes, or over a file that is not a log")
          ->expected(0, 1);
  exportCommand->add_flag("--selected-only", request.selectedOnly,
                          "Export only the nodes the scene marks as selected");
  exportCommand->add_flag("--strict", request.strict,
                          "Fail (exit 4, output left untouched) if the export raised any warning");
  exportCommand->add_flag("--verbose", request.verbose, "Print the host's debug lines to stderr");
  exportCommand->add_flag("--quiet", request.quiet,
                          "No progress line on a terminal for a long export, and no summary line "
                          "at the end");
  exportCommand->add_flag("--preview", request.preview,
                          "Also draw the written SMD as a PNG beside it (OUT.png)");
  CLI::Option* flex = exportCommand->add_flag(
      "--flex", request.flex,
      "Also write the reference's morph targets (shape keys) as a VTA beside it (OUT.vta); "
      "--all does so whenever the model has any");
  exportCommand->add_flag("--overwrite", request.overwrite,
                          "Let OUT.png and the QC of --all replace a file kestrelworks did not "
                          "write, or a QC edited since it wrote it");
  kw::AddModelOptions(*exportCommand, request.load);
  exportCommand
      ->add_option("--pose", request.pose,
                   "Model files: the reference's pose: bind (as the skins were bound, default), "
                   "rest, or first-frame of the animation")
      ->check(CLI::IsMember({"bind", "rest", "first-frame"}));
  exportCommand
      ->add_option("--max-links", request.load.maxLinks,
                   "Model files: trim each vertex's bone links as studiomdl does (below 0.05 "
                   "dropped, the N largest kept, renormalised) and say what was lost")
      ->check(CLI::PositiveNumber);
  CLI::Option* all = exportCommand->add_flag(
      "--all", request.all,
      "Model files: from one import, write into the folder -o names the reference "
      "<model>.smd, one sequence SMD per animation and a starter QC <model>.qc");
  for (const char* name :
       {"--sequence", "--range", "--reverse", "--animation", "--selected-only"}) {
    all->excludes(exportCommand->get_option(name));
  }
  flex->excludes(all)->excludes(exportCommand->get_option("--sequence"));
  exportCommand
      ->add_option("--collision", request.collision,
                   "With --all: the collision model <model>_phys.smd: hull (default: one convex "
                   "hull of a prop's mesh, one per bone of a skinned model), parts (a prop: one "
                   "hull per connected part, merged to the compiler's 20 pieces) or none")
      ->transform(kw::Lowered())
      ->check(CLI::IsMember({"hull", "parts", "none"}))
      ->needs(all);
  exportCommand
      ->add_option("--mass", request.mass,
                   "With --all: the collision model's mass in kilograms (default: $automass, "
                   "from its volume)")
      ->check(kw::NumberFrom(0.001, 50000.0, "is not a mass in kilograms from 0.001 to 50000"))
      ->needs(all);
  exportCommand
      ->add_option("--surfaceprop", request.surfaceProp,
                   "With --all: the QC's $surfaceprop, what the model is made of (default "
                   "\"default\")")
      ->check(kw::QcName())
      ->needs(all);

  std::string infoPath;
  kw::SceneLoadOptions infoOptions;
  CLI::App* infoCommand = app.add_subcommand(
      "info",
      "Print what the exporter sees in a scene or model file: nodes with their types, "
      "meshes, materials, skins and animations.");
  infoCommand->add_option("scene", infoPath, "Scene or model file")->required();
  kw::AddModelOptions(*infoCommand, infoOptions);
  infoCommand->footer(
      "Exit status: 0 the report was printed, 1 it could not be written whole,\n"
      "2 usage error, 3 the scene could not be read (or its importer crashed),\n"
      "128+N stopped by signal N.");

  kw::PreviewRequest previewRequest;
  CLI::App* previewCommand = kw::AddPreviewCommand(app, &previewRequest);
  previewCommand->footer(
      "Exit status: 0 the picture was written, 1 it could not be written,\n"
      "2 usage error (a bad --size or --frames), 3 a file is not a readable SMD,\n"
      "4 warnings under --strict (no picture written).");

  std::vector<std::string> checkPaths;
  CLI::App* checkCommand =
      app.add_subcommand("check",
                         "Check SMD files, ours or another tool's, against the compiler's limits "
                         "(exit 0 clean, 4 findings, 3 not a readable SMD).");
  checkCommand->add_option("files", checkPaths, "SMD files")->required();
  checkCommand->footer(
      "Exit status: 0 every file is clean, 4 a file has findings, 3 a file is not a\n"
      "readable SMD (every file is checked either way), 2 usage error, 1 the report\n"
      "could not be written.");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    kw::PrintFailure(std::string(e.what()) + " (see --help)");
    return kw::kExitUsage;
  }

  if (*exportCommand) {
    if (request.outputPath.empty()) {
      std::fprintf(stderr, "kestrelworks: --output: the file name is empty (see --help)\n");
      return kw::kExitUsage;
    }
    request.log = logOption->count() > 0;
    if (request.log && request.logPath.empty()) request.logPath = "kestrelworks_log.txt";
    return kw::RunExport(request);
  }
  if (*infoCommand) return kw::RunInfo(infoPath, infoOptions);
  if (*previewCommand) return kw::RunPreview(previewRequest);
  if (*checkCommand) return kw::RunCheck(checkPaths);
  return kw::kExitUsage;
}
