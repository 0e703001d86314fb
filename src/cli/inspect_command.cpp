#include "cli/inspect_command.h"

#include <CLI/CLI.hpp>
#include <memory>

#include "cli/exit_codes.h"
#include "cli/file_digest.h"
#include "update/firmware_image.h"
#include "update/image_analysis.h"
#include "update/srec2.h"

namespace quillmont::cli {

CliCommand AddInspectCommand(CLI::App& app, CliOutput io) {
  auto path = std::make_shared<std::string>();
  CLI::App* sub = app.add_subcommand(
      "inspect", "Load and analyse a .srec2 firmware file: code range, signature, erase plan");
  sub->add_option("FILE", *path, "The .srec2 firmware file")->required();
  return CliCommand{sub, [path, io] { return RunInspect(*path, io); }};
}

int RunInspect(const std::string& path, CliOutput io) {
  // The image is 512 KiB with its map: too big for the stack.
  auto image = std::make_unique<FirmwareImage>();
  Srec2Stats stats;
  const MessageBoxFn to_err = [&io](const std::string& text) { io.err << text << '\n'; };
  if (LoadSrec2File(path, *image, to_err, &stats) != 1) {
    return kExitBadFile;
  }
  if (image->loaded_count == 0) {
    io.err << "No data records in file." << '\n';
    return kExitBadFile;
  }

  const std::string digest = Sha256FileHex(path);
  if (digest.empty()) {
    io.err << "Unable to read file." << '\n';
    return kExitBadFile;
  }

  ImageAnalysis analysis;
  ErasePlan plan;
  AnalyseImage(*image, analysis, plan);
  io.out << FormatAnalysisLog(analysis, plan) << '\n';
  io.out << "loaded bytes: " << image->loaded_count << '\n';
  io.out << "records: " << stats.records << '\n';
  io.out << digest << "  " << path << '\n';
  return kExitSuccess;
}

}  // namespace quillmont::cli
