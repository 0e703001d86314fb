// Runs the built quillmont-cli as a program, the way scripts and production lines do, and
// collects its exit status, standard output and standard error.
#pragma once

#include <sys/wait.h>

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

inline std::string Quote(const std::string& text) {
  return "'" + text + "'";
}

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// `arguments` is shell text after the program's name. Standard error goes to `err_path`.
inline CliRun RunCliProgram(const std::string& arguments, const std::string& err_path) {
  CliRun run;
  const std::string command = Quote(QUILLMONT_CLI_PATH) + " " + arguments + " 2>" + Quote(err_path);
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return run;
  }
  std::array<char, 4096> block{};
  size_t got = 0;
  while ((got = std::fread(block.data(), 1, block.size(), pipe)) > 0) {
    run.out.append(block.data(), got);
  }
  const int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.err = ReadWholeFile(err_path);
  return run;
}

inline std::string ExamplePath(const std::string& name) {
  return std::string(QUILLMONT_SOURCE_DIR) + "/examples/" + name;
}

}  // namespace quillmont::testing
