// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "cube/CubeKeys.h"
#include "platform/foundation/KeyedCoding.h"
#include "platform/foundation/Value.h"

namespace huecast
{

/// The largest edge a .cube file may declare (the format's maximum).
inline constexpr std::int64_t kMaxCubeEdge = 256;

/// One 3D colour look-up table: a lattice of N×N×N RGB float entries (red fastest, then green,
/// then blue; N³ × 12 bytes) and the entries that describe it, all in one dictionary (the keys
/// of CubeKeys.h). Shared by the cache, the host's parameter value and the render pass, and
/// never changed after construction.
class ZRColourCube
{
public:
    using Dictionary = foundation::Dictionary;
    using DictionaryPtr = std::shared_ptr<const Dictionary>;

    /// An identity cube of its own (edge 16); the process's shared one is identityCube().
    ZRColourCube();
    ZRColourCube(const ZRColourCube&) = delete;
    ZRColourCube& operator=(const ZRColourCube&) = delete;
    ~ZRColourCube() = default;

    /// A cube keeping a shallow copy of the dictionary (the lattice buffer and every other
    /// value shared, not copied). Null when the dictionary is null or lacks any of
    /// kCubeEdgeSizeKey, kCubeFileNameKey, kCubeFormatKey and kCubeDataKey; values are not
    /// checked.
    [[nodiscard]] static std::shared_ptr<ZRColourCube>
    initWithDictionary(const Dictionary* dictionary);

    /// A cube whose dictionary is the one stored under kColourCubeKey; an archive without that
    /// entry (or with a non-dictionary there) gives a cube without a dictionary, whose file
    /// name is empty and whose size is 0. Never null.
    [[nodiscard]] static std::shared_ptr<ZRColourCube>
    initWithCoder(const foundation::KeyedUnarchiver& coder);

    /// Why the cube can't be rendered as it is: no dictionary, an edge size missing or outside
    /// 1..kMaxCubeEdge, a lattice that is not N³ × 12 bytes or holds a non-finite value, a
    /// file name that is not a string. Empty for a whole cube (every cube the reader makes).
    [[nodiscard]] std::string damage() const;

    /// Stores the whole dictionary under kColourCubeKey, the lattice bytes exactly.
    void encodeWithCoder(foundation::KeyedArchiver& coder) const;

    /// The value under kCubeFileNameKey; empty when there is none.
    [[nodiscard]] std::optional<std::string> cubeFileName() const;
    /// The file name's last path component without its extension; "" without a file name.
    [[nodiscard]] std::string cubeName() const;
    /// The integer under kCubeEdgeSizeKey; 0 when there is none.
    [[nodiscard]] std::int64_t cubeSize() const;
    /// The edge of the lattice that bind uploads: cubeSize when it is 1..kMaxCubeEdge, else 16
    /// (a cube restored from a damaged project), so the uniforms can address what was bound.
    [[nodiscard]] std::int64_t textureEdge() const;

    /// Uploads the lattice as a new 3D texture in the active texture unit of the GL context
    /// current on the calling thread, and leaves it bound to GL_TEXTURE_3D: edge N each way,
    /// texel (x, y, z) = entry (r, g, b), clamped at the border, linear filters, no mipmaps;
    /// floats kept as floats where the context has float textures. A lattice shorter than
    /// N³ × 12 bytes, or an edge outside 1..256, uploads an identity lattice of edge N (16 when
    /// the edge is unusable) instead: bind never reads past the buffer. Pair each bind with
    /// disable within one render.
    void bind();
    /// Deletes the texture the latest bind on this thread made and binds 0 to GL_TEXTURE_3D in
    /// the active unit. Needs the same current context as bind, on the same thread.
    void disable();

    /// The identity cube's dictionary: edge 16, entry (r, g, b) = (r/15, g/15, b/15) in single
    /// precision, file name "kIdentityCube", no format entry.
    [[nodiscard]] static Dictionary genIdentity();

    /// The dictionary, atomically; null for a cube decoded without one. The pointer keeps the
    /// dictionary alive while the caller holds it.
    [[nodiscard]] DictionaryPtr colourCube() const { return m_colourCube.load(); }
    /// Replaces the dictionary atomically.
    void setColourCube(DictionaryPtr dictionary) { m_colourCube.store(std::move(dictionary)); }

    /// The one identity cube of the process, made on the first call.
    [[nodiscard]] static std::shared_ptr<ZRColourCube> identityCube();

private:
    struct Uninitialised
    {
    };
    explicit ZRColourCube(Uninitialised /*tag*/) {}

    std::atomic<DictionaryPtr> m_colourCube;
};

} // namespace huecast
