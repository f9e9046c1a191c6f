// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "cube/ZRColourCube.h"

#include <array>
#include <cmath>
#include <cstring>

#include <fmt/format.h>

#include "platform/foundation/Paths.h"

namespace huecast
{
namespace
{

constexpr std::int64_t kIdentityEdge = 16;
constexpr std::size_t kIdentityBytes = std::size_t{16} * 16 * 16 * 3 * sizeof(float);

const foundation::Value* entry(const ZRColourCube::Dictionary* dictionary, std::string_view key)
{
    if (dictionary == nullptr)
    {
        return nullptr;
    }
    const auto found = dictionary->find(key);
    return found == dictionary->end() ? nullptr : &found->second;
}

} // namespace

ZRColourCube::ZRColourCube() : m_colourCube(std::make_shared<const Dictionary>(genIdentity())) {}

std::shared_ptr<ZRColourCube> ZRColourCube::initWithDictionary(const Dictionary* dictionary)
{
    for (const std::string_view key :
         {kCubeEdgeSizeKey, kCubeFileNameKey, kCubeFormatKey, kCubeDataKey})
    {
        if (entry(dictionary, key) == nullptr)
        {
            return nullptr;
        }
    }
    auto cube = std::shared_ptr<ZRColourCube>(new ZRColourCube(Uninitialised{}));
    cube->setColourCube(std::make_shared<const Dictionary>(*dictionary));
    return cube;
}

std::shared_ptr<ZRColourCube> ZRColourCube::initWithCoder(const foundation::KeyedUnarchiver& coder)
{
    auto cube = std::shared_ptr<ZRColourCube>(new ZRColourCube(Uninitialised{}));
    const foundation::Value stored = coder.decodeObject(kColourCubeKey);
    if (const Dictionary* dictionary = stored.dictionary())
    {
        cube->setColourCube(std::make_shared<const Dictionary>(*dictionary));
    }
    return cube;
}

std::string ZRColourCube::damage() const
{
    const DictionaryPtr dictionary = colourCube();
    if (!dictionary)
    {
        return "it holds no cube dictionary";
    }
    const foundation::Value* size = entry(dictionary.get(), kCubeEdgeSizeKey);
    const auto edge = size != nullptr && size->kind() == foundation::Value::Kind::Integer
                          ? size->integerValue()
                          : std::nullopt;
    if (!edge)
    {
        return "its edge size is missing";
    }
    if (*edge < 1 || *edge > kMaxCubeEdge)
    {
        return fmt::format("its edge size is {}, outside 1 to {}", *edge, kMaxCubeEdge);
    }
    const foundation::Value* data = entry(dictionary.get(), kCubeDataKey);
    const foundation::SharedBytes lattice = data != nullptr ? data->bytes() : nullptr;
    const auto expected = static_cast<std::size_t>(*edge * *edge * *edge) * 3 * sizeof(float);
    if (!lattice || lattice->size() != expected)
    {
        return fmt::format("its lattice holds {} bytes where edge {} needs {}",
                           lattice ? lattice->size() : 0, *edge, expected);
    }
    for (std::size_t offset = 0; offset < expected; offset += sizeof(float))
    {
        float value = 0.0F;
        std::memcpy(&value, lattice->data() + offset, sizeof(value));
        if (!std::isfinite(value))
        {
            return "its lattice holds a value that is not a finite number";
        }
    }
    const foundation::Value* name = entry(dictionary.get(), kCubeFileNameKey);
    if (name == nullptr || name->string() == nullptr)
    {
        return "its file name is missing";
    }
    return {};
}

void ZRColourCube::encodeWithCoder(foundation::KeyedArchiver& coder) const
{
    const DictionaryPtr dictionary = colourCube();
    coder.encodeObject(dictionary ? foundation::Value(*dictionary) : foundation::Value(),
                       kColourCubeKey);
}

std::optional<std::string> ZRColourCube::cubeFileName() const
{
    const DictionaryPtr dictionary = colourCube();
    const foundation::Value* name = entry(dictionary.get(), kCubeFileNameKey);
    if (name == nullptr || name->string() == nullptr)
    {
        return std::nullopt;
    }
    return *name->string();
}

std::string ZRColourCube::cubeName() const
{
    const std::optional<std::string> fileName = cubeFileName();
    if (!fileName)
    {
        return {};
    }
    return std::string(foundation::deletingPathExtension(foundation::lastPathComponent(*fileName)));
}

std::int64_t ZRColourCube::cubeSize() const
{
    const DictionaryPtr dictionary = colourCube();
    const foundation::Value* size = entry(dictionary.get(), kCubeEdgeSizeKey);
    return size != nullptr ? size->integerValue().value_or(0) : 0;
}

std::int64_t ZRColourCube::textureEdge() const
{
    const std::int64_t size = cubeSize();
    return size >= 1 && size <= kMaxCubeEdge ? size : kIdentityEdge;
}

ZRColourCube::Dictionary ZRColourCube::genIdentity()
{
    Dictionary dictionary;
    dictionary.emplace(kCubeEdgeSizeKey, foundation::Value(kIdentityEdge));

    auto lattice = std::make_shared<foundation::Bytes>();
    lattice->reserve(kIdentityBytes);
    for (int b = 0; b < kIdentityEdge; ++b)
    {
        for (int g = 0; g < kIdentityEdge; ++g)
        {
            for (int r = 0; r < kIdentityEdge; ++r)
            {
                const std::array<float, 3> rgb = {static_cast<float>(r) / 15.0F,
                                                  static_cast<float>(g) / 15.0F,
                                                  static_cast<float>(b) / 15.0F};
                const auto* bytes = reinterpret_cast<const std::uint8_t*>(rgb.data());
                lattice->insert(lattice->end(), bytes, bytes + sizeof(rgb));
            }
        }
    }
    dictionary.emplace(kCubeDataKey,
                       foundation::Value(foundation::SharedBytes(std::move(lattice))));
    dictionary.emplace(kCubeFileNameKey, foundation::Value(kIdentityCube));
    return dictionary;
}

std::shared_ptr<ZRColourCube> ZRColourCube::identityCube()
{
    static const std::shared_ptr<ZRColourCube> identity = std::make_shared<ZRColourCube>();
    return identity;
}

} // namespace huecast
