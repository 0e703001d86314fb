#include "cli/inspect_command.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/exit_codes.h"
#include "cli/file_digest.h"
#include "update/chunk_choice.h"
#include "update/erase_coverage.h"
#include "update/firmware_image.h"
#include "update/image_analysis.h"
#include "update/srec2.h"

namespace quillmont::cli {

CliCommand AddInspectCommand(CLI::App& app, const bool& json, CliOutput io) {
  auto path = std::make_shared<std::string>();
  CLI::App* sub = app.add_subcommand(
      "inspect", "Load and analyse a .srec2 firmware file: code range, signature, erase plan");
  sub->add_option("FILE", *path, "The .srec2 firmware file")->required();
  return CliCommand{sub, [path, &json, io] { return RunInspect(*path, io, json); }};
}

namespace {

// A file that cannot be inspected: the reason on standard error and, with --json, the document.
int BadFile(CliOutput io, bool json, const std::string& path, const std::string& text) {
  io.err << text << '\n';
  if (json) {
    io.out << nlohmann::json{{"command", "inspect"},
                             {"file", path},
                             {"result", "bad file"},
                             {"detail", text},
                             {"exit_code", kExitBadFile}}
                  .dump(2)
           << '\n';
  }
  return kExitBadFile;
}

// "  $04000  192 bytes  erased by $4000", or "NOT ERASED: $00100" for a chunk that writes flash
// no erase of the plan clears.
std::string ChunkLine(const PlannedChunk& chunk, const ChunkCoverage& coverage) {
  char text[48];
  std::snprintf(text, sizeof text, "  $%05X  %3u bytes", static_cast<unsigned>(chunk.address),
                static_cast<unsigned>(chunk.length));
  std::string line = text;
  for (size_t i = 0; i < coverage.erases.size(); ++i) {
    std::snprintf(text, sizeof text, "%s$%X", i == 0 ? "  erased by " : ", ",
                  static_cast<unsigned>(coverage.erases[i]));
    line += text;
  }
  if (coverage.unerased) {
    std::snprintf(text, sizeof text, "  NOT ERASED: $%05X",
                  static_cast<unsigned>(*coverage.unerased));
    line += text;
  }
  return line;
}

}  // namespace

int RunInspect(const std::string& path, CliOutput io, bool json) {
  // Read once: the same bytes are hashed and analysed, so a pipe or /dev/stdin works too.
  const Result<std::vector<uint8_t>> bytes = ReadFileBytes(path);
  if (!bytes) {
    return BadFile(io, json, path, bytes.error().message);
  }
  // The image is 512 KiB with its map: too big for the stack.
  auto image = std::make_unique<FirmwareImage>();
  const Result<Srec2Stats> loaded = LoadSrec2Bytes(*bytes, *image);
  if (!loaded) {
    return BadFile(io, json, path, loaded.error().message);
  }
  const Srec2Stats& stats = *loaded;
  if (image->loaded_count == 0) {
    return BadFile(io, json, path, "No data records in file.");
  }
  const Result<std::string> hashed = Sha256Hex(*bytes);
  if (!hashed) {
    return BadFile(io, json, path, hashed.error().message);
  }
  const std::string& digest = *hashed;

  ImageAnalysis analysis;
  ErasePlan plan;
  AnalyseImage(*image, analysis, plan);
  const std::vector<PlannedChunk> chunks = PlanChunks(*image, analysis);
  // What the user should know before flashing it: a file cut short is refused by flash, and an
  // image without a signature leaves the fixture in its bootloader.
  std::vector<std::string> warnings;
  if (image->file_ending != FileEnding::kComplete) {
    warnings.push_back(FileEndingText(image->file_ending) +
                       " quillmont-cli flash refuses it unless given --allow-unterminated.");
  }
  if (!analysis.HasSignature()) {
    warnings.push_back(kNoSignatureWarning);
  }
  if (const Status erased = CheckChunksErased(*image, analysis, plan); !erased) {
    warnings.push_back(erased.error().message);
  }
  // Which erase command clears the flash each chunk writes.
  const std::vector<ErasedRange> ranges = ErasedRanges(analysis, plan);
  std::vector<ChunkCoverage> coverage;
  for (const PlannedChunk& chunk : chunks) {
    coverage.push_back(CoverageOf(chunk, *image, analysis, ranges));
  }
  if (json) {
    nlohmann::json erase = nlohmann::json::array();
    for (int i = 0; i < plan.erase_count && i < static_cast<int>(plan.erase_list.size()); ++i) {
      erase.push_back(plan.erase_list[static_cast<size_t>(i)]);
    }
    nlohmann::json listed = nlohmann::json::array();
    for (size_t i = 0; i < chunks.size(); ++i) {
      nlohmann::json entry = {{"address", chunks[i].address},
                              {"length", chunks[i].length},
                              {"erased_by", coverage[i].erases}};
      if (coverage[i].unerased) {
        entry["unerased"] = *coverage[i].unerased;
      }
      listed.push_back(entry);
    }
    io.out << nlohmann::json{{"command", "inspect"},
                             {"file", path},
                             {"sha256", digest},
                             {"loaded_bytes", image->loaded_count},
                             {"records", stats.records},
                             {"code_begin", analysis.code_begin},
                             {"code_end", analysis.code_end},
                             {"signature", analysis.signature},
                             {"erase_blocks", erase},
                             {"chunks", listed},
                             {"complete", image->file_ending == FileEnding::kComplete},
                             {"has_signature", analysis.HasSignature()},
                             {"warnings", warnings},
                             {"exit_code", kExitSuccess}}
                  .dump(2)
           << '\n';
    return kExitSuccess;
  }
  for (const std::string& warning : warnings) {
    io.out << "Warning: " << warning << '\n';
  }
  io.out << FormatAnalysisLog(analysis, plan) << '\n';
  io.out << "loaded bytes: " << image->loaded_count << '\n';
  io.out << "records: " << stats.records << '\n';
  io.out << digest << "  " << path << '\n';
  io.out << "program chunks: " << chunks.size() << '\n';
  for (size_t i = 0; i < chunks.size(); ++i) {
    io.out << ChunkLine(chunks[i], coverage[i]) << '\n';
  }
  return kExitSuccess;
}

}  // namespace quillmont::cli
