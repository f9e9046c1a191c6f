// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace huecast::foundation
{

class Value;

/// An immutable byte buffer shared by every value that holds it; copying never copies the bytes.
using Bytes = std::vector<std::uint8_t>;
using SharedBytes = std::shared_ptr<const Bytes>;
using Array = std::vector<Value>;
/// String-keyed dictionary; keys compare as exact byte strings.
using Dictionary = std::map<std::string, Value, std::less<>>;

/// One value of the kinds a cube dictionary or an archive holds: nothing, a boolean, an integer
/// or real number, a UTF-8 string, a shared byte buffer, an array or a dictionary. Arrays and
/// dictionaries are held immutably and shared between copies, like the byte buffer.
class Value
{
public:
    /// The numbers cross the archive format, so they are fixed.
    enum class Kind : std::uint8_t
    {
        Null = 0,
        Integer = 1,
        Real = 2,
        Text = 3,
        Buffer = 4,
        List = 5,
        Map = 6,
        Boolean = 7,
    };

    Value() = default;
    Value(bool boolean) : m_storage(boolean) {}
    Value(std::int64_t integer) : m_storage(integer) {}
    Value(int integer) : m_storage(std::int64_t{integer}) {}
    Value(double real) : m_storage(real) {}
    Value(std::string string) : m_storage(std::move(string)) {}
    Value(std::string_view string) : m_storage(std::string(string)) {}
    Value(const char* string) : m_storage(std::string(string)) {}
    Value(SharedBytes bytes);
    Value(Array array) : m_storage(std::make_shared<const Array>(std::move(array))) {}
    Value(Dictionary dictionary)
        : m_storage(std::make_shared<const Dictionary>(std::move(dictionary)))
    {
    }

    [[nodiscard]] Kind kind() const { return static_cast<Kind>(m_storage.index()); }
    [[nodiscard]] bool isNull() const { return kind() == Kind::Null; }
    [[nodiscard]] bool isNumber() const { return kind() == Kind::Integer || kind() == Kind::Real; }

    /// The boolean, or empty for anything but a boolean.
    [[nodiscard]] std::optional<bool> boolValue() const
    {
        const bool* boolean = std::get_if<bool>(&m_storage);
        return boolean ? std::optional<bool>(*boolean) : std::nullopt;
    }
    /// The number as a signed 64-bit integer: a real loses its fraction (toward zero) and
    /// saturates at the type's limits. Empty for anything but a number.
    [[nodiscard]] std::optional<std::int64_t> integerValue() const;
    /// The number as a double. Empty for anything but a number.
    [[nodiscard]] std::optional<double> doubleValue() const;
    /// The string, or null when this is not a string.
    [[nodiscard]] const std::string* string() const { return std::get_if<std::string>(&m_storage); }
    /// The shared buffer, or null when this is not a byte buffer.
    [[nodiscard]] SharedBytes bytes() const;
    /// The array, or null when this is not an array.
    [[nodiscard]] const Array* array() const;
    /// The dictionary, or null when this is not a dictionary.
    [[nodiscard]] const Dictionary* dictionary() const;

    /// Deep equality: numbers by kind and value, buffers by content.
    friend bool operator==(const Value& lhs, const Value& rhs);

private:
    std::variant<std::monostate, std::int64_t, double, std::string, SharedBytes,
                 std::shared_ptr<const Array>, std::shared_ptr<const Dictionary>, bool>
        m_storage;
};

/// Makes a shared buffer holding a copy of the given bytes.
[[nodiscard]] SharedBytes makeSharedBytes(const void* data, std::size_t size);

} // namespace huecast::foundation
