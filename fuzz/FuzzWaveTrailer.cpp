// Feeds arbitrary bytes to the reader of the label trailer that follows a .bwv block.
// Input: one byte giving the file's record count (modulo 201), one byte whose bit 0
// asks for the tail's length and CRC fields to be set right (so mutations reach the
// entries behind the checksum), then the tail. Whatever comes, the reader either takes
// one whole trailer, which is then exactly what the writer makes of the labels it
// read, or drops every label and says why.
#include "FuzzCheck.h"
#include "WaveLabels.h"

#include <QtEndian>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const int recordCount = data[0] % (TWaveStore::WaveMaxRecords + 1);
    QByteArray tail(reinterpret_cast<const char*>(data + 2), static_cast<qsizetype>(size - 2));
    if ((data[1] & 1) && tail.size() >= WaveTrailer::HeaderSize) {
        const QByteArrayView payload = QByteArrayView(tail).sliced(WaveTrailer::HeaderSize);
        qToLittleEndian<quint32>(static_cast<quint32>(payload.size()), tail.data() + 12);
        qToLittleEndian<quint32>(WaveTrailer::Crc32(payload), tail.data() + 16);
    }
    TWaveLabels labels;
    labels.Set(0, {QStringLiteral("stale"), TCoinClass::Fake, true, QString()});
    QString why;
    switch (WaveTrailer::Read(tail, recordCount, labels, why)) {
    case WaveTrailer::TRead::None:
        FUZZ_REQUIRE(tail.isEmpty() && why.isEmpty() && labels == TWaveLabels());
        break;
    case WaveTrailer::TRead::Read:
        FUZZ_REQUIRE(why.isEmpty());
        FUZZ_REQUIRE(WaveTrailer::Build(labels, recordCount) == tail);
        break;
    case WaveTrailer::TRead::Dropped:
        FUZZ_REQUIRE(!tail.isEmpty() && !why.isEmpty() && labels == TWaveLabels());
        break;
    }
    return 0;
}
