#include "metadata/ExifMetadata.h"

#include "platform/Files.h"
#include "raw/RafHeader.h"

#ifdef DIAGRAW_HAVE_LIBEXIF
#include <libexif/exif-data.h>
#endif

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace
{

constexpr uint8_t kExifSignature[] = {'E', 'x', 'i', 'f', 0, 0};
constexpr size_t kMostSegmentBytes = 65535 - 2;  // a segment's length counts its own two bytes

// Where the preview lies, as far as the first count bytes of the file hold
// it: nothing for a file that is no RAF or whose preview lies outside it.
struct PreviewWindow
{
    int64_t offset = 0;
    size_t count = 0;
};

PreviewWindow PreviewWindowOf(const FileHeader& header, int64_t available)
{
    const RafSection& preview = header.preview;
    if (!header.rafFieldsComplete || preview.place != SectionPlace::Inside)
        return {};
    const int64_t end = std::min({preview.End(), available, header.size});
    if (end <= int64_t{preview.offset})
        return {};
    const auto count = std::min(static_cast<uint64_t>(end - preview.offset), uint64_t{kExifSearchBytes});
    return {preview.offset, static_cast<size_t>(count)};
}

#ifdef DIAGRAW_HAVE_LIBEXIF

struct ExifDataReleaser
{
    void operator()(ExifData* data) const { exif_data_unref(data); }
};

// The entry of tag in ifd when it holds at least one value of one of the
// formats given; null otherwise.
const ExifEntry* EntryOf(ExifData* data, ExifIfd ifd, ExifTag tag, std::initializer_list<ExifFormat> formats)
{
    const ExifEntry* entry = exif_content_get_entry(data->ifd[ifd], tag);
    if (entry == nullptr || entry->data == nullptr || entry->components == 0)
        return nullptr;
    if (std::find(formats.begin(), formats.end(), entry->format) == formats.end())
        return nullptr;
    return entry->size >= exif_format_get_size(entry->format) ? entry : nullptr;
}

std::optional<std::string> TextOf(ExifData* data, ExifIfd ifd, ExifTag tag)
{
    const ExifEntry* entry = EntryOf(data, ifd, tag, {EXIF_FORMAT_ASCII});
    if (entry == nullptr)
        return std::nullopt;
    const char* text = reinterpret_cast<const char*>(entry->data);
    const size_t length = static_cast<size_t>(std::find(text, text + entry->size, '\0') - text);
    std::string kept(text, length);
    kept.erase(kept.find_last_not_of(' ') + 1);
    if (kept.empty())
        return std::nullopt;
    return kept;
}

// The first value of a BYTE, SHORT or LONG entry.
std::optional<uint32_t> WholeOf(ExifData* data, ExifIfd ifd, ExifTag tag)
{
    const ExifEntry* entry = EntryOf(data, ifd, tag, {EXIF_FORMAT_BYTE, EXIF_FORMAT_SHORT, EXIF_FORMAT_LONG});
    if (entry == nullptr)
        return std::nullopt;
    const ExifByteOrder order = exif_data_get_byte_order(data);
    switch (entry->format)
    {
    case EXIF_FORMAT_BYTE:
        return entry->data[0];
    case EXIF_FORMAT_SHORT:
        return exif_get_short(entry->data, order);
    default:
        break;
    }
    return exif_get_long(entry->data, order);
}

// A RATIONAL entry's first value, when it is a positive number.
std::optional<ExifFraction> FractionOf(ExifData* data, ExifIfd ifd, ExifTag tag)
{
    const ExifEntry* entry = EntryOf(data, ifd, tag, {EXIF_FORMAT_RATIONAL});
    if (entry == nullptr)
        return std::nullopt;
    const ExifRational value = exif_get_rational(entry->data, exif_data_get_byte_order(data));
    if (value.numerator == 0 || value.denominator == 0)
        return std::nullopt;
    return ExifFraction{value.numerator, value.denominator};
}

std::optional<double> SignedFractionOf(ExifData* data, ExifIfd ifd, ExifTag tag)
{
    const ExifEntry* entry = EntryOf(data, ifd, tag, {EXIF_FORMAT_SRATIONAL});
    if (entry == nullptr)
        return std::nullopt;
    const ExifSRational value = exif_get_srational(entry->data, exif_data_get_byte_order(data));
    if (value.denominator == 0)
        return std::nullopt;
    return static_cast<double>(value.numerator) / value.denominator;
}

// "YYYY:MM:DD HH:MM:SS" as "YYYY-MM-DDTHH:MM:SS"; nothing for a text of
// another form or with a month, day, hour, minute or second out of range
// (the blanks a camera without a clock writes among them).
std::optional<std::string> DateTimeOf(const std::optional<std::string>& text)
{
    constexpr char kForm[] = "dddd:dd:dd dd:dd:dd";
    if (!text || text->size() != sizeof kForm - 1)
        return std::nullopt;
    std::string iso = *text;
    for (size_t i = 0; i < iso.size(); ++i)
    {
        const bool digit = iso[i] >= '0' && iso[i] <= '9';
        if ((kForm[i] == 'd') != digit || (kForm[i] != 'd' && iso[i] != kForm[i]))
            return std::nullopt;
    }
    const auto number = [&](size_t at) { return (iso[at] - '0') * 10 + (iso[at + 1] - '0'); };
    if (number(5) < 1 || number(5) > 12 || number(8) < 1 || number(8) > 31 || number(11) > 23 || number(14) > 59 ||
        number(17) > 59)
        return std::nullopt;
    iso[4] = iso[7] = '-';
    iso[10] = 'T';
    return iso;
}

ExifMetadata FactsOf(ExifData* data)
{
    ExifMetadata facts;
    facts.make = TextOf(data, EXIF_IFD_0, EXIF_TAG_MAKE);
    facts.model = TextOf(data, EXIF_IFD_0, EXIF_TAG_MODEL);
    facts.software = TextOf(data, EXIF_IFD_0, EXIF_TAG_SOFTWARE);
    facts.dateTime = DateTimeOf(TextOf(data, EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL));
    if (!facts.dateTime)
        facts.dateTime = DateTimeOf(TextOf(data, EXIF_IFD_0, EXIF_TAG_DATE_TIME));
    facts.exposureTime = FractionOf(data, EXIF_IFD_EXIF, EXIF_TAG_EXPOSURE_TIME);
    facts.fNumber = FractionOf(data, EXIF_IFD_EXIF, EXIF_TAG_FNUMBER);
    facts.iso = WholeOf(data, EXIF_IFD_EXIF, EXIF_TAG_ISO_SPEED_RATINGS);
    if (facts.iso && *facts.iso == 0)
        facts.iso.reset();
    facts.focalLength = FractionOf(data, EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH);
    facts.focalLength35mm = WholeOf(data, EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH_IN_35MM_FILM);
    if (facts.focalLength35mm && *facts.focalLength35mm == 0)
        facts.focalLength35mm.reset();
    facts.exposureBias = SignedFractionOf(data, EXIF_IFD_EXIF, EXIF_TAG_EXPOSURE_BIAS_VALUE);
    const std::optional<uint32_t> flash = WholeOf(data, EXIF_IFD_EXIF, EXIF_TAG_FLASH);
    if (flash && *flash <= 0xFFFF)
        facts.flash = static_cast<uint16_t>(*flash);
    const std::optional<uint32_t> turn = WholeOf(data, EXIF_IFD_0, EXIF_TAG_ORIENTATION);
    if (turn && *turn >= 1 && *turn <= 8)
        facts.orientation = static_cast<uint16_t>(*turn);
    const std::optional<uint32_t> balance = WholeOf(data, EXIF_IFD_EXIF, EXIF_TAG_WHITE_BALANCE);
    if (balance && *balance <= 1)
        facts.manualWhiteBalance = *balance == 1;
    return facts;
}

#endif

}  // namespace

bool ExifReadingBuilt()
{
#ifdef DIAGRAW_HAVE_LIBEXIF
    return true;
#else
    return false;
#endif
}

bool ExifMetadata::Empty() const
{
    return !make && !model && !software && !dateTime && !exposureTime && !fNumber && !iso && !focalLength &&
           !focalLength35mm && !exposureBias && !flash && !orientation && !manualWhiteBalance;
}

ExifMetadata ExifOfBlock(const uint8_t* block, size_t count)
{
    count = std::min(count, kMostSegmentBytes);
    if (count < sizeof kExifSignature || std::memcmp(block, kExifSignature, sizeof kExifSignature) != 0)
        return {};
#ifdef DIAGRAW_HAVE_LIBEXIF
    const std::unique_ptr<ExifData, ExifDataReleaser> data(exif_data_new());
    if (!data)
        throw std::bad_alloc();
    // Only what the block holds: no entry made up to complete it.
    exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(data.get(), block, static_cast<unsigned int>(count));
    return FactsOf(data.get());
#else
    return {};
#endif
}

ExifMetadata ExifOfJpeg(const uint8_t* jpeg, size_t count)
{
    if (count < 2 || jpeg[0] != 0xFF || jpeg[1] != 0xD8)
        return {};
    size_t at = 2;
    while (at + 4 <= count)
    {
        if (jpeg[at] != 0xFF)
            return {};
        const uint8_t marker = jpeg[at + 1];
        if (marker == 0xFF)  // a fill byte before the marker
        {
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))  // no length follows these
        {
            at += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA)  // the end, or the scan: no Exif after it
            return {};
        const size_t length = size_t{jpeg[at + 2]} << 8 | jpeg[at + 3];
        if (length < 2 || at + 2 + length > count)
            return {};
        const uint8_t* payload = jpeg + at + 4;
        const size_t payloadBytes = length - 2;
        if (marker == 0xE1 && payloadBytes >= sizeof kExifSignature &&
            std::memcmp(payload, kExifSignature, sizeof kExifSignature) == 0)
            return ExifOfBlock(payload, payloadBytes);
        at += 2 + length;
    }
    return {};
}

ExifMetadata ExifOfFileBytes(const uint8_t* bytes, size_t count, const FileHeader& header)
{
    const PreviewWindow window = PreviewWindowOf(header, static_cast<int64_t>(count));
    return window.count == 0 ? ExifMetadata{} : ExifOfJpeg(bytes + window.offset, window.count);
}

Status ReadExif(std::FILE* stream, const FileHeader& header, ExifMetadata& metadata)
{
    metadata = {};
    const PreviewWindow window = PreviewWindowOf(header, header.size);
    if (window.count == 0 || !ExifReadingBuilt())
        return kStatusOk;
    std::vector<uint8_t> preview(window.count);
    const Status status = platform::ReadAt(stream, window.offset, preview.data(), preview.size());
    if (status != kStatusOk)
        return status;
    metadata = ExifOfJpeg(preview.data(), preview.size());
    return kStatusOk;
}

Status ReadHeaderAndExif(const char* path, FileHeader& header, ExifMetadata& metadata)
{
    std::unique_ptr<std::FILE, FileCloser> stream;
    const Status status = OpenWithHeader(path, stream, header);
    return status != kStatusOk ? status : ReadExif(stream.get(), header, metadata);
}
