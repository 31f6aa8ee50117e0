#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

namespace zumen {

struct Archive;

// All pages of one record as one PDF file, each page at its real size on paper (its pixels
// at its resolution; 200 dpi for a page file that gives none). Bilevel pages go in as Group 4
// images, so a drawing keeps the size of its TIFF; JPEG pages go in as their own JPEG data;
// other grey and colour pages are compressed without loss.
namespace RecordPdf {

// A page file that states no resolution is taken as scanned at this many dots per inch.
constexpr int AssumedDpi = 200;

struct Options {
    bool replace = false;     // an existing file of that name is replaced
    bool skipMissing = false; // missing page files are left out instead of refusing
};

struct Result {
    int pages = 0;       // pages written
    QStringList skipped; // missing page files left out, as paths
};

// Writes the record's pages in page order into path. The file is written under a temporary
// name beside it and takes its name only when complete, so a refusal or failure leaves
// nothing behind. Throws std::runtime_error with a Japanese message: the record has no page,
// a page file is missing (unless skipMissing) or cannot be decoded (naming the file), the
// file exists (unless replace) or cannot be written; or DbError.
Result write(Archive &archive, std::int32_t id, const QString &path, const Options &options = {});

} // namespace RecordPdf

} // namespace zumen
