#include "exchange/record_pdf.h"

#include "db/archive.h"
#include "db/folders.h"
#include "db/numbered_error.h"
#include "imaging/page_image.h"
#include "text/log.h"
#include "text/utility.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QtEndian>

#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

namespace zumen::RecordPdf {
namespace {

[[noreturn]] void fail(const QString &message)
{
    throw std::runtime_error(message.toStdString());
}

// A PDF written front to back: objects numbered as they are reserved, written in any order,
// the cross-reference table at the end.
class PdfFile {
public:
    PdfFile(QIODevice &out, const QString &path) : m_out(out), m_path(path)
    {
        put("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    }

    int reserve()
    {
        m_offsets.push_back(-1);
        return static_cast<int>(m_offsets.size());
    }
    void begin(int object)
    {
        m_offsets[static_cast<std::size_t>(object - 1)] = m_pos;
        put(QByteArray::number(object) + " 0 obj\n");
    }
    void object(int object, const QByteArray &body)
    {
        begin(object);
        put(body + "\nendobj\n");
    }
    void put(const QByteArray &bytes)
    {
        if (m_out.write(bytes) != bytes.size())
            fail(QStringLiteral("「%1」に書けません: %2").arg(m_path, m_out.errorString()));
        m_pos += bytes.size();
    }
    qint64 pos() const { return m_pos; }

    void finish(int root)
    {
        const qint64 xref = m_pos;
        QByteArray table = "xref\n0 " + QByteArray::number(m_offsets.size() + 1) + "\n0000000000 65535 f \n";
        for (const qint64 offset : m_offsets)
            table += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
        put(table + "trailer\n<< /Size " + QByteArray::number(m_offsets.size() + 1) + " /Root " +
            QByteArray::number(root) + " 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n");
    }

private:
    QIODevice &m_out;
    QString m_path;
    qint64 m_pos = 0;
    std::vector<qint64> m_offsets; // by object number - 1
};

QByteArray num(double value)
{
    return QByteArray::number(value, 'f', 3);
}

// One image of a page as it goes into the file: the whole picture, or one strip of a Group 4 page.
struct Band {
    int rows = 0;
    QByteArray dictionary; // colour space, bits and filter entries
    QByteArray data;       // the encoded data, unless deflated straight from the picture's image
};

// One page's picture: its bands top to bottom.
struct Picture {
    QSize pixels;
    int dpiX = 0;
    int dpiY = 0;
    std::vector<Band> bands;
    QImage image; // grey or colour pixels to deflate (one band)
};

QByteArray faxDictionary(QSize size, bool blackIs1)
{
    return "/ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /CCITTFaxDecode /DecodeParms << /K -1 "
           "/Columns " +
           QByteArray::number(size.width()) + " /Rows " + QByteArray::number(size.height()) +
           (blackIs1 ? " /BlackIs1 true" : "") + " >>";
}

struct TiffCloser {
    void operator()(TIFF *t) const { TIFFClose(t); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

TiffHandle openTiff(const QString &path, const char *mode)
{
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandler(nullptr);
    return TiffHandle(TIFFOpen(QFile::encodeName(path).constData(), mode));
}

// The Group 4 data of a TIFF page, strip by strip, as a PDF reader decodes it: each strip
// starts its coding afresh, so each becomes an image of its own, drawn below the one before.
// None for any other page, which is decoded and coded again.
std::optional<Picture> groupFourStrips(const QString &path)
{
    QFile file(path);
    const QByteArray head = file.open(QIODevice::ReadOnly) ? file.read(4) : QByteArray();
    if (head != QByteArrayLiteral("II*\0") && head != QByteArrayLiteral("MM\0*"))
        return std::nullopt;
    const qint64 fileBytes = file.size();
    file.close();
    const TiffHandle t = openTiff(path, "r");
    uint32_t width = 0, height = 0, options = 0, stripRows = 0;
    uint16_t compression = 0, bits = 0, samples = 0, fill = 0, photometric = 0, unit = 0;
    if (!t || TIFFIsTiled(t.get()) || !TIFFGetField(t.get(), TIFFTAG_IMAGEWIDTH, &width) ||
        !TIFFGetField(t.get(), TIFFTAG_IMAGELENGTH, &height))
        return std::nullopt;
    TIFFGetFieldDefaulted(t.get(), TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(t.get(), TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(t.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(t.get(), TIFFTAG_FILLORDER, &fill);
    TIFFGetFieldDefaulted(t.get(), TIFFTAG_RESOLUTIONUNIT, &unit);
    TIFFGetFieldDefaulted(t.get(), TIFFTAG_ROWSPERSTRIP, &stripRows);
    TIFFGetField(t.get(), TIFFTAG_GROUP4OPTIONS, &options);
    if (!TIFFGetField(t.get(), TIFFTAG_PHOTOMETRIC, &photometric))
        photometric = PHOTOMETRIC_MINISWHITE; // what fax pages without one mean
    // Uncompressed mode (option bit 2) is rare and not every reader follows it.
    if (compression != COMPRESSION_CCITTFAX4 || bits != 1 || samples != 1 ||
        (fill != FILLORDER_MSB2LSB && fill != FILLORDER_LSB2MSB) || (options & GROUP4OPT_UNCOMPRESSED) ||
        photometric > PHOTOMETRIC_MINISBLACK || width == 0 || height == 0 || width > INT_MAX ||
        height > INT_MAX || stripRows == 0)
        return std::nullopt;
    // Each image costs the file a few hundred bytes: strips of a few rows are coded again as one.
    stripRows = std::min(stripRows, height);
    const tstrip_t strips = TIFFNumberOfStrips(t.get());
    if (strips != (height + stripRows - 1) / stripRows || (strips > 1 && stripRows < 64))
        return std::nullopt;
    Picture picture;
    qint64 total = 0;
    for (tstrip_t s = 0; s < strips; ++s) {
        const tmsize_t size = TIFFRawStripSize(t.get(), s);
        total += size;
        if (size <= 0 || total > fileBytes) // a damaged file is left to the decoder to refuse
            return std::nullopt;
        Band band;
        band.rows = static_cast<int>(std::min(stripRows, height - s * stripRows));
        band.data.resize(static_cast<qsizetype>(size));
        if (TIFFReadRawStrip(t.get(), s, band.data.data(), size) != size)
            return std::nullopt;
        // The reader takes the first pixel from the high bit of each byte.
        if (fill == FILLORDER_LSB2MSB)
            TIFFReverseBits(reinterpret_cast<uint8_t *>(band.data.data()), size);
        // The coding's white runs are the 0 bits; with min-is-black those are the black pixels.
        band.dictionary =
            faxDictionary(QSize(static_cast<int>(width), band.rows), photometric == PHOTOMETRIC_MINISBLACK);
        picture.bands.push_back(std::move(band));
    }
    picture.pixels = QSize(static_cast<int>(width), static_cast<int>(height));
    float xres = 0, yres = 0;
    if (unit != RESUNIT_NONE && TIFFGetField(t.get(), TIFFTAG_XRESOLUTION, &xres) &&
        TIFFGetField(t.get(), TIFFTAG_YRESOLUTION, &yres) && xres >= 1 && yres >= 1 && xres < 100000 &&
        yres < 100000) {
        const double toInch = unit == RESUNIT_CENTIMETER ? 2.54 : 1.0;
        picture.dpiX = qRound(xres * toInch);
        picture.dpiY = qRound(yres * toInch);
    }
    return picture;
}

// A bilevel image (1 = black) coded as Group 4 in one strip, through libtiff's coder.
QByteArray groupFour(const QImage &image, const QString &dir)
{
    QTemporaryFile temp(dir + QStringLiteral("/.pdf-page-XXXXXX"));
    if (!temp.open())
        fail(QStringLiteral("一時ファイルを作れません: %1").arg(temp.errorString()));
    const QString name = temp.fileName();
    temp.close();
    {
        const TiffHandle t = openTiff(name, "w");
        if (!t)
            fail(QStringLiteral("一時ファイルに書けません: %1").arg(name));
        const auto height = static_cast<uint32_t>(image.height());
        TIFFSetField(t.get(), TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(image.width()));
        TIFFSetField(t.get(), TIFFTAG_IMAGELENGTH, height);
        TIFFSetField(t.get(), TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(t.get(), TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(t.get(), TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(t.get(), TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
        TIFFSetField(t.get(), TIFFTAG_ROWSPERSTRIP, height);
        std::vector<unsigned char> line(static_cast<std::size_t>((image.width() + 7) / 8));
        for (uint32_t y = 0; y < height; ++y) {
            std::memcpy(line.data(), image.constScanLine(static_cast<int>(y)), line.size());
            if (TIFFWriteScanline(t.get(), line.data(), y, 0) < 0)
                fail(QStringLiteral("一時ファイルに書けません: %1").arg(name));
        }
    }
    const TiffHandle t = openTiff(name, "r");
    const tmsize_t size = t ? TIFFRawStripSize(t.get(), 0) : 0;
    QByteArray data(static_cast<qsizetype>(std::max<tmsize_t>(size, 0)), Qt::Uninitialized);
    if (size <= 0 || TIFFReadRawStrip(t.get(), 0, data.data(), size) != size)
        fail(QStringLiteral("一時ファイルが読めません: %1").arg(name));
    return data;
}

// The number of components of a baseline or progressive 8-bit JPEG of the size; 0 for any
// other (arithmetic coding, 12 bits, CMYK), which is decoded and compressed again instead.
int jpegComponents(const QByteArray &jpeg, QSize size)
{
    qsizetype at = 2;
    while (at + 10 <= jpeg.size() && static_cast<uchar>(jpeg[at]) == 0xFF) {
        const auto marker = static_cast<uchar>(jpeg[at + 1]);
        const auto *p = reinterpret_cast<const uchar *>(jpeg.constData() + at);
        if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {
            const int components = p[9];
            const bool fits = p[4] == 8 && qFromBigEndian<quint16>(p + 5) == size.height() &&
                              qFromBigEndian<quint16>(p + 7) == size.width();
            return fits && (components == 1 || components == 3) ? components : 0;
        }
        if (marker >= 0xC3 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return 0;
        at += 2 + qFromBigEndian<quint16>(p + 2);
    }
    return 0;
}

Picture picture(const QString &path, const QString &dir)
{
    if (std::optional<Picture> strips = groupFourStrips(path))
        return std::move(*strips);
    // A JPEG is only measured here (decoded at an eighth), its own data goes into the file.
    PageImage page = PageImage::load(path, [](QSize) { return Scale{1, 8}; });
    Picture picture;
    picture.pixels = page.size();
    picture.dpiX = page.dpiX();
    picture.dpiY = page.dpiY();
    Band &band = picture.bands.emplace_back();
    band.rows = picture.pixels.height();
    if (page.kind().format == "jpeg") {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            band.data = file.readAll();
        if (const int components = jpegComponents(band.data, picture.pixels)) {
            band.dictionary = QByteArrayLiteral("/ColorSpace ") +
                              (components == 1 ? "/DeviceGray" : "/DeviceRGB") +
                              " /BitsPerComponent 8 /Filter /DCTDecode";
            return picture;
        }
        band.data.clear();
    }
    if (page.isReduced())
        page = PageImage::load(path);
    if (page.isBilevel()) {
        band.data = groupFour(page.image(), dir);
        band.dictionary = faxDictionary(picture.pixels, false);
        return picture;
    }
    picture.image = page.image();
    if (picture.image.format() != QImage::Format_Grayscale8 && picture.image.format() != QImage::Format_RGB32)
        picture.image.convertTo(QImage::Format_RGB32);
    band.dictionary = QByteArrayLiteral("/ColorSpace ") +
                      (picture.image.format() == QImage::Format_Grayscale8 ? "/DeviceGray" : "/DeviceRGB") +
                      " /BitsPerComponent 8 /Filter /FlateDecode";
    return picture;
}

// Grey or colour pixels, row by row through zlib, so that no second copy of a large page is held.
void deflateInto(PdfFile &pdf, const QImage &image)
{
    z_stream z = {};
    if (deflateInit(&z, Z_DEFAULT_COMPRESSION) != Z_OK)
        fail(QStringLiteral("メモリが不足しています。"));
    const std::unique_ptr<z_stream, int (*)(z_stream *)> end(&z, deflateEnd);
    const bool grey = image.format() == QImage::Format_Grayscale8;
    std::vector<unsigned char> row(static_cast<std::size_t>(image.width() * (grey ? 1 : 3)));
    std::vector<unsigned char> out(1 << 16);
    auto pump = [&](int flush) {
        int status = Z_OK;
        do {
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            status = deflate(&z, flush);
            pdf.put(QByteArray(reinterpret_cast<const char *>(out.data()),
                               static_cast<qsizetype>(out.size() - z.avail_out)));
        } while (z.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
    };
    for (int y = 0; y < image.height(); ++y) {
        const uchar *line = image.constScanLine(y);
        if (grey) {
            std::memcpy(row.data(), line, row.size());
        } else {
            const auto *px = reinterpret_cast<const QRgb *>(line);
            for (int x = 0; x < image.width(); ++x) {
                row[static_cast<std::size_t>(3 * x)] = static_cast<unsigned char>(qRed(px[x]));
                row[static_cast<std::size_t>(3 * x + 1)] = static_cast<unsigned char>(qGreen(px[x]));
                row[static_cast<std::size_t>(3 * x + 2)] = static_cast<unsigned char>(qBlue(px[x]));
            }
        }
        z.next_in = row.data();
        z.avail_in = static_cast<uInt>(row.size());
        pump(Z_NO_FLUSH);
    }
    pump(Z_FINISH);
}

// Writes one page: its pictures' bands with their lengths, the drawing instructions, the page.
int writePage(PdfFile &pdf, const Picture &picture, int parent)
{
    // Band edges in thousandths of a point from the page's foot, so that neighbours meet exactly.
    const int dpiY = picture.dpiY > 0 ? picture.dpiY : AssumedDpi;
    const auto edge = [&](qint64 row) {
        return qRound64(static_cast<double>(picture.pixels.height() - row) * 72000.0 / dpiY);
    };
    const double width = picture.pixels.width() * 72.0 / (picture.dpiX > 0 ? picture.dpiX : AssumedDpi);
    QByteArray draw, names;
    qint64 row = 0;
    for (std::size_t i = 0; i < picture.bands.size(); ++i) {
        const Band &band = picture.bands[i];
        const int image = pdf.reserve(), length = pdf.reserve();
        pdf.begin(image);
        pdf.put("<< /Type /XObject /Subtype /Image /Width " + QByteArray::number(picture.pixels.width()) +
                " /Height " + QByteArray::number(band.rows) + ' ' + band.dictionary + " /Length " +
                QByteArray::number(length) + " 0 R >>\nstream\n");
        const qint64 start = pdf.pos();
        if (picture.image.isNull())
            pdf.put(band.data);
        else
            deflateInto(pdf, picture.image);
        const qint64 bytes = pdf.pos() - start;
        pdf.put("\nendstream\nendobj\n");
        pdf.object(length, QByteArray::number(bytes));

        const QByteArray name = "/Im" + QByteArray::number(i);
        const qint64 top = edge(row), bottom = edge(row + band.rows);
        draw += "q " + num(width) + " 0 0 " + num((top - bottom) / 1000.0) + " 0 " + num(bottom / 1000.0) +
                " cm " + name + " Do Q\n";
        names += name + ' ' + QByteArray::number(image) + " 0 R ";
        row += band.rows;
    }
    const int contents = pdf.reserve(), page = pdf.reserve();
    pdf.object(contents,
               "<< /Length " + QByteArray::number(draw.size()) + " >>\nstream\n" + draw + "endstream");
    pdf.object(page, "<< /Type /Page /Parent " + QByteArray::number(parent) + " 0 R /MediaBox [0 0 " +
                         num(width) + ' ' + num(edge(0) / 1000.0) + "] /Resources << /XObject << " + names +
                         ">> >> /Contents " + QByteArray::number(contents) + " 0 R >>");
    return page;
}

} // namespace

Result write(Archive &archive, std::int32_t id, const QString &path, const Options &options)
{
    Result result;
    QStringList files;
    if (!options.replace && QFileInfo::exists(path))
        fail(QStringLiteral("「%1」に書けません: 同じ名前のファイルがすでにあります。").arg(path));
    Statement rows =
        archive.db.prepare(QStringLiteral("SELECT Dir, FileName FROM PG WHERE ID = ?1 ORDER BY Page"));
    rows.bindAll({Variant(id)});
    while (rows.step()) {
        const QString file = WorkingFolder::pageFilePath(rows.column(0).toString().trimmed(),
                                                         rows.column(1).toString().trimmed(),
                                                         archive.scanFolder, archive.fileFolder);
        if (QFileInfo(file).isFile())
            files << file;
        else if (options.skipMissing)
            result.skipped << file;
        else
            fail(QStringLiteral("ページのファイルが見つからないため、書き出しませんでした: %1").arg(file));
    }
    if (files.isEmpty())
        fail(QStringLiteral("ID %1 のレコードには書き出せるページがありません。").arg(id));

    const QString dir = QFileInfo(path).absolutePath();
    QTemporaryFile temp(dir + QStringLiteral("/.pdf-XXXXXX"));
    if (!temp.open())
        fail(QStringLiteral("「%1」に書けません: %2").arg(path, temp.errorString()));
    PdfFile pdf(temp, path);
    const int catalog = pdf.reserve(), pages = pdf.reserve();
    QByteArray kids;
    for (const QString &file : files) {
        Picture page;
        try {
            page = picture(file, dir);
        } catch (const NumberedError &e) {
            fail(QStringLiteral("ページのファイルが読めないため、書き出しませんでした: %1 (%2)")
                     .arg(file, e.description()));
        }
        kids += QByteArray::number(writePage(pdf, page, pages)) + " 0 R ";
        ++result.pages;
    }
    pdf.object(pages,
               "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(result.pages) + " >>");
    pdf.object(catalog, "<< /Type /Catalog /Pages " + QByteArray::number(pages) + " 0 R >>");
    pdf.finish(catalog);
    if (!temp.flush())
        fail(QStringLiteral("「%1」に書けません: %2").arg(path, temp.errorString()));
    // Readable as any file the user saves, not only by its owner as a temporary file is.
    temp.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    const QByteArray from = QFile::encodeName(temp.fileName()), to = QFile::encodeName(path);
    const bool renamed = options.replace ? std::rename(from.constData(), to.constData()) == 0
                                         : RenameNoReplace(temp.fileName(), path);
    if (!renamed)
        fail(QStringLiteral("「%1」に書けません: 同じ名前のファイルがすでにあるか、名前を付けられません。")
                 .arg(path));
    temp.setAutoRemove(false);
    qCInfo(logPages).noquote() << "record" << id << "written as PDF:" << path << result.pages << "pages";
    return result;
}

} // namespace zumen::RecordPdf
