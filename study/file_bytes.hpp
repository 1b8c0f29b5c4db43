// The bytes of a study's own files: read whole, written so that a reader
// never sees a part, and checksummed for manifests and signatures.
//
// These run on the realisations' worker threads: a fault is thrown as
// std::runtime_error, not stopped, so that the thread that meets it reports
// it as its realisation's failure.
#pragma once

#include <filesystem>
#include <string>

#include "common/checksum.hpp"

// The whole file; empty when it cannot be read.
std::string read_text(const std::filesystem::path& file);

// Writes `text` under the name file + ".tmp" and moves it into place, so
// that a reader sees the old file or the whole new one, never a part.
void write_atomically(const std::filesystem::path& file, const std::string& text);

// The checksum of a file's bytes (common/checksum.hpp).
std::string checksum_file(const std::filesystem::path& file);
