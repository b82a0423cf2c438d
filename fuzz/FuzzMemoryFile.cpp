// Loads arbitrary bytes as a ".bin" memory image: the lines loaded are the file's whole
// lines and nothing else, and the CRC the Verify check uses is that of those bytes.
// Input: one byte choosing the line length (1..64), then the file's contents.
#include "FuzzCheck.h"
#include "MemoryImage.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace {
// CRC-16/XMODEM bit by bit, apart from the image's own.
uint16_t ReferenceCrc(const char* bytes, qsizetype n) {
    uint16_t crc = 0;
    for (qsizetype i = 0; i < n; ++i) {
        crc ^= static_cast<uint16_t>(static_cast<uint8_t>(bytes[i]) << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    static QTemporaryDir dir;
    const int length = data[0] % 64 + 1;
    const QByteArray content(reinterpret_cast<const char*>(data + 1),
                             static_cast<qsizetype>(size - 1));
    const QString path = dir.filePath(QStringLiteral("image.bin"));
    {
        QFile file(path);
        FUZZ_REQUIRE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_REQUIRE(file.write(content) == content.size());
    }

    TMemoryImage image;
    (*image.WriteImage)[0].fill(0xEE); // an earlier file's line
    const TFileOutcome outcome = image.OpenBinary(path, length);
    const qsizetype whole = content.size() / length;
    FUZZ_REQUIRE(outcome.status == TFileOutcome::Status::Ok);
    FUZZ_REQUIRE(outcome.lines == whole);
    FUZZ_REQUIRE(outcome.extraBytes == content.size() % length);
    FUZZ_REQUIRE(image.BinaryLoaded == (whole > 0));
    if (whole == 0)
        return 0;
    image.BuildAddressList(0, 0, 0, static_cast<int>(whole) - 1);
    const auto crc = image.WriteImageCrc(length);
    FUZZ_REQUIRE(crc && *crc == ReferenceCrc(content.constData(), whole * length));
    // One line more than the file holds is all zeros: nothing of the earlier file.
    image.BuildAddressList(0, 0, 0, static_cast<int>(whole));
    const QByteArray padded = content.left(whole * length) + QByteArray(length, '\0');
    FUZZ_REQUIRE(*image.WriteImageCrc(length) == ReferenceCrc(padded.constData(), padded.size()));
    return 0;
}
