// The colour swatch: which clicks open the colour dialog, what an accepted or cancelled dialog
// does, and the outline painted inside the widget on all four sides.

#include "settings/ColorPickerWidget.h"
#include "support/gui/GuiTest.h"
#include "support/gui/ScriptedPrompts.h"

#include <QSignalSpy>

using namespace testsupport;

class TestColorPickerWidget : public QObject
{
    Q_OBJECT

private slots:
    void clicksAndAnswers_data();
    void clicksAndAnswers();
    void paintsAFilledRectangleWithAFullOutline();
};

void TestColorPickerWidget::clicksAndAnswers_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QVariant>("answer");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<QColor>("color");
    QTest::addColumn<int>("announced");

    QTest::newRow("accepted") << int(Qt::LeftButton) << QVariant(QColor(Qt::blue)) << true
                              << QColor(Qt::blue) << 1;
    QTest::newRow("same colour accepted")
        << int(Qt::LeftButton) << QVariant(QColor(Qt::red)) << true << QColor(Qt::red) << 1;
    QTest::newRow("cancelled") << int(Qt::LeftButton) << QVariant() << true << QColor(Qt::red) << 0;
    QTest::newRow("right button") << int(Qt::RightButton) << QVariant(QColor(Qt::blue)) << false
                                  << QColor(Qt::red) << 0;
    QTest::newRow("middle button")
        << int(Qt::MiddleButton) << QVariant(QColor(Qt::blue)) << false << QColor(Qt::red) << 0;
}

void TestColorPickerWidget::clicksAndAnswers()
{
    QFETCH(int, button);
    QFETCH(QVariant, answer);
    QFETCH(bool, asked);
    QFETCH(QColor, color);
    QFETCH(int, announced);
    QWidget page;
    auto *swatch = new ColorPickerWidget(&page);
    QCOMPARE(swatch->size(), QSize(100, 30));
    QCOMPARE(swatch->color, QColor(Qt::red));
    QSignalSpy changed(swatch, &ColorPickerWidget::colorChanged);
    ScriptedPrompts prompts;
    prompts.answers << answer;
    page.show();
    QTest::mouseClick(swatch, Qt::MouseButton(button));
    QCOMPARE(prompts.kinds(), asked ? QStringList {"color"} : QStringList());
    if (asked)
        QCOMPARE(prompts.asked.at(0).title, QStringLiteral("Выбор цвета"));
    QCOMPARE(swatch->color, color);
    QCOMPARE(changed.size(), announced);
    if (announced)
        QCOMPARE(changed.at(0).at(0).value<QColor>(), color);
}

void TestColorPickerWidget::paintsAFilledRectangleWithAFullOutline()
{
    QWidget page;
    auto *swatch = new ColorPickerWidget(&page);
    swatch->color = QColor(Qt::green);
    const QImage image = swatch->grab().toImage();
    const int w = image.width();
    const int h = image.height();
    for (const QPoint corner :
         {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1), QPoint(w - 1, h - 1), QPoint(w / 2, 0),
          QPoint(w / 2, h - 1), QPoint(0, h / 2), QPoint(w - 1, h / 2)})
        QCOMPARE(QColor(image.pixel(corner)), QColor(Qt::black));
    QCOMPARE(QColor(image.pixel(w / 2, h / 2)), QColor(Qt::green));
}

GUI_TEST_MAIN(TestColorPickerWidget)
#include "tst_ColorPickerWidget.moc"
