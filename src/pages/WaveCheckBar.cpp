#include "WaveCheckBar.h"

#include "Messages.h"
#include "WaveFile.h"
#include "WaveWindowsFile.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QMenu>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>

#include <memory>

namespace {
constexpr int NoneItem = 3;                // Method "None": the board reports no coin
const QColor PassColour(0x00, 0xFF, 0x00); // lime, as lit labels elsewhere
const QColor FailColour(0xFF, 0x40, 0x40);

// A labelled .bwv file, read to make a mask from one of its groups.
bool ReadMaskSource(const QString& path, TMaskSource& source, QString& error) {
    QByteArray block;
    QString warning; // a damaged label trailer: the groups then show it
    if (!WaveFile::ReadLabelled(path, block, source.labels, warning, error))
        return false;
    source.store = std::make_unique<TWaveStore>();
    WaveFile::CopyRecords(block, *source.store);
    source.groups =
        WaveStats::MakeGroups(TWaveTable(*source.store, source.labels), TGrouping::Label);
    if (source.groups.empty()) {
        error = QStringLiteral("%1 holds no record to make a mask from")
                    .arg(QDir::toNativeSeparators(path));
        return false;
    }
    return true;
}

// The mask's group and widening, asked in a small box.
bool AskMaskBox(QWidget* parent, const QStringList& groups, TMaskChoice& choice) {
    QDialog box(parent);
    box.setWindowTitle(QStringLiteral("Mask"));
    auto* form = new QFormLayout(&box);
    auto* group = new QComboBox(&box);
    group->addItems(groups);
    auto* dy = new QSpinBox(&box);
    dy->setRange(0, 255);
    dy->setValue(choice.DeltaY);
    auto* dx = new QSpinBox(&box);
    dx->setRange(0, 50);
    dx->setValue(choice.DeltaX);
    form->addRow(QStringLiteral("Group"), group);
    form->addRow(QStringLiteral("\u00B1 counts (\u0394Y)"), dy);
    form->addRow(QStringLiteral("\u00B1 samples (\u0394X)"), dx);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &box);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
    if (box.exec() != QDialog::Accepted)
        return false;
    choice = {group->currentIndex(), dy->value(), dx->value()};
    return true;
}
} // namespace

TWaveCheckBar::TWaveCheckBar(QWidget* parent) : QWidget(parent) {
    resize(Width, Height);
    CheckButton = new QToolButton(this);
    CheckButton->setText(QStringLiteral("Check"));
    CheckButton->setAutoRaise(true);
    CheckButton->setPopupMode(QToolButton::InstantPopup);
    CheckButton->setGeometry(0, 0, 56, Height);
    auto* menu = new QMenu(CheckButton);
    QAction* windows = menu->addAction(QStringLiteral("Windows file…"));
    QAction* mask = menu->addAction(QStringLiteral("Mask from a .bwv file…"));
    menu->addSeparator();
    StopAction = menu->addAction(QStringLiteral("Stop on fail (Method None)"));
    StopAction->setCheckable(true);
    menu->addSeparator();
    QAction* off = menu->addAction(QStringLiteral("Off"));
    CheckButton->setMenu(menu);

    Verdict = new QLabel(this);
    // The counts keep room for a full store's worth; the reason takes the rest.
    Counts = new QLabel(this);
    const int countsWidth =
        Counts->fontMetrics().horizontalAdvance(QStringLiteral("200 tested, 200 failed (100.0 %)"));
    Counts->setGeometry(Width - countsWidth, 0, countsWidth, Height);
    Verdict->setGeometry(60, 0, Width - countsWidth - 64, Height);
    Verdict->setAutoFillBackground(true);
    ShowVerdict(QStringLiteral("no check"), QColor());
    ShowCounts();

    OpenD = [this](const QString& filter) {
        return QFileDialog::getOpenFileName(this, QString(), QString(), filter);
    };
    AskMask = [this](const QStringList& groups, TMaskChoice& choice) {
        return AskMaskBox(this, groups, choice);
    };

    connect(windows, &QAction::triggered, this, &TWaveCheckBar::ChooseWindows);
    connect(mask, &QAction::triggered, this, &TWaveCheckBar::ChooseMask);
    connect(StopAction, &QAction::toggled, this, &TWaveCheckBar::SetStopOnFail);
    connect(off, &QAction::triggered, this, &TWaveCheckBar::CheckOff);
}

bool TWaveCheckBar::Refuse(const QString& error) {
    Messages::Show(this, {error, QString(), QString(), false});
    return false;
}

bool TWaveCheckBar::LoadWindows(const QString& path) {
    TWindowsSet windows;
    QString error;
    if (!WaveWindowsFile::Read(path, windows, error))
        return Refuse(error);
    check.UseWindows(std::move(windows), QFileInfo(path).fileName());
    ShowVerdict(check.Source(), QColor());
    ShowCounts();
    return true;
}

bool TWaveCheckBar::LoadMask(const QString& path, const QString& group, int deltaY, int deltaX) {
    TMaskSource source;
    QString error;
    if (!ReadMaskSource(path, source, error))
        return Refuse(error);
    const auto found = std::find_if(source.groups.begin(), source.groups.end(),
                                    [&](const TGroup& g) { return g.Name == group; });
    if (found == source.groups.end())
        return Refuse(QStringLiteral("%1 has no record in group %2 to make a mask from")
                          .arg(QDir::toNativeSeparators(path), group));
    UseMask(source, *found, deltaY, deltaX, path);
    return true;
}

void TWaveCheckBar::UseMask(const TMaskSource& source, const TGroup& group, int deltaY, int deltaX,
                            const QString& path) {
    const TWaveTable table(*source.store, source.labels);
    check.UseMask(
        WaveTeach::MakeMask(WaveStats::Envelope(table, group), deltaY, deltaX, group.Name),
        QFileInfo(path).fileName());
    ShowVerdict(check.Source(), QColor());
    ShowCounts();
}

void TWaveCheckBar::ChooseWindows() {
    const QString path = OpenD(QStringLiteral("Windows (*.json)"));
    if (!path.isEmpty())
        LoadWindows(path);
}

void TWaveCheckBar::ChooseMask() {
    const QString path = OpenD(QStringLiteral("*.bwave (*.bwv)"));
    if (path.isEmpty())
        return;
    TMaskSource source;
    QString error;
    if (!ReadMaskSource(path, source, error)) {
        Refuse(error);
        return;
    }
    QStringList names;
    for (const TGroup& g : source.groups)
        names << g.Name;
    TMaskChoice choice;
    if (AskMask(names, choice) && choice.Group >= 0 && choice.Group < names.size())
        UseMask(source, source.groups[static_cast<size_t>(choice.Group)], choice.DeltaY,
                choice.DeltaX, path);
}

void TWaveCheckBar::CheckOff() {
    check.Off();
    ShowVerdict(QStringLiteral("no check"), QColor());
    ShowCounts();
}

void TWaveCheckBar::SetStopOnFail(bool on) {
    check.SetStopOnFail(on);
    if (StopAction->isChecked() != on)
        StopAction->setChecked(on);
}

void TWaveCheckBar::RecordClosed(const TWaveStore& store, int record) {
    const auto outcome = check.RecordClosed(store, record);
    if (!outcome)
        return;
    ShowVerdict(outcome->Text, outcome->Pass ? PassColour : FailColour,
                QStringLiteral("record %1: ").arg(record));
    ShowCounts();
    // Stopped from the event loop, as a click on the item would, once the delivery that
    // closed the record has been read whole.
    if (outcome->Stop)
        QTimer::singleShot(0, this, [this] {
            if (StopMethod)
                StopMethod();
        });
}

void TWaveCheckBar::StoreFull() {
    if (check.Active())
        ShowVerdict(QStringLiteral("store full: New to test on"), FailColour);
}

void TWaveCheckBar::Reset() {
    check.Reset();
    if (check.Active())
        ShowVerdict(check.Source(), QColor());
    ShowCounts();
}

void TWaveCheckBar::MethodChosen(int index) {
    if (index != NoneItem)
        check.Rearm();
}

void TWaveCheckBar::ShowVerdict(const QString& text, const QColor& background,
                                const QString& record) {
    QPalette p = Verdict->palette();
    p.setColor(QPalette::Window,
               background.isValid() ? background : palette().color(QPalette::Window));
    Verdict->setPalette(p);
    // The line is narrow; the whole reason is a hover away.
    Verdict->setText(Verdict->fontMetrics().elidedText(text, Qt::ElideRight, Verdict->width()));
    Verdict->setToolTip(record + text +
                        (check.Active() ? QStringLiteral("\n") + check.Source() : QString()));
}

void TWaveCheckBar::ShowCounts() {
    Counts->setText(check.Counts());
}
