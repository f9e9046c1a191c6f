// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/foundation/KeyedCoding.h"

#include <cstdint>
#include <span>
#include <variant>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace huecast::foundation
{
namespace
{

using Json = nlohmann::json;

Json toJson(const Value& value)
{
    switch (value.kind())
    {
    case Value::Kind::Null:
        return nullptr;
    case Value::Kind::Boolean:
        return *value.boolValue();
    case Value::Kind::Integer:
        return *value.integerValue();
    case Value::Kind::Real:
        return *value.doubleValue();
    case Value::Kind::Text:
        return *value.string();
    case Value::Kind::Buffer:
        return Json::binary(*value.bytes());
    case Value::Kind::List:
    {
        Json array = Json::array();
        for (const Value& element : *value.array())
        {
            array.push_back(toJson(element));
        }
        return array;
    }
    case Value::Kind::Map:
    {
        Json object = Json::object();
        for (const auto& [key, element] : *value.dictionary())
        {
            object[key] = toJson(element);
        }
        return object;
    }
    }
    return nullptr;
}

// Builds values straight from the CBOR reader's events. Refusing an event stops the reader,
// which bounds its recursion by kMaxArchiveDepth.
class ValueBuilder
{
public:
    using number_integer_t = Json::number_integer_t;
    using number_unsigned_t = Json::number_unsigned_t;
    using number_float_t = Json::number_float_t;
    using string_t = Json::string_t;
    using binary_t = Json::binary_t;

    // The JSON library's SAX interface names these.
    // NOLINTBEGIN(readability-identifier-naming)
    bool null() { return add(Value()); }
    bool boolean(bool value) { return add(Value(value)); }
    bool number_integer(number_integer_t value) { return add(Value(std::int64_t{value})); }
    bool number_unsigned(number_unsigned_t value)
    {
        if (value > static_cast<number_unsigned_t>(INT64_MAX))
        {
            return refuse(ArchiveError::Corrupt, "an integer beyond 64-bit signed range");
        }
        return add(Value(static_cast<std::int64_t>(value)));
    }
    bool number_float(number_float_t value, const string_t& /*text*/) { return add(Value(value)); }
    // Text is kept byte for byte: Linux paths need not be UTF-8, and a project must give
    // back the path it saved.
    bool string(string_t& text) { return add(Value(std::move(text))); }
    bool binary(binary_t& bytes)
    {
        return add(Value(SharedBytes(std::make_shared<const Bytes>(std::move(bytes)))));
    }
    bool start_object(std::size_t /*size*/) { return open(Frame{Dictionary{}, {}}); }
    bool key(string_t& text)
    {
        std::get<Frame>(m_stack.back()).pendingKey = std::move(text);
        return true;
    }
    bool end_object() { return close(); }
    bool start_array(std::size_t /*size*/) { return open(Array{}); }
    bool end_array() { return close(); }
    bool parse_error(std::size_t position, const std::string& /*token*/,
                     const nlohmann::detail::exception& /*reason*/)
    {
        if (!m_failed)
        {
            m_failed = true;
            m_error = ArchiveError::Corrupt;
            m_reason = fmt::format("unreadable or truncated data at byte {}", position);
        }
        return false;
    }
    // NOLINTEND(readability-identifier-naming)

    [[nodiscard]] bool failed() const { return m_failed; }
    [[nodiscard]] ArchiveError error() const { return m_error; }
    [[nodiscard]] const std::string& reason() const { return m_reason; }
    [[nodiscard]] Value takeResult() { return std::move(m_result); }

private:
    struct Frame
    {
        Dictionary dictionary;
        std::string pendingKey;
    };
    using Container = std::variant<Array, Frame>;

    bool refuse(ArchiveError error, std::string_view what)
    {
        m_failed = true;
        m_error = error;
        m_reason = fmt::format("it holds {}", what);
        return false;
    }

    bool open(Container container)
    {
        if (m_stack.size() >= kMaxArchiveDepth)
        {
            return refuse(ArchiveError::TooDeeplyNested,
                          fmt::format("arrays or maps nested deeper than {}", kMaxArchiveDepth));
        }
        m_stack.push_back(std::move(container));
        return true;
    }

    bool close()
    {
        Container done = std::move(m_stack.back());
        m_stack.pop_back();
        if (auto* array = std::get_if<Array>(&done))
        {
            return add(Value(std::move(*array)));
        }
        return add(Value(std::move(std::get<Frame>(done).dictionary)));
    }

    bool add(Value value)
    {
        if (m_stack.empty())
        {
            m_result = std::move(value);
            return true;
        }
        if (auto* array = std::get_if<Array>(&m_stack.back()))
        {
            array->push_back(std::move(value));
            return true;
        }
        auto& frame = std::get<Frame>(m_stack.back());
        frame.dictionary.insert_or_assign(std::move(frame.pendingKey), std::move(value));
        return true;
    }

    std::vector<Container> m_stack;
    Value m_result;
    bool m_failed = false;
    ArchiveError m_error = ArchiveError::Corrupt;
    std::string m_reason;
};

void setArchiveError(Error* error, ArchiveError code, std::string_view reason)
{
    setError(error, kArchiveErrorDomain, static_cast<std::int64_t>(code),
             fmt::format("The archive couldn't be read: {}.", reason));
}

// Walks the first CBOR item's structure without recursion before the JSON library's reader
// sees it. That reader recurses once per chunk of an indefinite-length string, and chunks may
// nest, so two megabytes of 0x5F overflow the stack before any event reaches ValueBuilder. The
// archiver writes only definite lengths and no tags, so anything else is refused here.
bool preScan(std::span<const std::uint8_t> data, Error* error)
{
    // Items still owed to each open array or map, innermost last.
    std::vector<std::uint64_t> owed;
    std::size_t at = 0;
    do
    {
        if (at >= data.size())
        {
            setArchiveError(error, ArchiveError::Corrupt,
                            fmt::format("unreadable or truncated data at byte {}", at));
            return false;
        }
        const std::size_t head = at++;
        const int major = data[head] >> 5;
        const int info = data[head] & 0x1F;
        if (info >= 28 || major == 6)
        {
            setArchiveError(error, ArchiveError::Corrupt,
                            fmt::format("it holds an indefinite length, a tag or a reserved "
                                        "item at byte {}",
                                        head));
            return false;
        }
        auto argument = static_cast<std::uint64_t>(info);
        if (info >= 24)
        {
            const std::size_t width = std::size_t{1} << (info - 24);
            if (data.size() - at < width)
            {
                setArchiveError(error, ArchiveError::Corrupt,
                                fmt::format("unreadable or truncated data at byte {}", at));
                return false;
            }
            argument = 0;
            for (std::size_t i = 0; i < width; ++i)
            {
                argument = (argument << 8) | data[at++];
            }
        }
        if (!owed.empty())
        {
            --owed.back();
        }
        if (major == 2 || major == 3)
        {
            if (data.size() - at < argument)
            {
                setArchiveError(error, ArchiveError::Corrupt,
                                fmt::format("unreadable or truncated data at byte {}", at));
                return false;
            }
            at += static_cast<std::size_t>(argument);
        }
        else if (major == 4 || major == 5)
        {
            if (owed.size() >= kMaxArchiveDepth)
            {
                setArchiveError(
                    error, ArchiveError::TooDeeplyNested,
                    fmt::format("it holds arrays or maps nested deeper than {}", kMaxArchiveDepth));
                return false;
            }
            // A map owes a key and a value per entry; the count can't overflow past what the
            // remaining bytes could hold anyway, so saturate rather than wrap.
            owed.push_back(major == 4 ? argument
                                      : (argument > UINT64_MAX / 2 ? UINT64_MAX : argument * 2));
        }
        while (!owed.empty() && owed.back() == 0)
        {
            owed.pop_back();
        }
    } while (!owed.empty());
    return true;
}

} // namespace

void KeyedArchiver::encodeObject(const Value& value, std::string_view key)
{
    m_objects.insert_or_assign(std::string(key), value);
}

Bytes KeyedArchiver::encodedData() const
{
    Json archive = Json::object();
    archive["format"] = kArchiveFormatName;
    archive["version"] = kArchiveFormatVersion;
    archive["objects"] = toJson(Value(m_objects));
    return Json::to_cbor(archive);
}

std::unique_ptr<KeyedUnarchiver> KeyedUnarchiver::create(std::span<const std::uint8_t> data,
                                                         Error* error)
{
    if (!preScan(data, error))
    {
        return nullptr;
    }
    ValueBuilder builder;
    bool parsed = false;
    try
    {
        parsed = Json::sax_parse(data.begin(), data.end(), &builder,
                                 nlohmann::detail::input_format_t::cbor, true);
    }
    catch (const std::exception& exception)
    {
        // The reader reports through parse_error; anything thrown past it is still corruption.
        setArchiveError(error, ArchiveError::Corrupt, exception.what());
        return nullptr;
    }
    if (!parsed || builder.failed())
    {
        setArchiveError(error, builder.error(),
                        builder.reason().empty() ? "unreadable data" : builder.reason());
        return nullptr;
    }

    const Value root = builder.takeResult();
    const Dictionary* archive = root.dictionary();
    const auto field = [archive](std::string_view name) -> const Value*
    {
        const auto found = archive->find(name);
        return found == archive->end() ? nullptr : &found->second;
    };
    if (archive == nullptr || field("format") == nullptr || field("format")->string() == nullptr ||
        *field("format")->string() != kArchiveFormatName)
    {
        setArchiveError(error, ArchiveError::NotAnArchive, "it is not a Huecast keyed archive");
        return nullptr;
    }
    const Value* version = field("version");
    if (version == nullptr || version->kind() != Value::Kind::Integer ||
        *version->integerValue() < 1)
    {
        setArchiveError(error, ArchiveError::NotAnArchive, "its format version is missing");
        return nullptr;
    }
    if (*version->integerValue() > kArchiveFormatVersion)
    {
        setArchiveError(error, ArchiveError::NewerVersion,
                        fmt::format("it was written in format version {}, and this build reads "
                                    "up to version {}",
                                    *version->integerValue(), kArchiveFormatVersion));
        return nullptr;
    }
    const Value* objects = field("objects");
    if (objects == nullptr || objects->dictionary() == nullptr)
    {
        setArchiveError(error, ArchiveError::NotAnArchive, "it holds no objects");
        return nullptr;
    }
    return std::unique_ptr<KeyedUnarchiver>(new KeyedUnarchiver(*objects->dictionary()));
}

bool KeyedUnarchiver::containsValueForKey(std::string_view key) const
{
    return m_objects.find(key) != m_objects.end();
}

Value KeyedUnarchiver::decodeObject(std::string_view key) const
{
    const auto found = m_objects.find(key);
    return found == m_objects.end() ? Value() : found->second;
}

} // namespace huecast::foundation
