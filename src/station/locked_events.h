// SPDX-License-Identifier: Apache-2.0
// Several runs at once (one thread per adapter) report through one renderer: this decorator hands
// every event on under one lock, so that the renderer sees one call at a time.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "station/station_events.h"

namespace quillmont {

class LockedEvents final : public StationEvents {
 public:
  explicit LockedEvents(StationEvents& inner) : inner_(inner) {}

  void OnLinkChanged(bool open) override {
    Locked([&] { inner_.OnLinkChanged(open); });
  }
  void OnDiscovery(const DiscoveryEvent& event) override {
    Locked([&] { inner_.OnDiscovery(event); });
  }
  void OnReplyAccepted(const RdmFrameView& frame) override {
    Locked([&] { inner_.OnReplyAccepted(frame); });
  }
  void OnCommandAnswered(const CommandAnswer& answer) override {
    Locked([&] { inner_.OnCommandAnswered(answer); });
  }
  void OnDeviceInfo(const DeviceInfoEvent& info) override {
    Locked([&] { inner_.OnDeviceInfo(info); });
  }
  void OnUpdateProgress(const UpdateProgress& progress) override {
    Locked([&] { inner_.OnUpdateProgress(progress); });
  }
  void OnUpdateEnded(UpdateOutcome outcome) override {
    Locked([&] { inner_.OnUpdateEnded(outcome); });
  }
  void OnLogLine(int adapter, const std::string& line, bool program_request) override {
    Locked([&] { inner_.OnLogLine(adapter, line, program_request); });
  }
  void OnStatus(int adapter, const std::string& text) override {
    Locked([&] { inner_.OnStatus(adapter, text); });
  }
  void OnMessageBox(int adapter, const std::string& text) override {
    Locked([&] { inner_.OnMessageBox(adapter, text); });
  }
  void OnProgress(int adapter, const FlashProgress& progress) override {
    Locked([&] { inner_.OnProgress(adapter, progress); });
  }
  void OnWarning(const std::string& text) override {
    Locked([&] { inner_.OnWarning(text); });
  }
  void OnLineNotice(const std::string& text) override {
    Locked([&] { inner_.OnLineNotice(text); });
  }
  void OnSurvey(const std::vector<RigFixture>& fixtures) override {
    Locked([&] { inner_.OnSurvey(fixtures); });
  }
  void OnFixtureBegins(const RigFixture& fixture, int number, int total) override {
    Locked([&] { inner_.OnFixtureBegins(fixture, number, total); });
  }
  void OnFixtureResult(const RigFixture& fixture, const FlashResult& result) override {
    Locked([&] { inner_.OnFixtureResult(fixture, result); });
  }
  void OnFlashResult(int adapter, const FlashResult& result) override {
    Locked([&] { inner_.OnFlashResult(adapter, result); });
  }

 private:
  template <typename Call>
  void Locked(const Call& call) {
    const std::lock_guard<std::mutex> guard(lock_);
    call();
  }

  StationEvents& inner_;
  std::mutex lock_;
};

}  // namespace quillmont
