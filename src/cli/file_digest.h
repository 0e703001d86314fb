// Digests of whole files, for people to compare a firmware file with its release.
#pragma once

#include <string>

namespace quillmont::cli {

// The SHA-256 of the file's bytes in 64 lower-case hex digits; empty when it cannot be read.
std::string Sha256FileHex(const std::string& path);

}  // namespace quillmont::cli
