#pragma once

#include <QProgressBar>

// The device panel's vertical level bar: a progress bar with a red line across the middle of its
// height, which marks the middle of the probe's range.
class MarkedProgressBar : public QProgressBar
{
    Q_OBJECT

public:
    explicit MarkedProgressBar(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};
