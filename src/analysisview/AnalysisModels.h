// The analysis window's two tables: one row per record with its label, outlier score
// and twenty values (labels editable), and the statistics of every group, six rows
// each, under the same twenty columns.
#pragma once

#include "WaveStats.h"
#include "WaveTable.h"

#include <QAbstractTableModel>
#include <QStyledItemDelegate>

#include <functional>
#include <vector>

class TMeasurementModel final : public QAbstractTableModel {
public:
    enum TColumn {
        ColRecord,
        ColLength,
        ColKind,
        ColClass,
        ColExcluded,
        ColNote,
        ColScore,
        FirstValueColumn,
    };
    static constexpr int ColumnCount = FirstValueColumn + WaveCaptions::ValueCount;
    // Numbers sort as numbers; a record without a score sorts first.
    static constexpr int SortRole = Qt::UserRole + 1;

    using QAbstractTableModel::QAbstractTableModel;

    // The table's rows with their outliers (one per row); `current` is shown in bold.
    // Rows kept, added or dropped at the end are reported as such, so the view keeps
    // its selection and scroll position while coins come in.
    void Update(const std::vector<TTableRow>& rows, const std::vector<TOutlier>& outliers,
                int current);
    void SetCurrent(int record);
    int RecordAt(int row) const;
    int RowOf(int record) const;

    // A label edited in the table; false when it cannot be kept (the cell stays).
    std::function<bool(int record, const TRecordLabel& label)> OnEdit;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

private:
    std::vector<TTableRow> Rows;
    std::vector<TOutlier> Outliers;
    int Current = -1;
};

class TStatsModel final : public QAbstractTableModel {
public:
    static constexpr int StatsPerGroup = 6; // n, min, max, mean, sd, median
    static constexpr int ColumnCount = 2 + WaveCaptions::ValueCount;

    using QAbstractTableModel::QAbstractTableModel;

    void Update(const std::vector<TGroup>& groups, const std::vector<TStatRow>& stats);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<QString> Groups;
    std::vector<std::array<TStat, WaveCaptions::ValueCount>> Stats; // per group
};

// Picks a class from the three the labels know.
class TClassDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;
};
