// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "cube/ZRColourCube.h"
#include "platform/fx/FxCustomValue.h"

namespace huecast
{

/// A colour cube as a custom parameter value: the host keeps it (sharing the cube, never
/// copying the lattice) and archives it with the project.
class ZRColourCubeValue final : public fx::FxCustomValue
{
public:
    static constexpr std::string_view kClassName = "ZRColourCube";

    explicit ZRColourCubeValue(std::shared_ptr<ZRColourCube> cube) : m_cube(std::move(cube)) {}

    [[nodiscard]] std::string className() const override { return std::string(kClassName); }
    void encodeWithCoder(foundation::KeyedArchiver& coder) const override
    {
        m_cube->encodeWithCoder(coder);
    }
    [[nodiscard]] std::string damage() const override { return m_cube->damage(); }
    [[nodiscard]] const std::shared_ptr<ZRColourCube>& cube() const { return m_cube; }

private:
    std::shared_ptr<ZRColourCube> m_cube;
};

/// The cube a custom value holds; null for a null value or one of another class.
[[nodiscard]] inline std::shared_ptr<ZRColourCube> cubeOf(const fx::FxCustomValuePtr& value)
{
    if (!value || value->className() != ZRColourCubeValue::kClassName)
    {
        return nullptr;
    }
    return static_cast<const ZRColourCubeValue&>(*value).cube();
}

[[nodiscard]] inline fx::FxCustomValuePtr valueOf(std::shared_ptr<ZRColourCube> cube)
{
    return std::make_shared<const ZRColourCubeValue>(std::move(cube));
}

} // namespace huecast
