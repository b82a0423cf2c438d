// Time to write and verify a memory image against the simulated board at 9600 baud,
// against the wire limit: per line 71 bytes out and the 5-byte acknowledgement back,
// then the 5-byte Verify and its 7-byte answer, 10 bits a byte.
// The pseudo-terminal takes the tool's bytes at once and krv2sim paces only its own
// replies, so the tool's overhead per line is the time beyond the paced replies; the
// projection adds it to the whole wire time of a real 9600-baud line.
// Usage: bench_memory [runs]
#include "BinaryPage.h"
#include "Form1.h"
#include "Messages.h"
#include "PortNames.h"
#include "SimulatorLauncher.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
double WireSeconds(int bytes) {
    return bytes * 10.0 / 9600.0;
}
} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;

    TSimulator board;
    QString error;
    if (!board.Start(QStringLiteral(KRV2SIM_PATH), {QStringLiteral("--seed"), QStringLiteral("3")},
                     error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    PortNames::SetOverride(QStringLiteral("COM1"), board.DevicePath());
    QString verdict;
    Messages::SetHandler([&verdict](const TMessage& m) {
        verdict = m.text;
        return QMessageBox::Ok;
    });
    TForm1 form;
    form.show();
    form.ComboBox1->setEditText(QStringLiteral("COM1"));
    form.Button2Click();
    if (!form.PortOpened) {
        std::fprintf(stderr, "could not open the simulated board\n");
        return 1;
    }
    form.PageControl1->setCurrentIndex(4);
    TBinaryPage* page = form.TabSheet5;
    QTemporaryDir dir;

    std::printf("lines  write+verify  wire limit  ratio  replies paced  overhead/line  "
                "projected at 9600  ratio   (median of %d runs, 64-byte lines)\n",
                runs);
    for (int lines : {4, 64}) {
        const QString path = dir.filePath(QStringLiteral("image%1.bin").arg(lines));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        QByteArray image(lines * 64, '\0');
        for (int i = 0; i < image.size(); ++i)
            image[i] = static_cast<char>(i * 7 + 1);
        file.write(image);
        file.close();
        page->Edit8->setText(QString::number(lines - 1));
        page->ChooseFile = [path](bool) { return path; };
        page->Button17Click();

        std::vector<double> times;
        for (int run = 0; run < runs; ++run) {
            page->Button20Click();
            QTest::qWait(100);
            verdict.clear();
            QElapsedTimer clock;
            clock.start();
            page->Button19Click();
            if (!QTest::qWaitFor([&] { return page->Image.Phase == TTransferPhase::Done; },
                                 lines * 2000)) {
                std::fprintf(stderr, "write of %d lines did not finish\n", lines);
                return 1;
            }
            page->Button23Click();
            if (!QTest::qWaitFor([&] { return !verdict.isEmpty(); }, 5000) ||
                verdict != QStringLiteral("Verify ok")) {
                std::fprintf(stderr, "verify: %s\n", qPrintable(verdict));
                return 1;
            }
            times.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        }
        std::sort(times.begin(), times.end());
        const double median = times[times.size() / 2];
        const double limit = WireSeconds(lines * (71 + 5) + 5 + 7);
        const double paced = WireSeconds(lines * 5 + 7);
        const double overhead = (median - paced) / lines;
        const double projected = limit + overhead * lines;
        std::printf("%5d  %10.3f s  %8.3f s  %5.2f  %11.3f s  %10.1f ms  %15.3f s  %5.2f\n", lines,
                    median, limit, median / limit, paced, overhead * 1000, projected,
                    projected / limit);
    }
    Messages::SetHandler({});
    return 0;
}
