#pragma once

#include <array>
#include <string_view>

using TMd5 = std::array<unsigned char, 16>;

// The MD5 digest of `text` from the system's own crypto library (OpenSSL here, BCrypt on
// Windows). False when the library refuses, which the caller reports.
bool Md5Digest(std::string_view text, TMd5& digest);
