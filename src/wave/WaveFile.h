// The ".bwv" wave file: the whole store as one fixed block of 1,440,804 bytes, all
// values signed 32-bit little-endian: record count, every sample of all 200 record
// slots (channel-major), then the 200 record lengths. Files move between
// installations unchanged, so the layout is written byte by byte, not from memory.
#pragma once

#include "WaveLabels.h"
#include "WaveStore.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace WaveFile {
constexpr qint64 SamplesOffset = 4;
constexpr qint64 ChannelBytes = qint64{TWaveStore::WaveMaxRecords} * TWaveStore::Samples * 4;
constexpr qint64 RecordBytes = qint64{TWaveStore::Samples} * 4;
constexpr qint64 LengthsOffset = SamplesOffset + ChannelBytes * TWaveStore::Channels;
constexpr qint64 BlockSize = LengthsOffset + qint64{TWaveStore::WaveMaxRecords} * 4;
static_assert(BlockSize == 1'440'804);

// Where sample s of record r, channel c lies in the block.
constexpr qint64 SampleOffset(int c, int r, int s) {
    return SamplesOffset + ChannelBytes * c + RecordBytes * r + 4 * s;
}

QByteArray BuildBlock(const TWaveStore& store);

// Writes `bytes` to `path` whole or not at all (a temporary file renamed over it);
// on failure `error` names the file and says why. Every output file the tool writes
// goes through here.
bool WriteWhole(const QString& path, const QByteArray& bytes, QString& error);

// Writes the block to `path` whole: a temporary file beside it is renamed over it only
// when every byte is written, so a failed save leaves the old file as it was.
// On failure `error` says why, with the file name.
bool Save(const QString& path, const TWaveStore& store, QString& error);

// The same with the labels' trailer after the block (none when no record carries a
// label, so the file stays plain). The block is byte for byte what Save writes.
bool Save(const QString& path, const TWaveStore& store, const TWaveLabels& labels, QString& error);
// Writes `block` as it is, then the labels' trailer: relabelling a file leaves its
// block untouched, slots beyond the count included.
bool SaveBlock(const QString& path, const QByteArray& block, const TWaveLabels& labels,
               QString& error);

// Reads the first block of `path` (bytes beyond are ignored). Refuses a short file and a
// record count outside 0..200, saying why in `error`.
bool ReadBlock(const QString& path, QByteArray& block, QString& error);
// ReadBlock, and the labels from the bytes after the block. When those are not one
// whole, valid label trailer the labels stay empty, `warning` says so once, and the
// block still loads.
bool ReadLabelled(const QString& path, QByteArray& block, TWaveLabels& labels, QString& warning,
                  QString& error);

int32_t RecordCountOf(const QByteArray& block);
// Records 0..count-1 and their lengths from a checked block into the store; the other
// slots keep what they hold. RecordCount becomes the count.
void CopyRecords(const QByteArray& block, TWaveStore& store);

// The name the save dialog proposes: the date as eight digits, 20160305.
QString DefaultName(const QDateTime& now);
} // namespace WaveFile
