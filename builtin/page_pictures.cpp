// Pages as pictures and drawings of the PDF page: PNG and TIFF (8 bits a channel, or one bit a
// dot for archives: CCITT group 4 in TIFF), and SVG with its text as text.

#include <QBuffer>
#include <QFileDevice>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#ifdef KW_HAVE_TIFF
#include <tiffio.h>
#endif
#ifdef KW_HAVE_SVG
#include <QSvgGenerator>
#endif

#include "builtin/builtin_objects.h"
#include "builtin/plot_output.h"

namespace kw::builtin {
namespace {

constexpr double kMmPerInch = 25.4;

// The page painted at `dpi`: white where nothing is drawn; with `monochrome` one bit a dot,
// black wherever anything but white was drawn (light colours too: a plot for the archive keeps
// every line), drawn without smoothing so that lines stay crisp.
QImage PaintPicture(SheetMm sheet, const PageFormat& format, const std::string& where,
                    const PagePainter& paint) {
    const double pixelsPerMm = format.dpi / kMmPerInch;
    QImage image(std::max(1, static_cast<int>(std::lround(sheet.widthMm * pixelsPerMm))),
                 std::max(1, static_cast<int>(std::lround(sheet.heightMm * pixelsPerMm))),
                 QImage::Format_RGB32);
    if (image.isNull()) {
        Fail(errors::kWriteFault, "the page is too large for a picture of " +
                                      std::to_string(format.dpi) + " dpi (" + where + ")");
    }
    image.fill(Qt::white);
    const int dotsPerMeter = static_cast<int>(std::lround(pixelsPerMm * 1000.0));
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, !format.monochrome);
        paint(painter, pixelsPerMm);
    }
    if (!format.monochrome) {
        return image;
    }
    QImage mono(image.size(), QImage::Format_Mono);
    mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    mono.setDotsPerMeterX(dotsPerMeter);
    mono.setDotsPerMeterY(dotsPerMeter);
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            mono.setPixel(x, y, qGray(row[x]) < 250 ? 1 : 0);
        }
    }
    return mono;
}

void Written(QFileDevice& file, bool saved, const char* kind, const std::string& where) {
    if (!saved || file.error() != QFileDevice::NoError || !file.flush()) {
        Fail(errors::kWriteFault, std::string("cannot write the ") + kind + " file " + where +
                                      ": " + file.errorString().toStdString());
    }
}

#ifdef KW_HAVE_TIFF
// libtiff writes into memory: the bytes go to the page's file in one piece.
struct TiffBuffer {
    std::string bytes;
    toff_t at = 0;
};

tsize_t TiffRead(thandle_t handle, tdata_t data, tsize_t size) {
    auto* buffer = static_cast<TiffBuffer*>(handle);
    const toff_t available = buffer->at < buffer->bytes.size() ? buffer->bytes.size() - buffer->at : 0;
    const toff_t n = std::min<toff_t>(available, static_cast<toff_t>(size));
    std::memcpy(data, buffer->bytes.data() + buffer->at, n);
    buffer->at += n;
    return static_cast<tsize_t>(n);
}

tsize_t TiffWrite(thandle_t handle, tdata_t data, tsize_t size) {
    auto* buffer = static_cast<TiffBuffer*>(handle);
    const std::size_t n = static_cast<std::size_t>(size);
    if (buffer->bytes.size() < buffer->at + n) {
        buffer->bytes.resize(buffer->at + n);
    }
    std::memcpy(buffer->bytes.data() + buffer->at, data, n);
    buffer->at += n;
    return size;
}

toff_t TiffSeek(thandle_t handle, toff_t offset, int whence) {
    auto* buffer = static_cast<TiffBuffer*>(handle);
    const toff_t base = whence == SEEK_CUR ? buffer->at
                        : whence == SEEK_END ? buffer->bytes.size()
                                             : 0;
    buffer->at = base + offset;
    return buffer->at;
}

int TiffClose(thandle_t) { return 0; }
toff_t TiffSize(thandle_t handle) { return static_cast<TiffBuffer*>(handle)->bytes.size(); }
int TiffMap(thandle_t, tdata_t*, toff_t*) { return 0; }
void TiffUnmap(thandle_t, tdata_t, toff_t) {}

// One page, one strip per row band: RGB with LZW and a predictor, or one bit a dot (white 0)
// with CCITT group 4, as archives keep drawings.
std::string TiffBytes(const QImage& picture, int dpi) {
    TiffBuffer buffer;
    TIFF* tiff = TIFFClientOpen("page", "w", &buffer, TiffRead, TiffWrite, TiffSeek, TiffClose,
                                TiffSize, TiffMap, TiffUnmap);
    if (tiff == nullptr) {
        return {};
    }
    const bool mono = picture.format() == QImage::Format_Mono;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(picture.width()));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(picture.height()));
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tiff, TIFFTAG_XRESOLUTION, static_cast<float>(dpi));
    TIFFSetField(tiff, TIFFTAG_YRESOLUTION, static_cast<float>(dpi));
    TIFFSetField(tiff, TIFFTAG_SOFTWARE, "Kestrelwick");
    bool ok = true;
    if (mono) {
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(picture.height()));
        // Qt's index 1 (black) is a set bit, as "white is zero" wants.
        const int rowBytes = (picture.width() + 7) / 8;
        std::string row(static_cast<std::size_t>(rowBytes), '\0');
        for (int y = 0; ok && y < picture.height(); ++y) {
            std::memcpy(row.data(), picture.constScanLine(y), row.size());
            ok = TIFFWriteScanline(tiff, row.data(), static_cast<uint32_t>(y), 0) >= 0;
        }
    } else {
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));
        const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
        std::string row(static_cast<std::size_t>(rgb.width()) * 3, '\0');
        for (int y = 0; ok && y < rgb.height(); ++y) {
            std::memcpy(row.data(), rgb.constScanLine(y), row.size());
            ok = TIFFWriteScanline(tiff, row.data(), static_cast<uint32_t>(y), 0) >= 0;
        }
    }
    ok = ok && TIFFWriteDirectory(tiff) != 0;
    TIFFClose(tiff);
    return ok ? buffer.bytes : std::string();
}
#endif

} // namespace

bool Writes(const PageFormat& format) {
    switch (format.kind) {
    case PageFileKind::Tiff:
#ifdef KW_HAVE_TIFF
        return true;
#else
        return false;
#endif
    case PageFileKind::Svg:
#ifdef KW_HAVE_SVG
        return true;
#else
        return false;
#endif
    default:
        return true;
    }
}

void PaintPicturePage(QFileDevice& file, const std::string& where, SheetMm sheet,
                      const PageFormat& format, const PagePainter& paint) {
    const QImage picture = PaintPicture(sheet, format, where, paint);
    if (format.kind == PageFileKind::Tiff) {
#ifdef KW_HAVE_TIFF
        const std::string bytes = TiffBytes(picture, format.dpi);
        const bool saved = !bytes.empty() &&
                           file.write(bytes.data(), static_cast<qint64>(bytes.size())) ==
                               static_cast<qint64>(bytes.size());
        Written(file, saved, "TIFF", where);
        return;
#else
        Fail(errors::kInvalidArgument, "this build of the program writes no TIFF files");
#endif
    }
    Written(file, picture.save(&file, "PNG"), "PNG", where);
}

void PaintSvg(QFileDevice& file, const std::string& where, SheetMm sheet, const std::string& title,
              const PagePainter& paint) {
#ifdef KW_HAVE_SVG
    // A tenth of a millimetre to the unit; the drawing's size in millimetres.
    constexpr double kUnitsPerMm = 10.0;
    const QSize size(std::max(1, static_cast<int>(std::lround(sheet.widthMm * kUnitsPerMm))),
                     std::max(1, static_cast<int>(std::lround(sheet.heightMm * kUnitsPerMm))));
    QBuffer made;
    made.open(QIODevice::WriteOnly);
    {
        QSvgGenerator svg;
        svg.setOutputDevice(&made);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setResolution(static_cast<int>(std::lround(kUnitsPerMm * kMmPerInch)));
        svg.setTitle(QString::fromStdString(title));
        svg.setDescription(QStringLiteral("Kestrelwick"));
        QPainter painter;
        if (!painter.begin(&svg)) {
            Fail(errors::kWriteFault, "cannot start an SVG drawing in " + where);
        }
        painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
        paint(painter, kUnitsPerMm);
        painter.end();
    }
    const QByteArray& bytes = made.data();
    Written(file, file.write(bytes) == bytes.size(), "SVG", where);
#else
    (void)file;
    (void)where;
    (void)sheet;
    (void)title;
    (void)paint;
    Fail(errors::kInvalidArgument, "this build of the program writes no SVG files");
#endif
}

} // namespace kw::builtin
