#include "intake/PNGWriter.h"

#include "intake/Parallel.h"

#include <QByteArray>
#include <QColorSpace>
#include <QImageWriter>
#include <algorithm>
#include <cstdint>
#include <deque>
#include <new>
#include <vector>
#include <zlib.h>

namespace tovin {

namespace {

// Filtered bytes in one band of rows: large enough that starting each band afresh costs the file
// little, small enough that the bands keep every core busy and that little is held at once.
constexpr std::size_t bandBytes = std::size_t{1} << 20;

// The row filter "Up": each byte less the byte above it. It costs one subtraction, and leaves the
// flat areas and repeated lines of screenshots, and the gradients of photos, as runs and small
// numbers that compress well.
constexpr std::uint8_t upFilter = 2;

void appendUInt32(QByteArray& bytes, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.append(static_cast<char>(value >> shift & 0xFF));
}

bool writeChunk(QIODevice& device, const char* type, const QByteArray& data) {
    QByteArray head;
    appendUInt32(head, static_cast<std::uint32_t>(data.size()));
    head.append(type, 4);
    const auto crc = crc32_z(crc32_z(0, reinterpret_cast<const Bytef*>(type), 4),
                             reinterpret_cast<const Bytef*>(data.constData()),
                             static_cast<std::size_t>(data.size()));
    QByteArray tail;
    appendUInt32(tail, static_cast<std::uint32_t>(crc));
    return device.write(head) == head.size() && device.write(data) == data.size() &&
           device.write(tail) == tail.size();
}

bool isOpaque(const QImage& image) {
    if (!image.hasAlphaChannel())
        return true;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        if (!std::all_of(line, line + image.width(),
                         [](QRgb pixel) { return qAlpha(pixel) == 255; }))
            return false;
    }
    return true;
}

// Rows of an image, from `firstRow` on, with straight alpha.
struct RowSource {
    QImage image;
    int firstRow;
};

// The image's rows as the file holds them: red, green, blue and, unless every pixel is opaque,
// alpha, one byte each.
class Rows {
public:
    explicit Rows(const QImage& image)
        : image_(image)
        , alpha_(!isOpaque(image)) {}

    bool hasAlpha() const { return alpha_; }
    std::size_t rowBytes() const {
        return static_cast<std::size_t>(image_.width()) * (alpha_ ? 4 : 3);
    }

    // Rows [first, end) of the image, those of a premultiplied one converted as Qt converts them.
    RowSource source(int first, int end) const {
        if (image_.format() != QImage::Format_ARGB32_Premultiplied)
            return {image_, 0};
        return {image_.copy(0, first, image_.width(), end - first)
                    .convertToFormat(QImage::Format_ARGB32),
                first};
    }

    void read(const RowSource& source, int y, std::uint8_t* out) const {
        const auto* line =
            reinterpret_cast<const QRgb*>(source.image.constScanLine(y - source.firstRow));
        for (const QRgb* end = line + image_.width(); line != end; ++line) {
            *out++ = static_cast<std::uint8_t>(qRed(*line));
            *out++ = static_cast<std::uint8_t>(qGreen(*line));
            *out++ = static_cast<std::uint8_t>(qBlue(*line));
            if (alpha_)
                *out++ = static_cast<std::uint8_t>(qAlpha(*line));
        }
    }

private:
    const QImage& image_;
    bool alpha_;
};

// One band of rows, filtered and deflated, with the Adler-32 and length of its filtered bytes.
struct Band {
    QByteArray deflated;
    uLong adler = 0;
    std::size_t length = 0;
};

// Compresses bands of rows, each on its own, as raw deflate data that ends on a whole byte with
// the stream still open (a sync flush), or that ends the stream: the bands, one after the other,
// are one stream.
class BandEncoder {
public:
    explicit BandEncoder(const Rows& rows)
        : rows_(rows)
        , ready_(deflateInit2(&stream_, Z_BEST_SPEED, Z_DEFLATED, -MAX_WBITS, 8,
                              Z_DEFAULT_STRATEGY) == Z_OK) {}
    ~BandEncoder() {
        if (ready_)
            deflateEnd(&stream_);
    }
    BandEncoder(const BandEncoder&) = delete;
    BandEncoder& operator=(const BandEncoder&) = delete;

    // Encodes rows [first, end) into `band`; false when memory ran out.
    bool encode(int first, int end, bool last, Band& band) noexcept {
        try {
            filter(first, end);
            band.adler = adler32_z(adler32_z(0, nullptr, 0), filtered_.data(), filtered_.size());
            band.length = filtered_.size();
            return ready_ && deflateBand(last, band.deflated);
        } catch (const std::bad_alloc&) {
            return false;
        }
    }

private:
    void filter(int first, int end) {
        const std::size_t rowBytes = rows_.rowBytes();
        filtered_.resize(static_cast<std::size_t>(end - first) * (rowBytes + 1));
        above_.assign(rowBytes, 0);
        row_.resize(rowBytes);
        const RowSource source = rows_.source(std::max(first - 1, 0), end);
        if (source.image.isNull())
            throw std::bad_alloc();
        if (first > 0)
            rows_.read(source, first - 1, above_.data());
        std::uint8_t* out = filtered_.data();
        for (int y = first; y < end; ++y) {
            rows_.read(source, y, row_.data());
            *out++ = upFilter;
            for (std::size_t i = 0; i < rowBytes; ++i)
                *out++ = static_cast<std::uint8_t>(row_[i] - above_[i]);
            std::swap(row_, above_);
        }
    }

    bool deflateBand(bool last, QByteArray& deflated) {
        deflateReset(&stream_);
        const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
        stream_.next_in = filtered_.data();
        stream_.avail_in = static_cast<uInt>(filtered_.size());
        // The bound holds for the end of a stream; a sync flush adds at most a few bytes more.
        deflated.resize(static_cast<qsizetype>(deflateBound(&stream_, filtered_.size()) + 16));
        stream_.next_out = reinterpret_cast<Bytef*>(deflated.data());
        stream_.avail_out = static_cast<uInt>(deflated.size());
        const int result = deflate(&stream_, flush);
        deflated.resize(static_cast<qsizetype>(stream_.total_out));
        return last ? result == Z_STREAM_END
                    : result == Z_OK && stream_.avail_in == 0 && stream_.avail_out > 0;
    }

    const Rows& rows_;
    z_stream stream_{};
    bool ready_;
    std::vector<std::uint8_t> filtered_;
    std::vector<std::uint8_t> above_;
    std::vector<std::uint8_t> row_;
};

// The image data: one zlib stream whose bands are compressed a wave at a time, one band a core,
// and written in order, one chunk a band.
bool writeImageData(const QImage& image, const Rows& rows, QIODevice& device) {
    const int height = image.height();
    const int rowsPerBand =
        static_cast<int>(std::clamp<std::size_t>(bandBytes / (rows.rowBytes() + 1), 1, height));
    const int bands = (height + rowsPerBand - 1) / rowsPerBand;
    const int workers = std::min(static_cast<int>(coreCount()), bands);
    std::deque<BandEncoder> encoders;
    for (int i = 0; i < workers; ++i)
        encoders.emplace_back(rows);
    std::vector<Band> wave(static_cast<std::size_t>(workers));
    std::vector<char> encoded(static_cast<std::size_t>(workers));
    uLong adler = adler32_z(0, nullptr, 0);
    for (int firstBand = 0; firstBand < bands; firstBand += workers) {
        const int count = std::min(workers, bands - firstBand);
        const auto encode = [&](std::size_t i) {
            const int band = firstBand + static_cast<int>(i);
            encoded[i] =
                encoders[i].encode(band * rowsPerBand, std::min(height, (band + 1) * rowsPerBand),
                                   band == bands - 1, wave[i]);
        };
        runInParallel(static_cast<std::size_t>(count), encode);
        for (int i = 0; i < count; ++i) {
            if (!encoded[i])
                return false;
            adler = adler32_combine(adler, wave[i].adler, static_cast<z_off_t>(wave[i].length));
            QByteArray& data = wave[i].deflated;
            // The zlib header: deflate with a 32 KiB window, at the fastest level.
            if (firstBand + i == 0)
                data.prepend("\x78\x01", 2);
            if (firstBand + i == bands - 1)
                appendUInt32(data, static_cast<std::uint32_t>(adler));
            if (!writeChunk(device, "IDAT", data))
                return false;
        }
    }
    return true;
}

QByteArray header(const QImage& image, const Rows& rows) {
    QByteArray data;
    appendUInt32(data, static_cast<std::uint32_t>(image.width()));
    appendUInt32(data, static_cast<std::uint32_t>(image.height()));
    // 8 bits a channel, true colour with or without alpha, deflate, adaptive filters, no
    // interlacing.
    const char rest[] = {8, static_cast<char>(rows.hasAlpha() ? 6 : 2), 0, 0, 0};
    data.append(rest, sizeof rest);
    return data;
}

// The colour space as an embedded ICC profile, or nothing when the image has none.
QByteArray colourProfile(const QImage& image) {
    const QByteArray profile = image.colorSpace().iccProfile();
    if (profile.isEmpty())
        return {};
    uLongf length = compressBound(static_cast<uLong>(profile.size()));
    QByteArray data("ICC profile\0\0", 13);
    const qsizetype start = data.size();
    data.resize(start + static_cast<qsizetype>(length));
    if (compress(reinterpret_cast<Bytef*>(data.data() + start), &length,
                 reinterpret_cast<const Bytef*>(profile.constData()),
                 static_cast<uLong>(profile.size())) != Z_OK)
        return {};
    data.resize(start + static_cast<qsizetype>(length));
    return data;
}

QByteArray resolution(const QImage& image) {
    if (image.dotsPerMeterX() <= 0 || image.dotsPerMeterY() <= 0)
        return {};
    QByteArray data;
    appendUInt32(data, static_cast<std::uint32_t>(image.dotsPerMeterX()));
    appendUInt32(data, static_cast<std::uint32_t>(image.dotsPerMeterY()));
    data.append('\1');
    return data;
}

bool writeFast(const QImage& image, QIODevice& device) {
    const Rows rows(image);
    const QByteArray profile = colourProfile(image);
    const QByteArray pixelsPerMeter = resolution(image);
    return device.write("\x89PNG\r\n\x1a\n", 8) == 8 &&
           writeChunk(device, "IHDR", header(image, rows)) &&
           (profile.isEmpty() || writeChunk(device, "iCCP", profile)) &&
           (pixelsPerMeter.isEmpty() || writeChunk(device, "pHYs", pixelsPerMeter)) &&
           writeImageData(image, rows, device) && writeChunk(device, "IEND", {});
}

} // namespace

bool writePNG(const QImage& image, QIODevice& device) {
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        try {
            return writeFast(image, device);
        } catch (const std::bad_alloc&) {
            return false;
        }
    default:
        return QImageWriter(&device, "png").write(image);
    }
}

} // namespace tovin
