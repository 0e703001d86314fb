// SPDX-License-Identifier: Apache-2.0
#include "cli/inspect_command.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/exit_codes.h"
#include "cli/json_document.h"
#include "station/firmware_file.h"
#include "update/erase_coverage.h"
#include "update/image_analysis.h"

namespace quillmont::cli {

CliCommand AddInspectCommand(CLI::App& app, const bool& json, CliOutput io) {
  auto path = std::make_shared<std::string>();
  CLI::App* sub = app.add_subcommand(
      "inspect", "Load and analyse a .srec2 firmware file: code range, signature, erase plan");
  sub->add_option("FILE", *path, "The .srec2 firmware file")->required();
  return CliCommand{sub,
                    [path, &json, io](const CliConfig&) { return RunInspect(*path, io, json); }};
}

namespace {

// A file that cannot be inspected: the reason on standard error and, with --json, the document.
int BadFile(CliOutput io, bool json, const std::string& path, const std::string& text) {
  io.err << text << '\n';
  if (json) {
    return PrintDocument(io, nlohmann::json{{"command", "inspect"},
                                            {"file", path},
                                            {"result", "bad file"},
                                            {"detail", text},
                                            {"exit_code", kExitBadFile}});
  }
  return kExitBadFile;
}

// Which erase command clears the flash each chunk writes.
std::vector<ChunkCoverage> CoverageOfChunks(const FirmwareFile& file) {
  const PreparedFirmware& prepared = *file.prepared;
  const std::vector<ErasedRange> ranges = ErasedRanges(prepared.analysis, prepared.plan);
  std::vector<ChunkCoverage> coverage;
  for (const PlannedChunk& chunk : file.chunks) {
    coverage.push_back(CoverageOf(chunk, prepared.image, prepared.analysis, ranges));
  }
  return coverage;
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

// The chunks as the document lists them: where each goes, and which erase clears it.
nlohmann::json ChunksJson(const FirmwareFile& file, const std::vector<ChunkCoverage>& coverage) {
  nlohmann::json listed = nlohmann::json::array();
  for (size_t i = 0; i < file.chunks.size(); ++i) {
    nlohmann::json entry = {{"address", file.chunks[i].address},
                            {"length", file.chunks[i].length},
                            {"erased_by", coverage[i].erases}};
    if (coverage[i].unerased) {
      entry["unerased"] = *coverage[i].unerased;
    }
    listed.push_back(entry);
  }
  return listed;
}

// The analysis as one document.
int PrintJson(CliOutput io, const std::string& path, const FirmwareFile& file,
              const std::vector<ChunkCoverage>& coverage,
              const std::vector<std::string>& warnings) {
  const ImageAnalysis& analysis = file.prepared->analysis;
  const ErasePlan& plan = file.prepared->plan;
  nlohmann::json erase = nlohmann::json::array();
  for (int i = 0; i < plan.erase_count && i < static_cast<int>(plan.erase_list.size()); ++i) {
    erase.push_back(plan.erase_list[static_cast<size_t>(i)]);
  }
  return PrintDocument(io, nlohmann::json{{"command", "inspect"},
                                          {"file", path},
                                          {"sha256", file.sha256},
                                          {"loaded_bytes", file.loaded->loaded_count},
                                          {"records", file.stats.records},
                                          {"code_begin", analysis.code_begin},
                                          {"code_end", analysis.code_end},
                                          {"signature", analysis.signature},
                                          {"erase_blocks", erase},
                                          {"chunks", ChunksJson(file, coverage)},
                                          {"complete", file.complete()},
                                          {"has_signature", file.has_signature()},
                                          {"warnings", warnings},
                                          {"exit_code", kExitSuccess}});
}

}  // namespace

int RunInspect(const std::string& path, CliOutput io, bool json) {
  // Read once: the same bytes are hashed and analysed, so a pipe or /dev/stdin works too.
  const Result<FirmwareFile> loaded = LoadFirmwareFile(path);
  if (!loaded) {
    return BadFile(io, json, path, loaded.error().message);
  }
  const FirmwareFile& file = *loaded;
  const ImageAnalysis& analysis = file.prepared->analysis;
  const ErasePlan& plan = file.prepared->plan;
  // What the user should know before flashing it: a file cut short is refused by flash, and an
  // image without a signature leaves the fixture in its bootloader.
  std::vector<std::string> warnings;
  if (!file.complete()) {
    warnings.push_back(FileEndingText(file.loaded->file_ending) +
                       " quillmont-cli flash refuses it unless given --allow-unterminated.");
  }
  if (!file.has_signature()) {
    warnings.push_back(kNoSignatureWarning);
  }
  if (const Status erased = CheckErased(file); !erased) {
    warnings.push_back(erased.error().message);
  }
  const std::vector<ChunkCoverage> coverage = CoverageOfChunks(file);
  if (json) {
    return PrintJson(io, path, file, coverage, warnings);
  }
  for (const std::string& warning : warnings) {
    io.out << "Warning: " << warning << '\n';
  }
  io.out << FormatAnalysisLog(analysis, plan) << '\n';
  io.out << "loaded bytes: " << file.loaded->loaded_count << '\n';
  io.out << "records: " << file.stats.records << '\n';
  io.out << file.sha256 << "  " << path << '\n';
  io.out << "program chunks: " << file.chunks.size() << '\n';
  for (size_t i = 0; i < file.chunks.size(); ++i) {
    io.out << ChunkLine(file.chunks[i], coverage[i]) << '\n';
  }
  return kExitSuccess;
}

}  // namespace quillmont::cli
