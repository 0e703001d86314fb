// SPDX-License-Identifier: Apache-2.0
#include "cli/rig_command.h"

#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/adapter_lines.h"
#include "cli/console_renderer.h"
#include "cli/exit_codes.h"
#include "cli/flash_report.h"
#include "cli/interrupt.h"
#include "cli/json_document.h"
#include "cli/sim_dump.h"
#include "cli/station_run.h"
#include "station/rig.h"

namespace quillmont::cli {
namespace {

using nlohmann::json;

// The lines of the rig: every adapter's, or the whole driver (its first adapter that opens).
Result<AdapterLines> RigLines(const FlashRequest& request, const CliConfig& config) {
  if (request.all_adapters) {
    const Result<int> counted = CountAdapters(config.drivers);
    if (!counted || *counted <= 0) {
      return Error{counted ? "No USB-to-RS485 adapter found." : counted.error().message};
    }
    return MakeAdapterLines(config, *counted);
  }
  Result<std::unique_ptr<DriverSet>> made = MakeDriver(config.drivers);
  if (!made) {
    return made.error();
  }
  AdapterLines one;
  one.lines.push_back(StationLine{0, made->get()});
  one.sets.push_back(std::move(*made));
  return one;
}

const char* RefusalName(RigRefusal refusal) {
  switch (refusal) {
    case RigRefusal::kNoAdapter:
      return "no adapter";
    case RigRefusal::kNoFixture:
      return "no device";
    case RigRefusal::kNotOnLine:
      return "not on the line";
    case RigRefusal::kCountMismatch:
      return "count mismatch";
    case RigRefusal::kNoMatch:
    case RigRefusal::kNone:
      break;
  }
  return "no match";
}

// The simulated fixtures' flash is written however the run ends once the lines were surveyed.
struct DumpAtEnd {
  AdapterLines& adapters;
  const CliConfig& config;
  bool all_adapters;
  std::ostream& err;
  ~DumpAtEnd() {
    for (size_t l = 0; l < adapters.sets.size(); ++l) {
      DumpLineFlash(*adapters.sets[l], config.sim_dump, all_adapters, adapters.lines[l].adapter,
                    err);
    }
  }
};

int Report(const FlashRequest& request, const CliConfig& config, CliOutput io,
           const FirmwareFile& file, const RigPlan& plan) {
  int exit_code = kExitSuccess;
  for (const RigEntry& entry : plan.entries) {
    if (ExitCodeOf(entry.result) != kExitSuccess && exit_code == kExitSuccess) {
      exit_code = ExitCodeOf(entry.result);
    }
  }
  // A signal during the survey: no fixture was started, whatever was found.
  const int signal = PendingInterrupt();
  if (plan.stopped && signal != 0) {
    exit_code = InterruptExitCode(signal);
    io.err << InterruptText(signal) << '\n';
  }
  if (config.json) {
    json items = json::array();
    for (const RigEntry& entry : plan.entries) {
      items.push_back(EntryJson(entry, request.all_adapters));
    }
    json doc{{"command", "flash"},
             {"all_fixtures", true},
             {"all_adapters", request.all_adapters},
             {"dry_run", request.dry_run},
             {"file", file.path},
             {"sha256", file.sha256},
             {"found", plan.found},
             {"fixtures", items},
             {"exit_code", exit_code}};
    if (request.expect) {
      doc["expected"] = *request.expect;
    }
    if (signal != 0) {
      doc["result"] = "interrupted";
      doc["detail"] = InterruptText(signal);
    }
    return PrintDocument(io, std::move(doc));
  }
  if (!request.dry_run) {
    PrintRigTable(io.out, io.utf8, file, plan.entries, request.all_adapters);
  }
  return exit_code;
}

}  // namespace

int RunFlashAllFixtures(const FlashRequest& request, const CliConfig& config, CliOutput io) {
  const Result<FirmwareFile> file = LoadRunFile(request);
  if (!file) {
    return EarlyFailure(config, io, request.path, kExitBadFile, "bad file", file.error().message);
  }
  Result<AdapterLines> adapters = RigLines(request, config);
  if (!adapters) {
    return EarlyFailure(config, io, request.path, kExitNoAdapter, "no adapter",
                        adapters.error().message);
  }
  const StationRun run(config, io, true);
  const bool several = adapters->lines.size() > 1;
  ConsoleRenderer console(
      io, config.json,
      several ? ConsoleRenderer::Layout::kPrefixed : ConsoleRenderer::Layout::kOneLine);
  console.adapter_column = request.all_adapters;
  console.plan_is_result = request.dry_run;
  const RigSelection selection{config.uids, request.model_id, request.skip_version, request.expect};
  if (!config.json) {
    // The survey takes seconds on a full line: say what the silence is, as the heading of what
    // the run prints on standard output.
    io.out << (several ? "Looking for fixtures on every line...\n"
                       : "Looking for fixtures on the line...\n")
           << std::flush;
  }
  RigPlan plan = PlanRig(adapters->lines, selection, request.dry_run, run.settings(), console);
  if (plan.refusal == RigRefusal::kNoAdapter) {
    return EarlyFailure(config, io, request.path, kExitNoAdapter, "no adapter", plan.detail);
  }
  const DumpAtEnd dump_at_end{*adapters, config, request.all_adapters, io.err};
  if (plan.refusal != RigRefusal::kNone) {
    return EarlyFailure(config, io, request.path, ExitCodeOf(plan.refusal),
                        RefusalName(plan.refusal), plan.detail);
  }
  if (!request.dry_run && !plan.stopped) {
    UpdateRig(adapters->lines, *file, plan, run.settings(), console);
  }
  console.EndLiveLine();
  return Report(request, config, io, *file, plan);
}

}  // namespace quillmont::cli
