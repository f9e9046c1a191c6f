// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "cube/ZRCubeReader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <new>
#include <optional>

#include <fmt/format.h>

#include "platform/foundation/FileSystem.h"
#include "platform/foundation/Numbers.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/Text.h"

namespace huecast
{
namespace
{

using foundation::Error;
using foundation::Value;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kEntryBytes = 3 * sizeof(float);
// The shortest data line, "0 0 0", and the newline after it.
constexpr std::size_t kShortestDataLine = 6;

std::string_view messageFor(CubeErrorCode code)
{
    switch (code)
    {
    case CubeErrorCode::Lut1D:
        return k1DReadError;
    case CubeErrorCode::Lut2D:
        return k2DReadError;
    case CubeErrorCode::Lut3DSize:
        return k3DReadError;
    case CubeErrorCode::DomainMin:
        return kDomainMinError;
    case CubeErrorCode::DomainMax:
        return kDomainMaxError;
    case CubeErrorCode::Data:
        return kDataError;
    case CubeErrorCode::IncompleteData:
        return kIncompleteDataError;
    case CubeErrorCode::FileDoesntExist:
        return kFileDoesntExistError;
    case CubeErrorCode::ConstructCube:
        return kConstructCubeError;
    }
    return {};
}

// Every Cube error is made here; only the malformed-line codes carry a line number.
std::nullptr_t fail(Error* error, CubeErrorCode code, std::optional<std::size_t> line = {})
{
    if (error != nullptr)
    {
        const std::string_view message = messageFor(code);
        *error = Error::withDescription(std::string(kDomain), static_cast<std::int64_t>(code),
                                        line ? fmt::format("{} Line:{}", message, *line)
                                             : std::string(message));
    }
    return nullptr;
}

bool equalsIgnoringAsciiCase(std::string_view token, std::string_view lowerKeyword)
{
    return std::equal(token.begin(), token.end(), lowerKeyword.begin(), lowerKeyword.end(),
                      [](char a, char b) {
                          return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
                      });
}

enum class Keyword
{
    None,
    Title,
    Lut1DSize,
    Lut2DSize,
    Lut3DSize,
    DomainMin,
    DomainMax,
};

Keyword keywordOf(std::string_view token)
{
    // Data lines are by far the most common; every keyword starts with a letter.
    if (token.empty() ||
        !((token[0] >= 'a' && token[0] <= 'z') || (token[0] >= 'A' && token[0] <= 'Z')))
    {
        return Keyword::None;
    }
    constexpr std::array<std::pair<std::string_view, Keyword>, 6> kTable = {{
        {"title", Keyword::Title},
        {"lut_1d_size", Keyword::Lut1DSize},
        {"lut_2d_size", Keyword::Lut2DSize},
        {"lut_3d_size", Keyword::Lut3DSize},
        {"domain_min", Keyword::DomainMin},
        {"domain_max", Keyword::DomainMax},
    }};
    for (const auto& [text, keyword] : kTable)
    {
        if (equalsIgnoringAsciiCase(token, text))
        {
            return keyword;
        }
    }
    return Keyword::None;
}

// The state of one read: nothing of it outlives the call.
class CubeParse
{
public:
    CubeParse(std::string_view text, Error* error) : m_text(text), m_error(error) {}

    // Runs over every piece; false (with the error set) at the first failure.
    bool run()
    {
        foundation::PieceSplitter splitter(m_text);
        std::size_t line = 0;
        while (const auto piece = splitter.next())
        {
            ++line;
            if (piece->empty() || piece->front() == '#')
            {
                continue;
            }
            if (!parsePiece(*piece, line, m_text.size() - splitter.offset()))
            {
                return false;
            }
        }
        return true;
    }

    std::shared_ptr<ZRColourCube> finish(const std::string& fileName)
    {
        if (!m_lattice || m_entries != m_expectedEntries)
        {
            return fail(m_error, CubeErrorCode::IncompleteData);
        }
        m_dictionary.insert_or_assign(std::string(kCubeDataKey),
                                      Value(foundation::SharedBytes(std::move(m_lattice))));
        m_dictionary.insert_or_assign(std::string(kCubeFileNameKey), Value(fileName));
        m_dictionary.insert_or_assign(std::string(kCubeFormatKey), Value(kIridasCubeFormat));
        auto cube = ZRColourCube::initWithDictionary(&m_dictionary);
        if (!cube)
        {
            return fail(m_error, CubeErrorCode::ConstructCube);
        }
        return cube;
    }

private:
    // The parse's errors, made by the reader's one error helper.
    bool refuse(CubeErrorCode code, std::optional<std::size_t> line = {})
    {
        fail(m_error, code, line);
        return false;
    }

    bool parsePiece(std::string_view piece, std::size_t line, std::size_t bytesAfter)
    {
        // A '#' after blanks is data, not a comment: trimming comes after the comment test.
        std::array<std::string_view, 4> tokens;
        const std::size_t count =
            foundation::splitAtWhitespace(foundation::trimWhitespace(piece), tokens);
        switch (keywordOf(tokens[0]))
        {
        case Keyword::Title:
            return true;
        case Keyword::Lut1DSize:
            return refuse(CubeErrorCode::Lut1D);
        case Keyword::Lut2DSize:
            return refuse(CubeErrorCode::Lut2D);
        case Keyword::Lut3DSize:
            return startLattice(tokens, count, line, bytesAfter);
        case Keyword::DomainMin:
            return readDomain(tokens, count, kDomainMinKey, CubeErrorCode::DomainMin, line);
        case Keyword::DomainMax:
            return readDomain(tokens, count, kDomainMaxKey, CubeErrorCode::DomainMax, line);
        case Keyword::None:
            break;
        }
        if (count != 3)
        {
            return refuse(CubeErrorCode::Data, line);
        }
        appendEntry(tokens);
        return true;
    }

    std::optional<double> number(std::string_view token)
    {
        if (!m_decimalSeparator)
        {
            m_decimalSeparator = foundation::userDecimalSeparator();
        }
        return foundation::numberFromString(token, *m_decimalSeparator);
    }

    bool startLattice(const std::array<std::string_view, 4>& tokens, std::size_t count,
                      std::size_t line, std::size_t bytesAfter)
    {
        const std::optional<double> value = count == 2 ? number(tokens[1]) : std::nullopt;
        // The edge is the number's integer part; one outside 1..256 is refused before
        // anything is reserved.
        if (!value || *value < 1.0 || *value >= static_cast<double>(kMaxCubeEdge + 1))
        {
            return refuse(CubeErrorCode::Lut3DSize, line);
        }
        const auto edge = static_cast<std::int64_t>(*value);
        m_expectedEntries = edge * edge * edge;
        m_entries = 0;
        m_dictionary.insert_or_assign(std::string(kCubeEdgeSizeKey), Value(edge));

        // Reserve the whole lattice, but no more than the rest of the file can fill, so a
        // short file that declares a large edge costs nothing.
        const auto fillable = static_cast<std::int64_t>(bytesAfter / kShortestDataLine + 1);
        const auto reserved = static_cast<std::size_t>(std::min(m_expectedEntries, fillable));
        try
        {
            m_lattice = std::make_shared<foundation::Bytes>();
            m_lattice->reserve(reserved * kEntryBytes);
        }
        catch (const std::bad_alloc&)
        {
            m_lattice.reset();
            return refuse(CubeErrorCode::ConstructCube);
        }
        return true;
    }

    bool readDomain(const std::array<std::string_view, 4>& tokens, std::size_t count,
                    std::string_view key, CubeErrorCode code, std::size_t line)
    {
        if (count != 4)
        {
            return refuse(code, line);
        }
        foundation::Array values;
        for (std::size_t i = 1; i < 4; ++i)
        {
            const std::optional<double> value = number(tokens[i]);
            if (!value)
            {
                return refuse(code, line);
            }
            values.emplace_back(*value);
        }
        m_dictionary.insert_or_assign(std::string(key), Value(std::move(values)));
        return true;
    }

    void appendEntry(const std::array<std::string_view, 4>& tokens)
    {
        std::array<float, 3> rgb{};
        for (std::size_t i = 0; i < 3; ++i)
        {
            const std::optional<float> value = foundation::scanFloat(tokens[i]);
            if (!value)
            {
                return; // a line that doesn't read as three floats is skipped silently
            }
            // A value beyond the float range is held at the largest float of its sign: an
            // infinity in the lattice would turn every colour that touches it into NaN.
            rgb[i] = std::clamp(*value, -std::numeric_limits<float>::max(),
                                std::numeric_limits<float>::max());
        }
        if (!m_lattice)
        {
            return; // entries before the first LUT_3D_SIZE line have nowhere to go
        }
        // Past the declared count only the count matters: the file fails with 106 anyway.
        if (m_entries < m_expectedEntries)
        {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(rgb.data());
            m_lattice->insert(m_lattice->end(), bytes, bytes + kEntryBytes);
        }
        ++m_entries;
    }

    std::string_view m_text;
    Error* m_error;
    foundation::Dictionary m_dictionary;
    std::shared_ptr<foundation::Bytes> m_lattice;
    std::int64_t m_expectedEntries = 0;
    std::int64_t m_entries = 0;
    std::optional<char> m_decimalSeparator;
};

} // namespace

std::shared_ptr<ZRColourCube> ZRCubeReader::cubeFromFile(const std::string& path, Error* error)
{
    const std::string expanded = foundation::expandTilde(path);
    if (!foundation::fileExists(expanded))
    {
        return fail(error, CubeErrorCode::FileDoesntExist);
    }
    const std::optional<std::string> text = foundation::readUtf8File(expanded, error);
    if (!text)
    {
        return nullptr;
    }
    return cubeFromText(*text, path, error);
}

std::shared_ptr<ZRColourCube> ZRCubeReader::cubeFromText(std::string_view text,
                                                         const std::string& fileName, Error* error)
{
    if (text.starts_with(kByteOrderMark))
    {
        text.remove_prefix(kByteOrderMark.size());
    }
    CubeParse parse(text, error);
    if (!parse.run())
    {
        return nullptr;
    }
    return parse.finish(fileName);
}

std::vector<std::string> ZRCubeReader::cubesAtPath(const std::string& path)
{
    constexpr std::string_view kExtension = ".cube";
    std::vector<std::string> names;
    for (const std::string& name : foundation::directoryEntryNames(foundation::expandTilde(path)))
    {
        if (name.ends_with(kExtension))
        {
            names.emplace_back(foundation::deletingPathExtension(name));
        }
    }
    // Sorted by name (byte order), so the popup reads the same on every file system.
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace huecast
