// SPDX-License-Identifier: Apache-2.0
// Runs the built quillmont-cli as a program, the way scripts and production lines do, and
// collects its exit status, standard output and standard error.
#pragma once

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace quillmont::testing {

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

#if defined(_WIN32)
// cmd.exe runs the command; its output is read in binary mode, byte for byte.
inline constexpr const char* kNullDevice = "NUL";

inline std::string Quote(const std::string& text) {
  return "\"" + text + "\"";
}

inline std::FILE* OpenPipe(const std::string& command) {
  // cmd /c drops the first and the last quote of a line that starts with one: wrap the line.
  return _popen(Quote(command).c_str(), "rb");
}

// The command's exit status.
inline int ClosePipe(std::FILE* pipe) {
  return _pclose(pipe);
}
#else
inline constexpr const char* kNullDevice = "/dev/null";

inline std::string Quote(const std::string& text) {
  return "'" + text + "'";
}

inline std::FILE* OpenPipe(const std::string& command) {
  return popen(command.c_str(), "r");
}

// The command's exit status, or -1 when it did not exit (a signal ended it).
inline int ClosePipe(std::FILE* pipe) {
  const int raw = pclose(pipe);
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}
#endif

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// `arguments` is shell text after the program's name. Standard error goes to `err_path`. With
// `input`, a shell command whose output is piped into the program's standard input.
inline CliRun RunCliProgram(const std::string& arguments, const std::string& err_path,
                            const std::string& input = "") {
  CliRun run;
  const std::string command = (input.empty() ? "" : input + " | ") + Quote(QUILLMONT_CLI_PATH) +
                              " " + arguments + " 2>" + Quote(err_path);
  std::FILE* pipe = OpenPipe(command);
  if (pipe == nullptr) {
    return run;
  }
  std::array<char, 4096> block{};
  size_t got = 0;
  while ((got = std::fread(block.data(), 1, block.size(), pipe)) > 0) {
    run.out.append(block.data(), got);
  }
  run.status = ClosePipe(pipe);
  run.err = ReadWholeFile(err_path);
  return run;
}

// The update tests' helpers define the same; a test that uses both takes theirs.
#ifndef QUILLMONT_TESTING_EXAMPLE_PATH
inline std::string ExamplePath(const std::string& name) {
  return std::string(QUILLMONT_SOURCE_DIR) + "/examples/" + name;
}
#endif

}  // namespace quillmont::testing
