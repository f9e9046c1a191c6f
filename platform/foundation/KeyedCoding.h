// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"

namespace huecast::foundation
{

/// Keyed archives: values stored under string keys, written as one CBOR map (RFC 8949):
///
///     { "format": "huecast-keyed-archive", "version": 1, "objects": { KEY: VALUE, ... } }
///
/// A value is written as the CBOR item of its kind: null, boolean, integer, float, text string,
/// byte string (a buffer's bytes exactly), array, or map with text keys. docs/archive-format.md
/// describes the format and how its version changes.
inline constexpr std::string_view kArchiveFormatName = "huecast-keyed-archive";
inline constexpr std::int64_t kArchiveFormatVersion = 1;

/// Domain of the unarchiver's errors.
inline constexpr std::string_view kArchiveErrorDomain = "HuecastArchiveErrorDomain";
enum class ArchiveError : std::int64_t
{
    Corrupt = 1,         ///< not CBOR, truncated, or holding something a value can't be
    NotAnArchive = 2,    ///< CBOR, but not a keyed archive
    NewerVersion = 3,    ///< written by a newer format version than this build reads
    TooDeeplyNested = 4, ///< arrays or maps nested beyond kMaxArchiveDepth
};

/// Deepest nesting of arrays and maps that an archive may hold (a cube needs 3).
inline constexpr std::size_t kMaxArchiveDepth = 64;

/// Collects values under keys and writes the archive.
class KeyedArchiver
{
public:
    /// Stores the value under the key, replacing an earlier value under the same key.
    void encodeObject(const Value& value, std::string_view key);
    /// The archive's bytes.
    [[nodiscard]] Bytes encodedData() const;

private:
    Dictionary m_objects;
};

/// Reads an archive made by KeyedArchiver.
class KeyedUnarchiver
{
public:
    /// Null when the bytes are not a readable archive of this or an older format version; the
    /// error (kArchiveErrorDomain) says why. Never reads past `data` and allocates in
    /// proportion to its size.
    [[nodiscard]] static std::unique_ptr<KeyedUnarchiver> create(std::span<const std::uint8_t> data,
                                                                 Error* error);

    /// True when the archive holds a value under the key.
    [[nodiscard]] bool containsValueForKey(std::string_view key) const;
    /// The value under the key, or a null value when there is none.
    [[nodiscard]] Value decodeObject(std::string_view key) const;

private:
    explicit KeyedUnarchiver(Dictionary objects) : m_objects(std::move(objects)) {}

    Dictionary m_objects;
};

} // namespace huecast::foundation
