// Loads arbitrary bytes as a ".bwv" file: a file shorter than the block or naming a
// record count outside 0..200 is refused with a reason; any other loads, and its
// records hold exactly the file's values. Input: two bytes choosing the file's size
// around the block's (block size − 300 to block size + 211), four bytes of record count,
// then bytes that fill the rest of the file over and over.
#include "FuzzCheck.h"
#include "WaveFile.h"
#include "WaveLabels.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 7)
        return 0;
    static QTemporaryDir dir;
    const qint64 fileSize = WaveFile::BlockSize - 300 + (data[0] * 256 + data[1]) % 512;
    QByteArray file(fileSize, '\0');
    for (qint64 i = 0; i < fileSize; ++i)
        file[i] = static_cast<char>(data[2 + i % static_cast<qint64>(size - 2)]);
    const QString path = dir.filePath(QStringLiteral("f.bwv"));
    {
        QFile out(path);
        FUZZ_REQUIRE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_REQUIRE(out.write(file) == file.size());
    }

    QByteArray block;
    TWaveLabels labels;
    QString warning;
    QString error;
    const bool read = WaveFile::ReadLabelled(path, block, labels, warning, error);
    const int32_t count = qFromLittleEndian<qint32>(file.constData());
    FUZZ_REQUIRE(read == (fileSize >= WaveFile::BlockSize && count >= 0 &&
                          count <= TWaveStore::WaveMaxRecords));
    FUZZ_REQUIRE(read == error.isEmpty());
    // Bytes past the block that are no whole trailer are told once, never taken.
    if (read) {
        TWaveLabels expected;
        QString why;
        const auto trailer = WaveTrailer::Read(file.mid(WaveFile::BlockSize), count, expected, why);
        FUZZ_REQUIRE(warning.isEmpty() == (trailer != WaveTrailer::TRead::Dropped));
        FUZZ_REQUIRE(labels == expected);
    }
    if (!read)
        return 0;
    auto store = std::make_unique<TWaveStore>();
    WaveFile::CopyRecords(block, *store);
    FUZZ_REQUIRE(store->RecordCount == count);
    const QByteArray again = WaveFile::BuildBlock(*store);
    // What was loaded is written back as it stood: the count, every loaded record's
    // samples, and their lengths.
    FUZZ_REQUIRE(again.left(4) == file.left(4));
    for (int c = 0; c < TWaveStore::Channels; ++c) {
        const qint64 at = WaveFile::SampleOffset(c, 0, 0);
        const qint64 n = WaveFile::RecordBytes * count;
        FUZZ_REQUIRE(again.mid(at, n) == file.mid(at, n));
    }
    FUZZ_REQUIRE(again.mid(WaveFile::LengthsOffset, 4 * count) ==
                 file.mid(WaveFile::LengthsOffset, 4 * count));
    return 0;
}
