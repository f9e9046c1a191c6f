// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "host/Checksum.h"

#include <array>

#include <fmt/format.h>
#include <openssl/evp.h>

namespace huecast::host
{

std::string sha256Hex(std::span<const std::uint8_t> bytes)
{
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1)
    {
        return {};
    }
    std::string hex;
    hex.reserve(std::size_t{2} * length);
    for (unsigned int i = 0; i < length; ++i)
    {
        hex += fmt::format("{:02x}", digest[i]);
    }
    return hex;
}

} // namespace huecast::host
