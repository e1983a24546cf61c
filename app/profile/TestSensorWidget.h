#pragma once

#include "processing/ParameterCatalogue.h"

#include <QMap>
#include <QString>
#include <QWidget>

class ProfileTrace;
class QTreeWidgetItem;
class Ui_testSensorWidget;

// The roughness-sensor test: six reference specimens of known Ra (4.19, 1.08, 0.297, 0.07, 0.016
// and 0 µm). Each measured trace marks the reference its Ra lies within tolerance of as passed,
// or the nearest reference as failed; the number of passed references gives the sensor's grade.
// The table is the whole state of the test; it lasts as long as the program runs.
class TestSensorWidget : public QWidget
{
    Q_OBJECT

public:
    explicit TestSensorWidget(QWidget *parent = nullptr);
    ~TestSensorWidget() override;

    // Evaluates the trace's Ra against the table; a trace with additional traces by the mean Ra
    // of its family. A trace whose Ra cannot be computed (too short, say) is refused with a
    // message and changes nothing.
    void measure(ProfileTrace *trace);
    // sensor_number, execution_grade, reference_values, measured_values, in_tolerance.
    QMap<QString, QString> reportData() const;

private:
    void fillReferenceTable();
    void markNearestReference(double ra);
    void markRow(QTreeWidgetItem *item, double ra, bool passed);
    void updateGrade();
    void onSensorNumberChanged(int value);

    ExtraArgs m_args;
    Ui_testSensorWidget *ui;
};
