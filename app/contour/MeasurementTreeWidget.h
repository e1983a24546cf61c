#pragma once

#include "measurements/MeasurementKinds.h"

#include <QStyledItemDelegate>
#include <QTreeWidget>

#include <string>
#include <vector>

class Measurement;

// A delegate that never opens an editor.
class NoEditDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
};

// The result list of a contour window: every listed measurement under one of six fixed group
// rows, each group row showing the mean of the measured values among them. A row keeps its
// measurement's id as user data; the tree owns no measurement and asks the window for deletions and
// parallel lines through its signals. Rows move by drag and drop within their group only; group
// rows can be put in any order among themselves. The order of the rows is the numbering of the
// report.
class MeasurementTreeWidget : public QTreeWidget
{
    Q_OBJECT

public:
    struct ItemRow
    {
        std::string name;
        std::string value;
        QTreeWidgetItem *item = nullptr;
        int id = 0;
    };
    struct GroupRow
    {
        std::string name;
        std::string value;
        std::vector<ItemRow> items;
    };

    explicit MeasurementTreeWidget(QWidget *parent = nullptr);

    // The row of the measurement, appended to its group; the caller keeps it by id.
    QTreeWidgetItem *addMeasurementItem(Measurement *m);
    // Refreshes the value column of the row from its measurement.
    void updateMeasurementItem(QTreeWidgetItem *item, Measurement *m);
    // Recomputes the mean shown on every group row.
    void updateGroups();
    // Asks for the width that shows every name and every value whole: the value column would
    // otherwise be squeezed behind long names and its numbers cut. The width the tree was given
    // is the least it takes.
    void fitToContents();
    // fitToContents once control returns to the event loop.
    void scheduleFit();
    // The calibration layout: a plain header "ИЗМЕРЕНИЕ" | "ЗНАЧЕНИЕ", no editors, no means.
    void setCalibrationMode(bool on);
    bool isCalibrationMode() const { return calibrationMode; }
    // The non-empty groups and their rows, in the tree's current order.
    std::vector<GroupRow> reportRows() const;

    // The six group rows, in their initial order (that of MeasurementGroup).
    QList<QTreeWidgetItem *> groupRows() const;
    bool isGroupRow(const QTreeWidgetItem *item) const;
    // The group row that measurements of the stored kind go to; null for a kind no group lists.
    QTreeWidgetItem *groupForType(int type) const;

signals:
    void deleteMeasurement(int index);
    void equidistant(int index, E_MEASUREMENTS type, double distance);

protected:
    void dropEvent(QDropEvent *event) override;

private:
    void showContextMenu(const QPoint &pos, const QMap<QString, E_MEASUREMENTS> &lineKinds);
    DropIndicatorPosition dropPosition(const QPoint &pos, QTreeWidgetItem *target) const;
    QTreeWidgetItem *makeGroup(const QString &text, const QString &icon);
    // The value a row keeps for the group mean: the measurement's value, or nothing when it has
    // none.
    static QVariant valueData(const Measurement *m);

    // The group rows, by MeasurementGroup (the kinds table gives each row's text and icon).
    QTreeWidgetItem *groups[kMeasurementGroupCount] = {};
    bool calibrationMode = false;
    int givenMinimumWidth = -1;
    bool fitQueued = false;
};
