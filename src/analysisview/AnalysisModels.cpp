#include "AnalysisModels.h"

#include "WaveCsv.h"

#include <QBrush>
#include <QComboBox>
#include <QFont>

namespace {
const QColor FlaggedBackground(255, 224, 178);
const QColor OddGroupBackground(238, 242, 248);

const char* const StatNames[TStatsModel::StatsPerGroup] = {"n",    "min", "max",
                                                           "mean", "sd",  "median"};

QString FeatureName(int feature) {
    if (feature < 0)
        return QString();
    static const char* const parts[] = {"lowest sample", "highest sample", "mean"};
    return QStringLiteral("ch%1 %2").arg(feature / 3).arg(QString::fromLatin1(parts[feature % 3]));
}

QString Decimal(double v) {
    return QString::fromLatin1(WaveCsv::Decimal3(v));
}
} // namespace

void TMeasurementModel::Update(const std::vector<TTableRow>& rows,
                               const std::vector<TOutlier>& outliers, int current) {
    const int before = static_cast<int>(Rows.size());
    const int after = static_cast<int>(rows.size());
    if (after > before) {
        beginInsertRows({}, before, after - 1);
        Rows = rows;
        Outliers = outliers;
        endInsertRows();
    } else if (after < before) {
        beginRemoveRows({}, after, before - 1);
        Rows = rows;
        Outliers = outliers;
        endRemoveRows();
    } else {
        Rows = rows;
        Outliers = outliers;
    }
    Outliers.resize(Rows.size());
    Current = current;
    const int kept = std::min(before, after);
    if (kept > 0)
        Q_EMIT dataChanged(index(0, 0), index(kept - 1, ColumnCount - 1));
}

void TMeasurementModel::SetCurrent(int record) {
    if (record == Current)
        return;
    const int old = RowOf(Current);
    Current = record;
    for (const int row : {old, RowOf(record)})
        if (row >= 0)
            Q_EMIT dataChanged(index(row, 0), index(row, ColumnCount - 1), {Qt::FontRole});
}

int TMeasurementModel::RecordAt(int row) const {
    return row >= 0 && row < static_cast<int>(Rows.size()) ? Rows[static_cast<size_t>(row)].Record
                                                           : -1;
}

int TMeasurementModel::RowOf(int record) const {
    for (size_t i = 0; i < Rows.size(); ++i)
        if (Rows[i].Record == record)
            return static_cast<int>(i);
    return -1;
}

int TMeasurementModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(Rows.size());
}

int TMeasurementModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TMeasurementModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(Rows.size()))
        return {};
    const TTableRow& row = Rows[static_cast<size_t>(index.row())];
    const TOutlier& outlier = Outliers[static_cast<size_t>(index.row())];
    const int column = index.column();
    if (role == Qt::BackgroundRole)
        return outlier.Flagged ? QVariant(QBrush(FlaggedBackground)) : QVariant();
    if (role == Qt::FontRole) {
        if (row.Record != Current)
            return {};
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    if (role == Qt::ToolTipRole && column == ColScore && outlier.Score)
        return QStringLiteral("farthest from its group in %1%2")
            .arg(FeatureName(outlier.Feature),
                 outlier.Flagged ? QStringLiteral(": an outlier") : QString());
    if (role == Qt::CheckStateRole && column == ColExcluded)
        return row.Label.Excluded ? Qt::Checked : Qt::Unchecked;
    if (role == Qt::TextAlignmentRole)
        return column == ColKind || column == ColClass || column == ColNote
                   ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                   : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::EditRole && role != SortRole)
        return {};
    switch (column) {
    case ColRecord:
        return row.Record;
    case ColLength:
        return row.Length;
    case ColKind:
        return row.Label.Kind;
    case ColClass:
        return ClassName(row.Label.Class);
    case ColExcluded:
        return role == SortRole ? QVariant(row.Label.Excluded ? 1 : 0) : QVariant();
    case ColNote:
        return row.Label.Note;
    case ColScore:
        if (role == SortRole)
            return outlier.Score ? *outlier.Score : -1.0;
        return outlier.Score ? QVariant(QString::number(*outlier.Score, 'f', 1) +
                                        (outlier.Flagged ? QStringLiteral(" !") : QString()))
                             : QVariant();
    default:
        return row.Values[static_cast<size_t>(column - FirstValueColumn)];
    }
}

QVariant TMeasurementModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const names[] = {"record",   "length", "kind",   "class",
                                        "excluded", "note",   "outlier"};
    if (section < FirstValueColumn)
        return QString::fromLatin1(names[section]);
    return WaveTable::Caption(section - FirstValueColumn);
}

Qt::ItemFlags TMeasurementModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    switch (index.column()) {
    case ColKind:
    case ColClass:
    case ColNote:
        return f | Qt::ItemIsEditable;
    case ColExcluded:
        return f | Qt::ItemIsUserCheckable;
    default:
        return f;
    }
}

bool TMeasurementModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.row() >= static_cast<int>(Rows.size()) || !OnEdit)
        return false;
    TTableRow& row = Rows[static_cast<size_t>(index.row())];
    TRecordLabel label = row.Label;
    switch (index.column()) {
    case ColKind:
        if (role != Qt::EditRole)
            return false;
        label.Kind = value.toString().trimmed();
        break;
    case ColClass: {
        if (role != Qt::EditRole)
            return false;
        const auto c = ClassFromName(value.toString().trimmed());
        if (!c)
            return false;
        label.Class = *c;
        break;
    }
    case ColExcluded:
        if (role != Qt::CheckStateRole)
            return false;
        label.Excluded = value.toInt() == Qt::Checked;
        break;
    case ColNote:
        if (role != Qt::EditRole)
            return false;
        label.Note = value.toString();
        break;
    default:
        return false;
    }
    if (label == row.Label)
        return true;
    if (!OnEdit(row.Record, label))
        return false;
    row.Label = label;
    Q_EMIT dataChanged(this->index(index.row(), ColKind), this->index(index.row(), ColNote));
    return true;
}

void TStatsModel::Update(const std::vector<TGroup>& groups, const std::vector<TStatRow>& stats) {
    beginResetModel();
    Groups.clear();
    for (const TGroup& g : groups)
        Groups.push_back(g.Name);
    Stats.assign(Groups.size(), {});
    for (const TStatRow& s : stats)
        if (s.Group >= 0 && s.Group < static_cast<int>(Stats.size()) && s.Measurement >= 0 &&
            s.Measurement < WaveCaptions::ValueCount)
            Stats[static_cast<size_t>(s.Group)][static_cast<size_t>(s.Measurement)] = s.Stat;
    endResetModel();
}

int TStatsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(Groups.size()) * StatsPerGroup;
}

int TStatsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TStatsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    const auto group = static_cast<size_t>(index.row() / StatsPerGroup);
    const int which = index.row() % StatsPerGroup;
    if (group >= Groups.size())
        return {};
    if (role == Qt::BackgroundRole)
        return group % 2 == 1 ? QVariant(QBrush(OddGroupBackground)) : QVariant();
    if (role == Qt::TextAlignmentRole)
        return index.column() < 2 ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                                  : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    if (index.column() == 0)
        return Groups[group];
    if (index.column() == 1)
        return QString::fromLatin1(StatNames[which]);
    const TStat& s = Stats[group][static_cast<size_t>(index.column() - 2)];
    switch (which) {
    case 0:
        return s.N;
    case 1:
        return s.Min;
    case 2:
        return s.Max;
    case 3:
        return Decimal(s.Mean);
    case 4:
        return s.Sd ? Decimal(*s.Sd) : QStringLiteral("-");
    default:
        return Decimal(s.Median);
    }
}

QVariant TStatsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (section == 0)
        return QStringLiteral("group");
    if (section == 1)
        return QStringLiteral("statistic");
    return WaveTable::Caption(section - 2);
}

QWidget* TClassDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                      const QModelIndex&) const {
    auto* box = new QComboBox(parent);
    for (const TCoinClass c : {TCoinClass::Unknown, TCoinClass::Genuine, TCoinClass::Fake})
        box->addItem(ClassName(c));
    return box;
}

void TClassDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    auto* box = static_cast<QComboBox*>(editor);
    box->setCurrentIndex(std::max(0, box->findText(index.data(Qt::EditRole).toString())));
}

void TClassDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                  const QModelIndex& index) const {
    model->setData(index, static_cast<QComboBox*>(editor)->currentText(), Qt::EditRole);
}
