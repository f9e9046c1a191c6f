// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/foundation/KeyedCoding.h"

namespace huecast::fx
{

/// A custom parameter value: an object the host stores for a filter and archives with keyed
/// coding when it saves a project. Values are immutable once handed to the host.
class FxCustomValue
{
public:
    virtual ~FxCustomValue() = default;

    /// The name under which the value's class is archived; the bundle decodes it by this name.
    [[nodiscard]] virtual std::string className() const = 0;
    /// Writes the whole value into the archiver.
    virtual void encodeWithCoder(foundation::KeyedArchiver& coder) const = 0;
    /// Why a value decoded from an archive can't be used as it is ("its edge size is 300"), or
    /// empty when it can: the host refuses a project holding such a value rather than render
    /// with a stand-in.
    [[nodiscard]] virtual std::string damage() const { return {}; }
};

using FxCustomValuePtr = std::shared_ptr<const FxCustomValue>;

/// A string custom value, such as a path. Host and plug-in both make and read these.
class FxStringValue final : public FxCustomValue
{
public:
    static constexpr std::string_view kClassName = "NSString";
    static constexpr std::string_view kStringKey = "NSString";

    explicit FxStringValue(std::string text) : m_text(std::move(text)) {}

    [[nodiscard]] std::string className() const override { return std::string(kClassName); }
    void encodeWithCoder(foundation::KeyedArchiver& coder) const override
    {
        coder.encodeObject(foundation::Value(m_text), kStringKey);
    }
    [[nodiscard]] const std::string& text() const { return m_text; }

    /// The string in an archive written by encodeWithCoder; null when it holds none.
    [[nodiscard]] static std::shared_ptr<FxStringValue>
    decode(const foundation::KeyedUnarchiver& coder)
    {
        const foundation::Value value = coder.decodeObject(kStringKey);
        return value.string() ? std::make_shared<FxStringValue>(*value.string()) : nullptr;
    }

private:
    std::string m_text;
};

/// The text of a string value; null for a null value or one of another class.
[[nodiscard]] inline const std::string* stringOf(const FxCustomValuePtr& value)
{
    if (!value || value->className() != FxStringValue::kClassName)
    {
        return nullptr;
    }
    return &static_cast<const FxStringValue&>(*value).text();
}

} // namespace huecast::fx
