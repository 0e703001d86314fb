// SPDX-License-Identifier: Apache-2.0
// A pseudo-terminal for the serial driver's tests: the driver opens the slave by its path, the
// test plays the far end of the line on the master.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillmont::testing {

class PtyPair {
 public:
  PtyPair();  // fails the current test when no pseudo-terminal can be made
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& slave_path() const { return slave_path_; }
  int master() const { return master_; }

  // Writes all bytes into the line from the far end.
  void Send(const std::vector<uint8_t>& bytes);
  // Reads what reached the far end: waits (poll, at most timeout_ms in all) until `count`
  // bytes are there or the time is up, and returns what came.
  std::vector<uint8_t> Receive(size_t count, int timeout_ms = 1000);
  // Hangs the line up, as an adapter pulled out of the USB port does.
  void CloseMaster();

 private:
  int master_ = -1;
  std::string slave_path_;
};

// The slave's line settings, read through the master.
struct LineSettings {
  uint32_t input_baud = 0;
  uint32_t output_baud = 0;
  bool eight_bits = false;
  bool two_stop_bits = false;
  bool parity = true;
  bool hardware_flow = true;
  bool ignore_modem_lines = false;
  bool receiver_on = false;
  bool software_flow = true;      // IXON or IXOFF
  bool input_translation = true;  // CR/LF mapping or stripping
  bool output_processing = true;
  bool canonical_or_echo = true;
};
LineSettings ReadLineSettings(int fd);

}  // namespace quillmont::testing
