#include "WaveFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>

namespace {
void Put(char* at, int32_t value) {
    qToLittleEndian<qint32>(value, at);
}

int32_t Get(const char* at) {
    return qFromLittleEndian<qint32>(at);
}

QString Named(const QString& path, const QString& what) {
    return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), what);
}

bool ReadBlockFrom(QFile& file, const QString& path, QByteArray& block, QString& error) {
    if (!file.open(QIODevice::ReadOnly)) {
        error = Named(path, file.errorString());
        return false;
    }
    block = file.read(WaveFile::BlockSize);
    if (block.size() != WaveFile::BlockSize) {
        const QString why = file.error() != QFileDevice::NoError
                                ? file.errorString()
                                : QStringLiteral("the file holds %1 bytes; a wave file has %2")
                                      .arg(QFileInfo(file).size())
                                      .arg(WaveFile::BlockSize);
        error = Named(path, why);
        return false;
    }
    const int32_t count = WaveFile::RecordCountOf(block);
    if (count < 0 || count > TWaveStore::WaveMaxRecords) {
        error = Named(path, QStringLiteral("the file names %1 records; a wave file holds 0 to %2")
                                .arg(count)
                                .arg(TWaveStore::WaveMaxRecords));
        return false;
    }
    return true;
}
} // namespace

bool WaveFile::WriteWhole(const QString& path, const QByteArray& bytes, QString& error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = Named(path, file.errorString());
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        error = Named(path, file.errorString());
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error = Named(path, file.errorString());
        return false;
    }
    return true;
}

QByteArray WaveFile::BuildBlock(const TWaveStore& store) {
    QByteArray block(BlockSize, '\0');
    char* out = block.data();
    Put(out, store.RecordCount);
    for (int c = 0; c < TWaveStore::Channels; ++c)
        for (int r = 0; r < TWaveStore::WaveMaxRecords; ++r)
            for (int s = 0; s < TWaveStore::Samples; ++s)
                Put(out + SampleOffset(c, r, s),
                    store.WaveSamples[static_cast<size_t>(c)][static_cast<size_t>(r)]
                                     [static_cast<size_t>(s)]);
    for (int r = 0; r < TWaveStore::WaveMaxRecords; ++r)
        Put(out + LengthsOffset + 4 * r, store.RecordLength[static_cast<size_t>(r)]);
    return block;
}

bool WaveFile::Save(const QString& path, const TWaveStore& store, QString& error) {
    return WriteWhole(path, BuildBlock(store), error);
}

bool WaveFile::Save(const QString& path, const TWaveStore& store, const TWaveLabels& labels,
                    QString& error) {
    return SaveBlock(path, BuildBlock(store), labels, error);
}

bool WaveFile::SaveBlock(const QString& path, const QByteArray& block, const TWaveLabels& labels,
                         QString& error) {
    return WriteWhole(path, block + WaveTrailer::Build(labels, RecordCountOf(block)), error);
}

bool WaveFile::ReadBlock(const QString& path, QByteArray& block, QString& error) {
    QFile file(path);
    return ReadBlockFrom(file, path, block, error);
}

bool WaveFile::ReadLabelled(const QString& path, QByteArray& block, TWaveLabels& labels,
                            QString& warning, QString& error) {
    labels.Clear();
    warning.clear();
    QFile file(path);
    if (!ReadBlockFrom(file, path, block, error))
        return false;
    // One byte more than the longest trailer tells a longer tail from a trailer.
    const QByteArray tail = file.read(WaveTrailer::MaxSize + 1);
    if (file.error() != QFileDevice::NoError) {
        error = Named(path, file.errorString());
        return false;
    }
    QString why;
    if (WaveTrailer::Read(tail, RecordCountOf(block), labels, why) == WaveTrailer::TRead::Dropped)
        warning = Named(path, QStringLiteral("the labels were dropped (%1 bytes after the wave "
                                             "data: %2); the records load without them")
                                  .arg(tail.size())
                                  .arg(why));
    return true;
}

int32_t WaveFile::RecordCountOf(const QByteArray& block) {
    return Get(block.constData());
}

void WaveFile::CopyRecords(const QByteArray& block, TWaveStore& store) {
    const char* in = block.constData();
    const int32_t count = RecordCountOf(block);
    store.RecordCount = count;
    for (int c = 0; c < TWaveStore::Channels; ++c)
        for (int r = 0; r < count; ++r)
            for (int s = 0; s < TWaveStore::Samples; ++s)
                store.WaveSamples[static_cast<size_t>(c)][static_cast<size_t>(r)]
                                 [static_cast<size_t>(s)] = Get(in + SampleOffset(c, r, s));
    for (int r = 0; r < count; ++r)
        store.RecordLength[static_cast<size_t>(r)] = Get(in + LengthsOffset + 4 * r);
}

QString WaveFile::DefaultName(const QDateTime& now) {
    return now.toString(QStringLiteral("yyyyMMdd"));
}
