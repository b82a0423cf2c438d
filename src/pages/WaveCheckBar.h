// One line of the Get_Wave page that tests every coin as its record closes: PASS or
// FAIL with the reason, against a windows file taught by `krv2ctl wave teach` or a
// mask made from a labelled .bwv file's envelope, the counts of the run, and an
// optional stop of the board's reports on the first failure. The page hosts it with a
// few calls; the test itself is TLiveCheck.
#pragma once

#include "WaveLiveCheck.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QAction;
class QLabel;
class QToolButton;

// A labelled .bwv file and its groups, to make a mask from.
struct TMaskSource {
    std::unique_ptr<TWaveStore> store;
    TWaveLabels labels;
    std::vector<TGroup> groups;
};

struct TMaskChoice {
    int Group = 0; // index into the groups offered
    int DeltaY = 5;
    int DeltaX = 2;
};

class TWaveCheckBar : public QWidget {
public:
    static constexpr int Width = 405;
    static constexpr int Height = 14;

    explicit TWaveCheckBar(QWidget* parent = nullptr);

    // Each false, with a box saying why, keeping the test in force.
    bool LoadWindows(const QString& path);
    bool LoadMask(const QString& path, const QString& group, int deltaY, int deltaX);
    void CheckOff();
    void SetStopOnFail(bool on);

    // The page's news: a record closed, a coin came to a full store, New, a Method.
    void RecordClosed(const TWaveStore& store, int record);
    void StoreFull();
    void Reset();
    void MethodChosen(int index);

    // Sets Method to None, as its item would; called once per armed stop.
    std::function<void()> StopMethod;
    // The open dialog (with its filter) and the mask's group and widening; tests answer them.
    std::function<QString(const QString& filter)> OpenD;
    std::function<bool(const QStringList& groups, TMaskChoice& choice)> AskMask;

    const TLiveCheck& Check() const { return check; }
    QToolButton* CheckButton = nullptr;
    QAction* StopAction = nullptr;
    QLabel* Verdict = nullptr;
    QLabel* Counts = nullptr;

private:
    void ChooseWindows();
    void ChooseMask();
    void UseMask(const TMaskSource& source, const TGroup& group, int deltaY, int deltaX,
                 const QString& path);
    // `record` ("record 12: ") goes into the tooltip only: the line is short.
    void ShowVerdict(const QString& text, const QColor& background,
                     const QString& record = QString());
    void ShowCounts();
    bool Refuse(const QString& error);

    TLiveCheck check;
};
