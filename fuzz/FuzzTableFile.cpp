// Reads arbitrary text as a `krv2ctl table write` document. What the text reader accepts
// the document reader accepts too, with the same nine frames; what either refuses comes
// with a reason. Nothing may be read past the text or converted out of range.
#include "FuzzCheck.h"
#include "TableJson.h"

#include <QJsonDocument>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QString problem;
    const auto frames = FramesFromText(text, problem);
    FUZZ_REQUIRE(frames.has_value() == problem.isEmpty());
    if (!frames)
        return 0;
    const QJsonDocument document = QJsonDocument::fromJson(text);
    FUZZ_REQUIRE(document.isObject());
    QString again;
    const auto fromDocument = FramesFromJson(document.object(), again);
    FUZZ_REQUIRE(fromDocument && *fromDocument == *frames);
    return 0;
}
