// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/foundation/Value.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace huecast::foundation
{

Value::Value(SharedBytes bytes)
{
    // A null buffer is an empty buffer, so a byte value always has a buffer to share.
    if (!bytes)
    {
        bytes = std::make_shared<const Bytes>();
    }
    m_storage = std::move(bytes);
}

std::optional<std::int64_t> Value::integerValue() const
{
    if (const auto* integer = std::get_if<std::int64_t>(&m_storage))
    {
        return *integer;
    }
    if (const auto* real = std::get_if<double>(&m_storage))
    {
        if (std::isnan(*real))
        {
            return 0;
        }
        constexpr double kLimit = 9223372036854775808.0; // 2^63
        if (*real >= kLimit)
        {
            return std::numeric_limits<std::int64_t>::max();
        }
        if (*real < -kLimit)
        {
            return std::numeric_limits<std::int64_t>::min();
        }
        return static_cast<std::int64_t>(*real);
    }
    return std::nullopt;
}

std::optional<double> Value::doubleValue() const
{
    if (const auto* integer = std::get_if<std::int64_t>(&m_storage))
    {
        return static_cast<double>(*integer);
    }
    if (const auto* real = std::get_if<double>(&m_storage))
    {
        return *real;
    }
    return std::nullopt;
}

SharedBytes Value::bytes() const
{
    if (const auto* bytes = std::get_if<SharedBytes>(&m_storage))
    {
        return *bytes;
    }
    return nullptr;
}

const Array* Value::array() const
{
    const auto* array = std::get_if<std::shared_ptr<const Array>>(&m_storage);
    return array ? array->get() : nullptr;
}

const Dictionary* Value::dictionary() const
{
    const auto* dictionary = std::get_if<std::shared_ptr<const Dictionary>>(&m_storage);
    return dictionary ? dictionary->get() : nullptr;
}

bool operator==(const Value& lhs, const Value& rhs)
{
    if (lhs.kind() != rhs.kind())
    {
        return false;
    }
    switch (lhs.kind())
    {
    case Value::Kind::Null:
        return true;
    case Value::Kind::Integer:
    case Value::Kind::Real:
    case Value::Kind::Text:
    case Value::Kind::Boolean:
        return lhs.m_storage == rhs.m_storage;
    case Value::Kind::Buffer:
        return *lhs.bytes() == *rhs.bytes();
    case Value::Kind::List:
        return *lhs.array() == *rhs.array();
    case Value::Kind::Map:
        return *lhs.dictionary() == *rhs.dictionary();
    }
    return false;
}

SharedBytes makeSharedBytes(const void* data, std::size_t size)
{
    auto bytes = std::make_shared<Bytes>(size);
    if (size > 0)
    {
        std::memcpy(bytes->data(), data, size);
    }
    return bytes;
}

} // namespace huecast::foundation
