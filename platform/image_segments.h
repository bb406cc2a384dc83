#pragma once
// The files of an image stored in pieces: the segments of an EWF image (x.E01, x.E02, …) and the
// pieces of a split raw image (x.001, x.002, …). Both are checked before a reader is opened: the
// reading library would fill a missing or cut segment with zeros without a word.

#include <QString>
#include <QStringList>

namespace tarn {

// The name of segment number n (1 = the first) of the EWF image whose first segment is first:
// E01 … E99, then EAA … EZZ, FAA …, in the case of the first segment's extension. Empty when n
// is out of the naming's range.
QString ewf_segment_name(const QString& first, int n);

// Every segment of the EWF image that starts with first, in order, after walking each one's
// chain of sections: the first must be segment 1, each later one must follow, and the last
// must close the image. 0 on success; -1 with a reason naming the file that is missing, cut
// short or damaged.
int ewf_segment_files(const QString& first, QStringList& segments, QString& error);

// The pieces of the split raw image that path is a piece of, whichever piece it is: from x.000,
// or x.001 where there is no x.000, up to the first that does not exist. A later piece present
// after a missing one (the chosen piece among them) is an error naming the missing piece. 0 on
// success, -1 with the reason.
int split_raw_files(const QString& path, QStringList& pieces, QString& error);

// True when path names a piece of a split raw image (a numbered extension, such as .000 or .001,
// with a following or preceding piece beside it).
bool is_split_raw_piece(const QString& path);

} // namespace tarn
