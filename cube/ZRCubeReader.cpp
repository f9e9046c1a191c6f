// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "cube/ZRCubeReader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <utility>

#include <fmt/format.h>

#include "cube/CubeLint.h"
#include "platform/foundation/FileSystem.h"
#include "platform/foundation/Memory.h"
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
    case CubeErrorCode::Lut3DInputRange:
        return kInputRangeError;
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
    Lut3DInputRange,
};

// A token that starts as a keyword does but isn't one ("DOMIAN_MIN", "LUT_1D_INPUT_RANGE");
// words that name no number ("nan", "inf") are data gone wrong instead.
bool looksLikeKeyword(std::string_view token)
{
    return !token.empty() &&
           ((token[0] >= 'a' && token[0] <= 'z') || (token[0] >= 'A' && token[0] <= 'Z')) &&
           !equalsIgnoringAsciiCase(token, "nan") && !equalsIgnoringAsciiCase(token, "inf") &&
           !equalsIgnoringAsciiCase(token, "infinity");
}

Keyword keywordOf(std::string_view token)
{
    // Data lines are by far the most common; every keyword starts with a letter.
    if (token.empty() ||
        !((token[0] >= 'a' && token[0] <= 'z') || (token[0] >= 'A' && token[0] <= 'Z')))
    {
        return Keyword::None;
    }
    constexpr std::array<std::pair<std::string_view, Keyword>, 7> kTable = {{
        {"title", Keyword::Title},
        {"lut_1d_size", Keyword::Lut1DSize},
        {"lut_2d_size", Keyword::Lut2DSize},
        {"lut_3d_size", Keyword::Lut3DSize},
        {"domain_min", Keyword::DomainMin},
        {"domain_max", Keyword::DomainMax},
        {"lut_3d_input_range", Keyword::Lut3DInputRange},
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

// What a byte can be on a plain data line. Every newline and blank character beyond ASCII
// starts with a byte of Other, which sends its line the slower way.
enum class ByteKind : std::uint8_t
{
    Text,
    Blank,
    LineEnd,
    Other,
    End, // past the text's last byte
};

constexpr std::array<ByteKind, 256> kByteKinds = []
{
    std::array<ByteKind, 256> kinds{};
    kinds.fill(ByteKind::Text);
    kinds[' '] = ByteKind::Blank;
    kinds['\t'] = ByteKind::Blank;
    for (const std::size_t c : {0x0AU, 0x0BU, 0x0CU, 0x0DU})
    {
        kinds[c] = ByteKind::LineEnd;
    }
    for (std::size_t c = 0x80; c < 0x100; ++c)
    {
        kinds[c] = ByteKind::Other;
    }
    return kinds;
}();

// The kind of the byte at `p`, End at `end`.
[[gnu::always_inline]] inline ByteKind kindOf(const char* p, const char* end)
{
    return p == end ? ByteKind::End : kByteKinds[static_cast<std::uint8_t>(*p)];
}

// Moves `p` past bytes of the kind; the kind of the byte it stops at.
[[gnu::always_inline]] inline ByteKind skipKind(const char*& p, const char* end, ByteKind skipped)
{
    ByteKind kind = kindOf(p, end);
    while (kind == skipped)
    {
        kind = kindOf(++p, end);
    }
    return kind;
}

// The state of one read: nothing of it outlives the call.
class CubeParse
{
public:
    // `lint`, when given, hears what the parse did with each line it may have misread.
    CubeParse(CubeLint* lint, Error* error) : m_error(error), m_lint(lint) {}

    // Runs over every piece of `text`, whole lines of the file followed by `bytesAfter` more
    // bytes; false (with the error set) at the first failure.
    bool feed(std::string_view text, std::size_t bytesAfter)
    {
        // Linting reads plain data lines through a copy of their fast path of its own, so a
        // plain read pays nothing for it.
        return m_lint != nullptr ? feedLines<true>(text, bytesAfter)
                                 : feedLines<false>(text, bytesAfter);
    }

    std::shared_ptr<ZRColourCube> finish(const std::string& fileName)
    {
        if (!m_lattice || m_entries != m_expectedEntries ||
            m_lattice->size() != static_cast<std::size_t>(m_entries) * kEntryBytes)
        {
            if (m_lint != nullptr)
            {
                m_lint->incompleteData(m_entries, m_expectedEntries);
            }
            return fail(m_error, CubeErrorCode::IncompleteData);
        }
        m_dictionary.insert_or_assign(std::string(kCubeDataKey),
                                      Value(foundation::SharedBytes(std::move(m_lattice))));
        m_dictionary.insert_or_assign(std::string(kCubeFileNameKey), Value(fileName));
        m_dictionary.insert_or_assign(std::string(kCubeFormatKey), Value(kIridasCubeFormat));
        applyInputRange();
        if (m_lint != nullptr)
        {
            m_lint->checkDomain(m_dictionary);
        }
        auto cube = ZRColourCube::initWithDictionary(&m_dictionary);
        if (!cube)
        {
            return fail(m_error, CubeErrorCode::ConstructCube);
        }
        return cube;
    }

private:
    template <bool kLint> bool feedLines(std::string_view text, std::size_t bytesAfter)
    {
        m_text = text;
        m_bytesAfter = bytesAfter;
        std::size_t pos = 0;
        while (pos < m_text.size())
        {
            ++m_line;
            if (kByteKinds[static_cast<std::uint8_t>(m_text[pos])] == ByteKind::LineEnd)
            {
                ++pos; // an empty piece, such as the second half of "\r\n"
                continue;
            }
            if (readPlainDataLine<kLint>(pos))
            {
                continue;
            }
            // Anything else (keywords, comments, errors, other newlines and blanks) is cut and
            // read piece by piece.
            foundation::PieceSplitter splitter(m_text.substr(pos));
            const std::string_view piece = *splitter.next();
            pos += splitter.offset();
            if (!piece.empty() && piece.front() != '#' &&
                !parsePiece(piece, m_line, m_text.size() - pos + m_bytesAfter))
            {
                return false;
            }
            if (piece.size() == splitter.offset())
            {
                return true; // no newline ended the piece: it was the last
            }
        }
        return true;
    }

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
        case Keyword::Lut3DInputRange:
            return readInputRange(tokens, count, line);
        case Keyword::None:
            break;
        }
        if (count != 3)
        {
            if (m_lint != nullptr && looksLikeKeyword(tokens[0]))
            {
                m_lint->unknownKeyword(line, tokens[0], false);
            }
            return refuse(CubeErrorCode::Data, line);
        }
        if (m_lint != nullptr)
        {
            if (looksLikeKeyword(tokens[0]))
            {
                m_lint->unknownKeyword(line, tokens[0], true);
            }
            else
            {
                m_lint->dataLine(line, {tokens[0], tokens[1], tokens[2]});
            }
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
        if (m_lint != nullptr)
        {
            m_lint->sizeLine(line, edge);
        }

        // Size the whole lattice at once, but no more than the rest of the file can fill, so a
        // short file that declares a large edge costs no more than its own length. A file
        // whose rest can't fill the lattice fails with 106 before its end is reached.
        const auto fillable = static_cast<std::int64_t>(bytesAfter / kShortestDataLine + 1);
        const auto reserved = static_cast<std::size_t>(std::min(m_expectedEntries, fillable));
        try
        {
            m_lattice = std::make_shared<foundation::Bytes>();
            m_lattice->reserve(reserved * kEntryBytes);
            foundation::prepareForWriting(m_lattice->data(), m_lattice->capacity());
            m_lattice->resize(reserved * kEntryBytes);
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
        if (m_lint != nullptr)
        {
            code == CubeErrorCode::DomainMin ? m_lint->domainMinLine(line)
                                             : m_lint->domainMaxLine(line);
        }
        return true;
    }

    // "LUT_3D_INPUT_RANGE lo hi", as Resolve writes it: the domain lo lo lo..hi hi hi, for
    // each bound that no DOMAIN_MIN or DOMAIN_MAX line of the file gives.
    bool readInputRange(const std::array<std::string_view, 4>& tokens, std::size_t count,
                        std::size_t line)
    {
        const std::optional<double> low = count == 3 ? number(tokens[1]) : std::nullopt;
        const std::optional<double> high = count == 3 ? number(tokens[2]) : std::nullopt;
        if (!low || !high)
        {
            return refuse(CubeErrorCode::Lut3DInputRange, line);
        }
        m_inputRange = {*low, *high};
        if (m_lint != nullptr)
        {
            m_lint->inputRangeLine(line);
        }
        return true;
    }

    void applyInputRange()
    {
        if (!m_inputRange)
        {
            return;
        }
        const auto bound = [](double value) { return foundation::Array(3, Value(value)); };
        m_dictionary.try_emplace(std::string(kDomainMinKey), bound(m_inputRange->first));
        m_dictionary.try_emplace(std::string(kDomainMaxKey), bound(m_inputRange->second));
    }

    void appendEntry(const std::array<std::string_view, 4>& tokens)
    {
        std::array<float, 3> rgb{};
        for (std::size_t i = 0; i < 3; ++i)
        {
            const std::optional<float> value = heldFloat(tokens[i]);
            if (!value)
            {
                return; // a line that doesn't read as three floats is skipped silently
            }
            rgb[i] = *value;
        }
        store(rgb);
    }

    // A value beyond the float range is held at the largest float of its sign: an infinity in
    // the lattice would turn every colour that touches it into NaN.
    static std::optional<float> heldFloat(std::string_view token)
    {
        const std::optional<float> value = foundation::scanFloat(token);
        if (!value)
        {
            return std::nullopt;
        }
        return std::clamp(*value, -std::numeric_limits<float>::max(),
                          std::numeric_limits<float>::max());
    }

    // Reads the piece at `pos` when it is the common data line: three numbers made of ASCII,
    // each after a single space or tab, blanks around them allowed, ended by a one-byte newline
    // or the text's end. Its bytes are visited once and `pos` moves past its newline. False,
    // with nothing changed, for any other piece; the piece-by-piece reading then decides.
    // Inlined into the line loop, as the plain read had it before the lint's copy existed.
    template <bool kLint> [[gnu::always_inline]] bool readPlainDataLine(std::size_t& pos)
    {
        const char* p = m_text.data() + pos;
        const char* const end = m_text.data() + m_text.size();
        const auto kindAt = [&] { return kindOf(p, end); };
        const auto skip = [&](ByteKind skipped) { return skipKind(p, end, skipped); };
        ByteKind kind = skip(ByteKind::Blank);
        // A keyword starts with a letter, a comment with '#': both go the other way.
        if (kind != ByteKind::Text ||
            !((*p >= '0' && *p <= '9') || *p == '-' || *p == '+' || *p == '.'))
        {
            return false;
        }
        std::array<float, 3> rgb{};
        [[maybe_unused]] std::array<std::string_view, 3> tokens;
        // A line whose numbers all read whole, as almost every line does, needs no note.
        [[maybe_unused]] bool suspect = false;
        bool numbers = true;
        for (std::size_t i = 0;; ++i)
        {
            const char* const start = p;
            std::optional<float> value = foundation::readShortDecimal(p, end);
            if constexpr (kLint)
            {
                suspect = suspect || !value || kindAt() == ByteKind::Text;
            }
            kind = skip(ByteKind::Text); // the rest of the token: "0.5x" reads as 0.5
            if (kind == ByteKind::Other)
            {
                return false;
            }
            if constexpr (kLint)
            {
                tokens[i] = std::string_view(start, static_cast<std::size_t>(p - start));
            }
            if (!value)
            {
                value = heldFloat(std::string_view(start, static_cast<std::size_t>(p - start)));
                numbers = numbers && value.has_value();
            }
            rgb[i] = value.value_or(0.0F);
            if (i == 2)
            {
                break;
            }
            // One blank, then a token: two blanks in a row, or a line that ends early, make a
            // malformed line.
            if (kind != ByteKind::Blank || (++p, kindAt()) != ByteKind::Text)
            {
                return false;
            }
        }
        kind = skip(ByteKind::Blank);
        if (kind != ByteKind::LineEnd && kind != ByteKind::End)
        {
            return false; // a fourth token: malformed
        }
        if constexpr (kLint)
        {
            if (suspect)
            {
                m_lint->dataLine(m_line, tokens);
            }
        }
        if (numbers)
        {
            store(rgb);
        }
        pos = static_cast<std::size_t>(p - m_text.data()) + (kind == ByteKind::LineEnd ? 1 : 0);
        return true;
    }

    void store(const std::array<float, 3>& rgb)
    {
        if (!m_lattice)
        {
            // Entries before the first LUT_3D_SIZE line have nowhere to go.
            if (m_lint != nullptr)
            {
                m_lint->dataBeforeSize(m_line);
            }
            return;
        }
        // Past the declared count only the count matters: the file fails with 106 anyway.
        const auto offset = static_cast<std::size_t>(m_entries) * kEntryBytes;
        if (m_entries < m_expectedEntries && offset < m_lattice->size())
        {
            std::memcpy(m_lattice->data() + offset, rgb.data(), kEntryBytes);
        }
        ++m_entries;
    }

    std::string_view m_text;      // the lines being read
    std::size_t m_bytesAfter = 0; // the file's bytes after them
    std::size_t m_line = 0;
    Error* m_error;
    CubeLint* m_lint;
    foundation::Dictionary m_dictionary;
    std::shared_ptr<foundation::Bytes> m_lattice;
    std::int64_t m_expectedEntries = 0;
    std::int64_t m_entries = 0;
    std::optional<char> m_decimalSeparator;
    std::optional<std::pair<double, double>> m_inputRange; // the last LUT_3D_INPUT_RANGE line
};

} // namespace

std::shared_ptr<ZRColourCube> ZRCubeReader::cubeFromFile(const std::string& path, Error* error)
{
    return cubeFromFile(path, nullptr, error);
}

std::shared_ptr<ZRColourCube> ZRCubeReader::cubeFromFile(const std::string& path,
                                                         std::vector<CubeWarning>* warnings,
                                                         Error* error)
{
    if (warnings != nullptr)
    {
        warnings->clear();
    }
    const std::string expanded = foundation::expandTilde(path);
    if (!foundation::fileExists(expanded))
    {
        return fail(error, CubeErrorCode::FileDoesntExist);
    }
    std::optional<CubeLint> lint;
    if (warnings != nullptr)
    {
        lint.emplace(*warnings);
    }
    // Read as it arrives, a quarter megabyte at a time, rather than whole first: a 65-point file's
    // seven megabytes of text are never all in memory. A problem with the file as text (not
    // UTF-8, a NUL byte) still comes before any in its lines.
    CubeParse parse(lint ? &*lint : nullptr, error);
    bool parsed = true;
    bool first = true;
    const bool read = foundation::readUtf8FileInLines(
        expanded, foundation::kMaxWholeFileBytes,
        [&](std::string_view lines, std::size_t bytesAfter)
        {
            if (std::exchange(first, false) && lines.starts_with(kByteOrderMark))
            {
                lines.remove_prefix(kByteOrderMark.size());
            }
            parsed = parse.feed(lines, bytesAfter);
            return parsed;
        },
        error);
    if (!read)
    {
        if (warnings != nullptr)
        {
            warnings->clear(); // notes on what isn't text would mislead
        }
        return nullptr;
    }
    auto cube = parsed ? parse.finish(path) : nullptr;
    if (lint)
    {
        lint->close();
    }
    return cube;
}

std::shared_ptr<ZRColourCube> ZRCubeReader::cubeFromText(std::string_view text,
                                                         const std::string& fileName, Error* error)
{
    return cubeFromText(text, fileName, nullptr, error);
}

std::shared_ptr<ZRColourCube> ZRCubeReader::cubeFromText(std::string_view text,
                                                         const std::string& fileName,
                                                         std::vector<CubeWarning>* warnings,
                                                         Error* error)
{
    if (text.starts_with(kByteOrderMark))
    {
        text.remove_prefix(kByteOrderMark.size());
    }
    if (warnings != nullptr)
    {
        warnings->clear();
    }
    std::optional<CubeLint> lint;
    if (warnings != nullptr)
    {
        lint.emplace(*warnings);
    }
    CubeParse parse(lint ? &*lint : nullptr, error);
    auto cube = parse.feed(text, 0) ? parse.finish(fileName) : nullptr;
    if (lint)
    {
        lint->close();
    }
    return cube;
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
