#include "Reporter.h"

#include "Console.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

TReporter::TReporter(bool asJson, bool isVerbose, std::FILE* outStream, std::FILE* errStream)
    : json(asJson), verbose(isVerbose), out(outStream), err(errStream),
      errTerminal(Console::IsTerminal(errStream)) {}

void TReporter::Line(std::FILE* stream, const QString& text) {
    if (stream == err)
        EndProgress();
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

void TReporter::Result(const QJsonObject& object, const QString& text) {
    Line(out,
         json ? QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) : text);
}

void TReporter::Note(const QString& text) {
    if (verbose)
        Line(err, text);
}

void TReporter::Warn(const QString& text) {
    Line(err, QStringLiteral("krv2ctl: %1").arg(text));
}

int TReporter::Fail(int code, const QString& message) {
    Line(err, QStringLiteral("krv2ctl: %1").arg(message));
    if (json)
        Line(out, QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("error"), message},
                                                              {QStringLiteral("exitCode"), code}})
                                        .toJson(QJsonDocument::Compact)));
    return code;
}

void TReporter::Progress(const QString& what, int done, int total) {
    const int percent = total > 0 ? done * 100 / total : 100;
    if (percent == lastPercent)
        return;
    lastPercent = percent;
    QByteArray text;
    if (errTerminal) {
        constexpr int width = 40;
        const int filled = percent * width / 100;
        text = QStringLiteral("\r%1 [%2%3] %4 % (%5/%6)")
                   .arg(what, QString(filled, QLatin1Char('#')),
                        QString(width - filled, QLatin1Char('.')))
                   .arg(percent, 3)
                   .arg(done)
                   .arg(total)
                   .toUtf8();
        barShown = true;
    } else {
        text = QStringLiteral("%1: %2 %\n").arg(what).arg(percent).toUtf8();
    }
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), err);
    std::fflush(err);
}

void TReporter::EndProgress() {
    lastPercent = -1;
    if (barShown) {
        std::fputc('\n', err);
        barShown = false;
    }
}

bool SaveAtomically(const QString& path, const QByteArray& data, QString& error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    return true;
}

int CheckOutputPath(const QString& path, TReporter& r) {
    if (path.isEmpty())
        return r.Fail(Exit::Usage, QStringLiteral("-o FILE is required"));
    const QFileInfo info(path);
    if (!info.absoluteDir().exists())
        return r.Fail(
            Exit::BadFile,
            QStringLiteral("%1: the folder does not exist").arg(QDir::toNativeSeparators(path)));
    if (info.isDir())
        return r.Fail(Exit::BadFile,
                      QStringLiteral("%1 is a folder").arg(QDir::toNativeSeparators(path)));
    return Exit::Ok;
}
