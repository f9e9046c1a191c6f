// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "host/frames/ExifBlock.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

#include <tiffio.h>

#include "host/frames/TiffDirectory.h"

namespace huecast::host::frames
{
namespace
{

enum class Kind : std::uint8_t
{
    Text,    ///< ASCII: a string up to its first NUL
    Version, ///< four UNDEFINED characters, which OpenImageIO reads as a string
    Number,  ///< of the type and count given: a number, or an array
    Ignored, ///< of the type given (any, for 0): OpenImageIO reads nothing from it
    ExifDirectory,
    GpsDirectory,
    InteropDirectory,
};

struct KnownTag
{
    std::uint16_t tag = 0;
    const char* name = nullptr; ///< OpenImageIO's
    Kind kind = Kind::Text;
    std::uint16_t type = 0;
    std::uint32_t count = 0;     ///< 0 for any but 0
    std::uint16_t otherType = 0; ///< a second type allowed
};

constexpr KnownTag text(std::uint16_t tag, const char* name)
{
    return {tag, name, Kind::Text, TIFF_ASCII, 0, 0};
}

constexpr KnownTag version(std::uint16_t tag, const char* name)
{
    return {tag, name, Kind::Version, TIFF_UNDEFINED, 4, 0};
}

constexpr KnownTag number(std::uint16_t tag, const char* name, std::uint16_t type,
                          std::uint32_t count = 1)
{
    return {tag, name, Kind::Number, type, count, 0};
}

constexpr KnownTag ignored(std::uint16_t tag, std::uint16_t type)
{
    return {tag, "", Kind::Ignored, type, 0, 0};
}

constexpr KnownTag directory(std::uint16_t tag, Kind kind)
{
    return {tag, "", kind, 0, 0, 0};
}

// Every tag of these tables reads as OpenImageIO 2.4 reads it, which goes by the stored type
// rather than the table's: a number stored as ASCII would read as a string, so types are fixed.
constexpr std::array kMainTags = {
    text(TIFFTAG_IMAGEDESCRIPTION, "ImageDescription"),
    text(TIFFTAG_MAKE, "Make"),
    text(TIFFTAG_MODEL, "Model"),
    number(TIFFTAG_ORIENTATION, "Orientation", TIFF_SHORT),
    number(TIFFTAG_XRESOLUTION, "XResolution", TIFF_RATIONAL),
    number(TIFFTAG_YRESOLUTION, "YResolution", TIFF_RATIONAL),
    number(TIFFTAG_RESOLUTIONUNIT, "ResolutionUnit", TIFF_SHORT),
    text(TIFFTAG_SOFTWARE, "Software"),
    text(TIFFTAG_DATETIME, "DateTime"),
    text(TIFFTAG_ARTIST, "Artist"),
    number(TIFFTAG_YCBCRPOSITIONING, "Exif:YCbCrPositioning", TIFF_SHORT),
    text(TIFFTAG_COPYRIGHT, "Copyright"),
    directory(TIFFTAG_EXIFIFD, Kind::ExifDirectory),
    directory(TIFFTAG_GPSIFD, Kind::GpsDirectory),
};

constexpr std::array kExifTags = {
    number(EXIFTAG_EXPOSURETIME, "ExposureTime", TIFF_RATIONAL),
    number(EXIFTAG_FNUMBER, "FNumber", TIFF_RATIONAL),
    number(EXIFTAG_EXPOSUREPROGRAM, "Exif:ExposureProgram", TIFF_SHORT),
    number(EXIFTAG_ISOSPEEDRATINGS, "Exif:PhotographicSensitivity", TIFF_SHORT),
    number(EXIFTAG_SENSITIVITYTYPE, "Exif:SensitivityType", TIFF_SHORT),
    number(EXIFTAG_RECOMMENDEDEXPOSUREINDEX, "Exif:RecommendedExposureIndex", TIFF_LONG),
    version(EXIFTAG_EXIFVERSION, "Exif:ExifVersion"),
    text(EXIFTAG_DATETIMEORIGINAL, "Exif:DateTimeOriginal"),
    text(EXIFTAG_DATETIMEDIGITIZED, "Exif:DateTimeDigitized"),
    text(EXIFTAG_OFFSETTIME, "Exif:OffsetTime"),
    text(EXIFTAG_OFFSETTIMEORIGINAL, "Exif:OffsetTimeOriginal"),
    text(EXIFTAG_OFFSETTIMEDIGITIZED, "Exif:OffsetTimeDigitized"),
    ignored(EXIFTAG_COMPONENTSCONFIGURATION, TIFF_UNDEFINED),
    number(EXIFTAG_SHUTTERSPEEDVALUE, "Exif:ShutterSpeedValue", TIFF_SRATIONAL),
    number(EXIFTAG_APERTUREVALUE, "Exif:ApertureValue", TIFF_RATIONAL),
    number(EXIFTAG_BRIGHTNESSVALUE, "Exif:BrightnessValue", TIFF_SRATIONAL),
    number(EXIFTAG_EXPOSUREBIASVALUE, "Exif:ExposureBiasValue", TIFF_SRATIONAL),
    number(EXIFTAG_MAXAPERTUREVALUE, "Exif:MaxApertureValue", TIFF_RATIONAL),
    number(EXIFTAG_METERINGMODE, "Exif:MeteringMode", TIFF_SHORT),
    number(EXIFTAG_LIGHTSOURCE, "Exif:LightSource", TIFF_SHORT),
    number(EXIFTAG_FLASH, "Exif:Flash", TIFF_SHORT),
    number(EXIFTAG_FOCALLENGTH, "Exif:FocalLength", TIFF_RATIONAL),
    ignored(EXIFTAG_USERCOMMENT, TIFF_UNDEFINED),
    text(EXIFTAG_SUBSECTIME, "Exif:SubsecTime"),
    text(EXIFTAG_SUBSECTIMEORIGINAL, "Exif:SubsecTimeOriginal"),
    text(EXIFTAG_SUBSECTIMEDIGITIZED, "Exif:SubsecTimeDigitized"),
    version(EXIFTAG_FLASHPIXVERSION, "Exif:FlashPixVersion"),
    number(EXIFTAG_COLORSPACE, "Exif:ColorSpace", TIFF_SHORT),
    KnownTag{EXIFTAG_PIXELXDIMENSION, "Exif:PixelXDimension", Kind::Number, TIFF_SHORT, 1,
             TIFF_LONG},
    KnownTag{EXIFTAG_PIXELYDIMENSION, "Exif:PixelYDimension", Kind::Number, TIFF_SHORT, 1,
             TIFF_LONG},
    directory(TIFFTAG_INTEROPERABILITYIFD, Kind::InteropDirectory),
    number(EXIFTAG_SENSINGMETHOD, "Exif:SensingMethod", TIFF_SHORT),
    ignored(EXIFTAG_FILESOURCE, TIFF_UNDEFINED),
    ignored(EXIFTAG_SCENETYPE, TIFF_UNDEFINED),
    number(EXIFTAG_CUSTOMRENDERED, "Exif:CustomRendered", TIFF_SHORT),
    number(EXIFTAG_EXPOSUREMODE, "Exif:ExposureMode", TIFF_SHORT),
    number(EXIFTAG_WHITEBALANCE, "Exif:WhiteBalance", TIFF_SHORT),
    number(EXIFTAG_DIGITALZOOMRATIO, "Exif:DigitalZoomRatio", TIFF_RATIONAL),
    number(EXIFTAG_FOCALLENGTHIN35MMFILM, "Exif:FocalLengthIn35mmFilm", TIFF_SHORT),
    number(EXIFTAG_SCENECAPTURETYPE, "Exif:SceneCaptureType", TIFF_SHORT),
    number(EXIFTAG_CONTRAST, "Exif:Contrast", TIFF_SHORT),
    number(EXIFTAG_SATURATION, "Exif:Saturation", TIFF_SHORT),
    number(EXIFTAG_SHARPNESS, "Exif:Sharpness", TIFF_SHORT),
    number(EXIFTAG_SUBJECTDISTANCERANGE, "Exif:SubjectDistanceRange", TIFF_SHORT),
    text(EXIFTAG_IMAGEUNIQUEID, "Exif:ImageUniqueID"),
    text(EXIFTAG_CAMERAOWNERNAME, "Exif:CameraOwnerName"),
    text(EXIFTAG_BODYSERIALNUMBER, "Exif:BodySerialNumber"),
    number(EXIFTAG_LENSSPECIFICATION, "Exif:LensSpecification", TIFF_RATIONAL, 4),
    text(EXIFTAG_LENSMAKE, "Exif:LensMake"),
    text(EXIFTAG_LENSMODEL, "Exif:LensModel"),
    text(EXIFTAG_LENSSERIALNUMBER, "Exif:LensSerialNumber"),
};

constexpr std::array kGpsTags = {
    number(GPSTAG_VERSIONID, "GPS:VersionID", TIFF_BYTE, 4),
    text(GPSTAG_LATITUDEREF, "GPS:LatitudeRef"),
    number(GPSTAG_LATITUDE, "GPS:Latitude", TIFF_RATIONAL, 3),
    text(GPSTAG_LONGITUDEREF, "GPS:LongitudeRef"),
    number(GPSTAG_LONGITUDE, "GPS:Longitude", TIFF_RATIONAL, 3),
    number(GPSTAG_ALTITUDEREF, "GPS:AltitudeRef", TIFF_BYTE),
    number(GPSTAG_ALTITUDE, "GPS:Altitude", TIFF_RATIONAL),
    number(GPSTAG_TIMESTAMP, "GPS:TimeStamp", TIFF_RATIONAL, 3),
    text(GPSTAG_STATUS, "GPS:Status"),
    text(GPSTAG_MEASUREMODE, "GPS:MeasureMode"),
    number(GPSTAG_DOP, "GPS:DOP", TIFF_RATIONAL),
    text(GPSTAG_SPEEDREF, "GPS:SpeedRef"),
    number(GPSTAG_SPEED, "GPS:Speed", TIFF_RATIONAL),
    text(GPSTAG_TRACKREF, "GPS:TrackRef"),
    number(GPSTAG_TRACK, "GPS:Track", TIFF_RATIONAL),
    text(GPSTAG_IMGDIRECTIONREF, "GPS:ImgDirectionRef"),
    number(GPSTAG_IMGDIRECTION, "GPS:ImgDirection", TIFF_RATIONAL),
    text(GPSTAG_MAPDATUM, "GPS:MapDatum"),
    text(GPSTAG_DATESTAMP, "GPS:DateStamp"),
    number(GPSTAG_DIFFERENTIAL, "GPS:Differential", TIFF_SHORT),
    number(GPSTAG_GPSHPOSITIONINGERROR, "GPS:HPositioningError", TIFF_RATIONAL),
};

// The interoperability directory's index and version: OpenImageIO looks them up among the Exif
// tags, where no tag has their numbers, and reads nothing.
constexpr std::array kInteropTags = {
    ignored(1, 0),
    ignored(2, 0),
};

/// Bytes a value of the type takes; 0 for a type TIFF 6 doesn't define.
std::uint64_t sizeOfType(std::uint16_t type)
{
    constexpr std::array<std::uint8_t, 13> kSizes = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
    return type < kSizes.size() ? kSizes.at(type) : 0;
}

struct Walk
{
    std::span<const unsigned char> block;
    bool bigEndian = false;
    std::vector<std::uint32_t> directories; ///< those read, by offset
    std::uint64_t valueBytes = 0;           ///< of every value read
    std::vector<ExifAttribute> attributes;
};

/// The entry's value of `size` bytes: in the entry when it fits, else at its offset. Empty for
/// one reaching past the block or, with those before it, adding up to more than the block,
/// which values that share their bytes could.
std::optional<std::span<const unsigned char>> valueOf(Walk* walk, const unsigned char* entry,
                                                      std::uint64_t size)
{
    walk->valueBytes += size;
    if (walk->valueBytes > walk->block.size())
    {
        return std::nullopt;
    }
    if (size <= 4)
    {
        return std::span<const unsigned char>(entry + 8, size);
    }
    const std::uint64_t offset = u32(entry + 8, walk->bigEndian);
    if (offset + size > walk->block.size())
    {
        return std::nullopt;
    }
    return walk->block.subspan(offset, size);
}

/// A number's first value, as OpenImageIO converts it.
double firstValue(std::span<const unsigned char> value, std::uint16_t type, bool big)
{
    switch (type)
    {
    case TIFF_SHORT:
        return u16(value.data(), big);
    case TIFF_LONG:
        return u32(value.data(), big);
    case TIFF_RATIONAL:
    case TIFF_SRATIONAL:
    {
        const bool signedValue = type == TIFF_SRATIONAL;
        const auto part = [&](std::size_t at)
        {
            const std::uint32_t stored = u32(value.data() + at, big);
            return signedValue ? static_cast<double>(static_cast<std::int32_t>(stored))
                               : static_cast<double>(stored);
        };
        const double denominator = part(4);
        return denominator != 0.0 ? part(0) / denominator
                                  : std::numeric_limits<double>::quiet_NaN();
    }
    default:
        return value[0];
    }
}

bool readDirectory(Walk* walk, std::uint32_t offset, std::span<const KnownTag> tags);

std::span<const KnownTag> tagsOf(Kind directory)
{
    switch (directory)
    {
    case Kind::GpsDirectory:
        return kGpsTags;
    case Kind::InteropDirectory:
        return kInteropTags;
    default:
        return kExifTags;
    }
}

/// Reads one entry into the walk's attributes, given the tag the table knows it as.
bool readEntry(Walk* walk, const unsigned char* entry, const KnownTag& known)
{
    const bool big = walk->bigEndian;
    const std::uint16_t type = u16(entry + 2, big);
    const std::uint32_t count = u32(entry + 4, big);
    if (known.kind >= Kind::ExifDirectory)
    {
        return (type == TIFF_LONG || type == TIFF_IFD) && count == 1 &&
               readDirectory(walk, u32(entry + 8, big), tagsOf(known.kind));
    }
    const bool typed = sizeOfType(type) > 0 && (known.type == 0 || type == known.type ||
                                                (known.otherType != 0 && type == known.otherType));
    const bool counted = known.count == 0 ? count > 0 : count == known.count;
    const auto value =
        typed && counted ? valueOf(walk, entry, sizeOfType(type) * count) : std::nullopt;
    if (!value)
    {
        return false;
    }
    const auto nul = std::find(value->begin(), value->end(), 0);
    switch (known.kind)
    {
    case Kind::Text:
        walk->attributes.push_back({known.name, true, std::string(value->begin(), nul), 0.0});
        return true;
    case Kind::Version:
        if (nul != value->end())
        {
            return false; // OpenImageIO would keep the NUL inside its string
        }
        walk->attributes.push_back({known.name, true, std::string(value->begin(), nul), 0.0});
        return true;
    case Kind::Number:
        walk->attributes.push_back({known.name, false, {}, firstValue(*value, type, big)});
        return true;
    default:
        return true;
    }
}

/// Reads a directory, whose entries and next-directory offset (not followed: OpenImageIO reads
/// the first directory only) lie inside the block, each entry's tag once and among the tags.
bool readDirectory(Walk* walk, std::uint32_t offset, std::span<const KnownTag> tags)
{
    const std::span<const unsigned char> block = walk->block;
    if (std::find(walk->directories.begin(), walk->directories.end(), offset) !=
            walk->directories.end() ||
        std::uint64_t{offset} + 2 > block.size())
    {
        return false;
    }
    walk->directories.push_back(offset);
    const std::uint64_t count = u16(&block[offset], walk->bigEndian);
    if (offset + 2 + count * 12 + 4 > block.size())
    {
        return false;
    }
    std::vector<bool> seen(tags.size());
    for (std::uint64_t i = 0; i < count; ++i)
    {
        const unsigned char* entry = &block[offset + 2 + i * 12];
        const std::uint16_t tag = u16(entry, walk->bigEndian);
        const auto known = std::find_if(tags.begin(), tags.end(),
                                        [tag](const KnownTag& k) { return k.tag == tag; });
        const auto index = static_cast<std::size_t>(known - tags.begin());
        if (known == tags.end() || seen[index] || !readEntry(walk, entry, *known))
        {
            return false;
        }
        seen[index] = true;
    }
    return true;
}

} // namespace

std::optional<std::vector<ExifAttribute>> readExifBlock(std::span<const unsigned char> block)
{
    if (block.size() < 8)
    {
        return std::nullopt;
    }
    Walk walk;
    walk.block = block;
    walk.bigEndian = block[0] == 'M' && block[1] == 'M';
    if ((!walk.bigEndian && (block[0] != 'I' || block[1] != 'I')) ||
        u16(&block[2], walk.bigEndian) != 42 ||
        !readDirectory(&walk, u32(&block[4], walk.bigEndian), kMainTags))
    {
        return std::nullopt;
    }
    return std::move(walk.attributes);
}

} // namespace huecast::host::frames
