#include "WavePage.h"

#include "AnalysisWindow.h"
#include "Messages.h"
#include "PageWidgets.h"
#include "WaveActive.h"
#include "WaveCaptions.h"
#include "WaveCheckBar.h"
#include "WaveFile.h"
#include "WavePlot.h"

#include <QButtonGroup>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

namespace {
constexpr auto LogTarget = TLogTarget::ProtocolTx; // the protocol page's TX log
constexpr int MethodWaitMs = 1000;
const char* const WaveFilter = "*.bwave (*.bwv)";
using WaveCaptions::ValueCaptionTexts;

// The column right of the plot: captions, their values, then the buttons in pairs.
constexpr int ColumnLeft = 996;
constexpr int ValueLeft = 1064;
constexpr int PairRight = 1072;
constexpr int ButtonWidth = 72;
constexpr int ButtonHeight = 25;

QPushButton* MakeButton(QWidget* parent, const QString& caption, int x, int y) {
    auto* button = new QPushButton(caption, parent);
    button->setGeometry(x, y, ButtonWidth, ButtonHeight);
    return button;
}

QLabel* MakeValue(QWidget* parent, const QString& text, int y) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(ValueLeft, y, 80, 16);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    return label;
}

// "10c genuine, excluded: chipped"
QString LabelText(const TRecordLabel& label) {
    if (label.IsEmpty())
        return QStringLiteral("no label");
    QString text = (label.Kind.isEmpty() ? QStringLiteral("(no kind)") : label.Kind) +
                   QLatin1Char(' ') + ClassName(label.Class);
    if (label.Excluded)
        text += QStringLiteral(", excluded");
    if (!label.Note.isEmpty())
        text += QStringLiteral(": ") + label.Note;
    return text;
}
} // namespace

TWavePage::TWavePage(TPageHost& pageHost, TWaveStore& waveStore, TWaveLabels& waveLabels,
                     TWaveCapture& waveCapture, QWidget* parent)
    : QWidget(parent), host(pageHost), store(waveStore), labels(waveLabels), capture(waveCapture) {
    // The plot is built with the page, after the store was zeroed: its surfaces,
    // channel selectors and the record count in Label2.
    wavePlot = new TWavePlot(store, this);
    wavePlot->move(0, 4);
    Panel1 = wavePlot;
    plot = wavePlot;

    MakeLabel(this, QStringLiteral("All Layer"), ColumnLeft, 10);
    Label2 = MakeValue(this, QString::number(store.RecordCount), 10);
    MakeLabel(this, QStringLiteral("Now L"), ColumnLeft, 30);
    Label6 = MakeValue(this, QStringLiteral("no"), 30);
    MakeLabel(this, QStringLiteral("Length"), ColumnLeft, 50);
    Label28 = MakeValue(this, QStringLiteral("in_len"), 50);

    btnNew = MakeButton(this, QStringLiteral("New"), ColumnLeft, 78);
    btnDelOne = MakeButton(this, QStringLiteral("Del This"), PairRight, 78);
    Button5 = MakeButton(this, QStringLiteral("Last"), ColumnLeft, 108);
    Button4 = MakeButton(this, QStringLiteral("Next"), PairRight, 108);
    BtnSave = MakeButton(this, QStringLiteral("Save"), ColumnLeft, 138);
    BtnOpen = MakeButton(this, QStringLiteral("Load"), PairRight, 138);

    RadioGroup1 = new QGroupBox(QStringLiteral("Method"), this);
    RadioGroup1->setGeometry(ColumnLeft, 174, 2 * ButtonWidth + 4, 68);
    auto* grid = new QGridLayout(RadioGroup1);
    grid->setContentsMargins(8, 4, 4, 4);
    methodGroup = new QButtonGroup(this);
    const char* const items[] = {"All", "Add", "Reject", "None"};
    for (int i = 0; i < 4; ++i) {
        auto* item = new QRadioButton(QString::fromLatin1(items[i]), RadioGroup1);
        grid->addWidget(item, i / 2, i % 2);
        methodGroup->addButton(item, i);
        MethodItems[static_cast<size_t>(i)] = item;
    }

    // Present on the page but never shown; they share the spare room above the values.
    Button8 = MakeButton(this, QStringLiteral("Start"), ColumnLeft, 250);
    Button12 = MakeButton(this, QStringLiteral("Load one"), PairRight, 250);
    Button14 = MakeButton(this, QStringLiteral("Last"), ColumnLeft, 250);
    btnNext = MakeButton(this, QStringLiteral("Next"), PairRight, 250);
    Label4 = MakeLabel(this, QStringLiteral("Now Layer"), ColumnLeft, 276);
    for (QWidget* hidden :
         std::initializer_list<QWidget*>{Button8, Button12, Button14, btnNext, Label4})
        hidden->setVisible(false);

    // Under the plot, where the page has room: what capture could not file.
    DroppedLabel = MakeLabel(this, QString(), 50, 703);
    DroppedLabel->resize(160, 14);
    AbandonedLabel = MakeLabel(this, QString(), 210, 703);
    AbandonedLabel->resize(160, 14);
    ShowCaptureCounts();
    CheckBar = new TWaveCheckBar(this);
    CheckBar->move(570, 703);
    CheckBar->StopMethod = [this] {
        MethodItems[3]->setChecked(true);
        RadioGroup1Click(3);
    };
    CreateKeepEveryCoin();

    // Free room the design leaves: where the hidden Start and Load one buttons would
    // stand, and the row under the plot right of the capture counts.
    BtnAnalysis = new QPushButton(QStringLiteral("Analysis…"), this);
    BtnAnalysis->setGeometry(ColumnLeft, 258, 2 * ButtonWidth + 4, ButtonHeight);
    // The row under the plot holds the capture counts, keep every coin and the check
    // line; the label run's progress goes under the value rows, and the label of a
    // record in the single-record view above the Analysis button.
    LabelRunLabel = MakeLabel(this, QString(), ColumnLeft, 703);
    LabelRunLabel->resize(2 * ButtonWidth + 12, 14);
    RecordLabel = MakeLabel(this, QString(), ColumnLeft, 243);
    RecordLabel->resize(2 * ButtonWidth + 4, 14);
    RecordLabel->setVisible(false);

    Ticks = [timer = std::make_shared<QElapsedTimer>()] {
        if (!timer->isValid())
            timer->start();
        return timer->elapsed();
    };

    SaveD = [this](const QString& proposed) {
        return QFileDialog::getSaveFileName(this, QString(), proposed,
                                            QString::fromLatin1(WaveFilter));
    };
    OpenD = [this] {
        return QFileDialog::getOpenFileName(this, QString(), QString(),
                                            QString::fromLatin1(WaveFilter));
    };

    connect(btnNew, &QPushButton::clicked, this, &TWavePage::btnNewClick);
    connect(btnDelOne, &QPushButton::clicked, this, &TWavePage::btnDelOneClick);
    connect(Button4, &QPushButton::clicked, this, &TWavePage::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TWavePage::Button5Click);
    connect(BtnSave, &QPushButton::clicked, this, &TWavePage::BtnSaveClick);
    connect(BtnOpen, &QPushButton::clicked, this, &TWavePage::BtnOpenClick);
    connect(Button12, &QPushButton::clicked, this, &TWavePage::Button12Click);
    connect(btnNext, &QPushButton::clicked, this, &TWavePage::btnNextClick);
    connect(Button14, &QPushButton::clicked, this, &TWavePage::Button14Click);
    connect(Button8, &QPushButton::clicked, this, &TWavePage::Button8Click);
    connect(methodGroup, &QButtonGroup::idClicked, this, &TWavePage::RadioGroup1Click);
    connect(methodGroup, &QButtonGroup::idClicked, CheckBar, &TWaveCheckBar::MethodChosen);
    connect(BtnAnalysis, &QPushButton::clicked, this, &TWavePage::BtnAnalysisClick);
}

void TWavePage::CreateValueRows() {
    for (size_t i = 0; i < ValueRows; ++i) {
        for (QLabel* old : {ValueBoxes[i], ValueCaptions[i]}) {
            if (old) {
                old->hide();
                old->deleteLater();
            }
        }
        const int top = 296 + 20 * static_cast<int>(i);
        auto* box = new QLabel(this);
        box->setGeometry(1080, top, 32, 16);
        box->setAutoFillBackground(true);
        QPalette white = box->palette();
        white.setColor(QPalette::Window, Qt::white);
        box->setPalette(white);
        box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        box->show();
        ValueBoxes[i] = box;
        auto* caption = new QLabel(QString::fromLatin1(ValueCaptionTexts[i]), this);
        caption->setGeometry(ColumnLeft, top, 80, 16);
        // The column is 80 pixels wide; a wide font cuts the longer captions.
        caption->setToolTip(caption->text());
        caption->show();
        ValueCaptions[i] = caption;
    }
}

std::span<const int> TWavePage::ReadModes() const {
    static constexpr std::array modes{Mode::Wave};
    return modes;
}

void TWavePage::ReadDelivery(int, std::span<const uint8_t> bytes) {
    ReadWavePackets(bytes);
}

void TWavePage::ReadWavePackets(std::span<const uint8_t> bytes) {
    const int32_t dropped = capture.DroppedPackets;
    const int32_t abandoned = capture.AbandonedRecords;
    const int32_t before = store.RecordCount;
    const TCaptureReport report = capture.ReadWavePackets(bytes, store, *plot, Ticks());
    if (dropped != capture.DroppedPackets || abandoned != capture.AbandonedRecords)
        ShowCaptureCounts();
    if (report.RecordClosed) {
        Label6->setText(QString::number(store.CurrentRecord));
        // One delivery may close more than one coin; a store that rolled over to a
        // file in it was full before, so its records all closed in this delivery.
        const int32_t first = store.RecordCount < before ? 0 : before;
        if (LabelRunActive()) {
            for (int r = first; r < store.RecordCount; ++r)
                labelRun->RecordClosed(r, labels);
            ShowLabelRun();
        }
        for (int r = first; r < store.RecordCount; ++r)
            CheckBar->RecordClosed(store, r);
        RecordsChanged();
        CurrentMoved();
    }
    if (report.StoreFull)
        CheckBar->StoreFull();
    if (report.Filed) {
        Label2->setText(QString::number(store.RecordCount));
        ShowValues(store.LiveWave[0]);
    }
    Label28->setText(QString::number(report.Length));
}

bool TWavePage::Confirm(const QString& text) {
    return Messages::Show(this, {text, QStringLiteral("注意"), QString(), true}) == QMessageBox::Ok;
}

void TWavePage::ShowCaptureCounts() {
    DroppedLabel->setText(QStringLiteral("Packets dropped: %1").arg(capture.DroppedPackets));
    AbandonedLabel->setText(QStringLiteral("Coins abandoned: %1").arg(capture.AbandonedRecords));
}

bool TWavePage::ConfirmReplace() {
    if (store.RecordCount == 0) {
        capture.AbandonRecord(store, *plot);
        ShowCaptureCounts();
        return true;
    }
    if (!Confirm(QStringLiteral("目前資料刪除嗎?")))
        return false;
    capture.AbandonRecord(store, *plot);
    ShowCaptureCounts();
    WaveActive::EmptyStore(store, *plot);
    labels.Clear();
    Label2->setText(QStringLiteral("0"));
    RecordsChanged();
    return true;
}

bool TWavePage::ReadLabelledFile(const QString& name, QByteArray& block, TWaveLabels& read,
                                 QString& warning) {
    QString error;
    if (WaveFile::ReadLabelled(name, block, read, warning, error))
        return true;
    Messages::Show(this, {error, QString(), QString(), false});
    return false;
}

void TWavePage::ShowValues(const std::array<int32_t, TWaveStore::Samples>& channel0) {
    for (size_t i = 0; i < ValueRows; ++i)
        if (ValueBoxes[i])
            ValueBoxes[i]->setText(QString::number(channel0[FirstValueSample + i]));
}

void TWavePage::ShowValueText(const QString& text) {
    for (QLabel* box : ValueBoxes)
        if (box)
            box->setText(text);
}

void TWavePage::ShowCurrentLabels() {
    const int current = store.CurrentRecord;
    const bool valid = current >= 0 && current < store.RecordCount;
    Label6->setText(QString::number(current));
    Label28->setText(QString::number(valid ? store.RecordLength[static_cast<size_t>(current)] : 0));
    if (valid)
        ShowValues(store.WaveSamples[0][static_cast<size_t>(current)]);
    else
        ShowValueText(QStringLiteral("0"));
}

void TWavePage::SetButtonsForView(bool single) {
    for (QPushButton* button : {BtnSave, Button5, Button4, btnDelOne})
        button->setEnabled(!single);
    btnNext->setEnabled(single);
    Button14->setEnabled(single);
}

void TWavePage::btnNewClick() {
    if (Confirm(QStringLiteral("刪除全部資料嗎?"))) {
        // Counted afresh, the coin that New cuts short included.
        capture.ResetCounts();
        CheckBar->Reset();
        capture.AbandonRecord(store, *plot);
        ShowCaptureCounts();
        WaveActive::New(store, *plot);
        labels.Clear();
        Label2->setText(QStringLiteral("0"));
        Label6->setText(QStringLiteral("0"));
        Label28->setText(QStringLiteral("0"));
        RecordLabel->setVisible(false);
        RecordsChanged();
    }
    ShowValueText(QStringLiteral(" "));
}

void TWavePage::btnDelOneClick() {
    // The record on screen now is the one the user agrees to delete: capture goes on
    // while the box is open and may make a newer coin current.
    const int shownRecord = store.CurrentRecord;
    const bool any = shownRecord >= 0 && shownRecord < store.RecordCount;
    const auto record = any ? WaveActive::RecordAt(store, shownRecord) : TWaveRecord{};
    if (!Confirm(QStringLiteral("刪除這筆資料嗎?")))
        return;
    if (any &&
        (shownRecord >= store.RecordCount || WaveActive::RecordAt(store, shownRecord) != record)) {
        Messages::Show(this, {QStringLiteral("The record shown is no longer in the store: nothing "
                                             "was deleted."),
                              QString(), QString(), false});
        return;
    }
    if (!any) {
        Label2->setText(QString::number(store.RecordCount));
        return;
    }
    // The record being filled sits behind the last one, which the delete moves.
    capture.AbandonRecord(store, *plot);
    ShowCaptureCounts();
    store.CurrentRecord = shownRecord;
    // The last record moves into the deleted one's slot; its label goes with it.
    const int last = store.RecordCount - 1;
    WaveActive::DelThis(store, *plot);
    if (shownRecord == last)
        labels.Set(last, TRecordLabel{});
    else
        labels.MoveRecord(last, shownRecord);
    Label2->setText(QString::number(store.RecordCount));
    ShowCurrentLabels();
    RecordsChanged();
    CurrentMoved();
}

void TWavePage::Button4Click() {
    if (WaveActive::Next(store, *plot)) {
        ShowCurrentLabels();
        CurrentMoved();
    }
}

void TWavePage::Button5Click() {
    if (WaveActive::Last(store, *plot)) {
        ShowCurrentLabels();
        CurrentMoved();
    }
}

void TWavePage::BtnSaveClick() {
    const QString proposed = WaveFile::DefaultName(Clock());
    if (store.RecordCount == 0) {
        Messages::Show(this, {QStringLiteral("無資料"), QString(), QString(), false});
        return;
    }
    const QString chosen = SaveD(proposed);
    if (chosen.isEmpty())
        return;
    // The extension is always appended, so a name typed as x.bwv is saved as x.bwv.bwv.
    QString error;
    if (!WaveFile::Save(chosen + QStringLiteral(".bwv"), store, labels, error))
        Messages::Show(this, {error, QString(), QString(), false});
}

void TWavePage::BtnOpenClick() {
    if (!ConfirmReplace())
        return;
    store.SingleRecordView = false;
    const QString name = OpenD();
    if (name.isEmpty())
        return;
    window()->setWindowTitle(name);
    QByteArray block;
    TWaveLabels read;
    QString warning;
    if (!ReadLabelledFile(name, block, read, warning))
        return;
    // Packets may have come while the dialog was open.
    capture.AbandonRecord(store, *plot);
    ShowCaptureCounts();
    WaveActive::Load(store, *plot, block);
    labels = read;
    Label6->setText(QString::number(store.CurrentRecord));
    Label2->setText(QString::number(store.RecordCount));
    SetButtonsForView(false);
    RecordLabel->setVisible(false);
    if (store.RecordCount > 0)
        ShowValues(store.WaveSamples[0][static_cast<size_t>(store.CurrentRecord)]);
    else
        ShowValueText(QStringLiteral("0"));
    RecordsChanged();
    CurrentMoved();
    // The records are in; what was wrong with the labels is said once.
    if (!warning.isEmpty())
        Messages::Show(this, {warning, QString(), QString(), false});
}

void TWavePage::Button12Click() {
    store.SingleTraceDrawing = true;
    if (!ConfirmReplace())
        return;
    const QString name = OpenD();
    if (name.isEmpty())
        return;
    QByteArray block;
    TWaveLabels read;
    QString warning;
    if (!ReadLabelledFile(name, block, read, warning))
        return;
    capture.AbandonRecord(store, *plot);
    ShowCaptureCounts();
    WaveActive::LoadOne(store, *plot, block);
    labels = read;
    Label2->setText(QString::number(store.RecordCount));
    Label4->setText(QStringLiteral("1"));
    SetButtonsForView(true);
    ShowRecordLabel();
    RecordsChanged();
    CurrentMoved();
    if (!warning.isEmpty())
        Messages::Show(this, {warning, QString(), QString(), false});
}

void TWavePage::btnNextClick() {
    if (WaveActive::BrowseNext(store, *plot)) {
        Label4->setText(QString::number(store.BrowseIndex + 1));
        ShowRecordLabel();
        CurrentMoved();
    }
}

void TWavePage::Button14Click() {
    if (WaveActive::BrowseLast(store, *plot)) {
        Label4->setText(QString::number(store.BrowseIndex + 1));
        ShowRecordLabel();
        CurrentMoved();
    }
}

void TWavePage::Button8Click() {
    SendRequest(host, Request::StartWave, 0, LogTarget);
}

void TWavePage::RadioGroup1Click(int index) {
    if (index < 0 || index >= static_cast<int>(Request::RawMethods.size()))
        return;
    SendRequest(host, Request::StartWave, 0, LogTarget);
    // A second between the start frame and the method bytes; the window waits it out.
    host.BlockingWait(MethodWaitMs);
    // The prefix and its code are one request: a code byte alone would be read by the
    // board as something else. A stalled port is reported by the window.
    if (host.OutputChar(static_cast<char>(Request::RawPrefix)))
        host.OutputChar(static_cast<char>(Request::RawMethods[static_cast<size_t>(index)]));
}

void TWavePage::BtnAnalysisClick() {
    if (!Analysis)
        Analysis = new TAnalysisWindow(*this, this);
    Analysis->show();
    Analysis->raise();
    Analysis->activateWindow();
}

TPlot& TWavePage::Plot() {
    return wavePlot->Plot();
}

bool TWavePage::SetLabel(int record, const TRecordLabel& label) {
    if (record < 0 || record >= store.RecordCount || !labels.Set(record, label))
        return false;
    if (store.SingleRecordView)
        ShowRecordLabel();
    RecordsChanged();
    return true;
}

void TWavePage::ShowRecord(int record) {
    if (store.SingleRecordView) {
        if (!WaveActive::BrowseTo(store, *plot, record))
            return;
        Label4->setText(QString::number(store.BrowseIndex + 1));
        ShowRecordLabel();
    } else {
        if (!WaveActive::MakeCurrent(store, *plot, record))
            return;
        ShowCurrentLabels();
    }
    CurrentMoved();
}

void TWavePage::StartLabelRun(const TRecordLabel& label, int count) {
    labelRun.emplace(label, count);
    runActive = count > 0;
    ShowLabelRun();
}

void TWavePage::StopLabelRun() {
    runActive = false;
    ShowLabelRun();
}

QString TWavePage::LabelRunProgress() const {
    if (!labelRun)
        return QString();
    if (!runActive && !labelRun->Done())
        return labelRun->Progress() + QStringLiteral(" (stopped)");
    return labelRun->Progress();
}

void TWavePage::ShowLabelRun() {
    // The column is narrow: the progress alone, its meaning in the tooltip.
    LabelRunLabel->setText(LabelRunProgress());
    LabelRunLabel->setToolTip(labelRun ? QStringLiteral("Labelling the coins as they close: ") +
                                             LabelRunProgress()
                                       : QString());
    if (Analysis)
        Analysis->LabelRunChanged();
}

void TWavePage::ShowRecordLabel() {
    const bool shown = store.SingleRecordView && store.RecordCount > 0;
    RecordLabel->setVisible(shown);
    if (!shown)
        return;
    const QString text = LabelText(labels.At(store.BrowseIndex));
    RecordLabel->setText(text);
    RecordLabel->setToolTip(text);
}

void TWavePage::RecordsChanged() {
    if (Analysis)
        Analysis->SourceChanged();
}

void TWavePage::CurrentMoved() {
    if (Analysis)
        Analysis->CurrentChanged();
}
