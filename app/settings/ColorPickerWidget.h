#pragma once

#include <QColor>
#include <QWidget>

// A colour swatch: a filled rectangle with a black outline. A left click opens the colour
// dialog ("Выбор цвета"); a colour accepted there (even the same one) becomes the swatch's colour
// and is announced with colorChanged. Setting `color` directly announces nothing.
class ColorPickerWidget : public QWidget
{
    Q_OBJECT

public:
    explicit ColorPickerWidget(QWidget *parent = nullptr);

    QColor color = Qt::red;

signals:
    void colorChanged(QColor color);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};
