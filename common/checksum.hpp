// The checksum of a text: the key of the maps' correlation cache and of a
// study's manifests and signatures.
#pragma once

#include <string>

// 64-bit FNV-1a checksum of a text's bytes, 16 hexadecimal digits.
std::string checksum_text(const std::string& bytes);
