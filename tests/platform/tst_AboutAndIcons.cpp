// The About window and the compiled-in icon bundle.

#include "InfoWindow.h"
#include "core/AbstractTrace.h"
#include "platform/Platform.h"
#include "support/TempSettings.h"
#include "support/gui/GuiTest.h"
#include "support/gui/WindowGrab.h"

#include <QDirIterator>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QResource>

using namespace testsupport;

namespace {
// The bundle, name by name, as the windows load it from ":/icons/icons/".
const QStringList kIconNames = {QStringLiteral("1_1.png"),
                                QStringLiteral("2dot_line.png"),
                                QStringLiteral("Circle.png"),
                                QStringLiteral("Circle_input Radius.png"),
                                QStringLiteral("Horizontal_line.png"),
                                QStringLiteral("Max_point.png"),
                                QStringLiteral("MidLine.png"),
                                QStringLiteral("Min_point.png"),
                                QStringLiteral("Point.png"),
                                QStringLiteral("Ra.png"),
                                QStringLiteral("Rader_2zelect.png"),
                                QStringLiteral("Rader_2zelect_filter.png"),
                                QStringLiteral("Rz.png"),
                                QStringLiteral("Spine_left_black.png"),
                                QStringLiteral("Spine_left_red.png"),
                                QStringLiteral("Spine_right_black.png"),
                                QStringLiteral("Spine_right_red.png"),
                                QStringLiteral("Vertical_line.png"),
                                QStringLiteral("angle.png"),
                                QStringLiteral("cutsel.png"),
                                QStringLiteral("ddist.png"),
                                QStringLiteral("favicon.ico"),
                                QStringLiteral("favicon.png"),
                                QStringLiteral("flat.png"),
                                QStringLiteral("flatByTwoSelection.png"),
                                QStringLiteral("flat_absent.png"),
                                QStringLiteral("hangle.png"),
                                QStringLiteral("hdist.png"),
                                QStringLiteral("kontur_down_black.png"),
                                QStringLiteral("kontur_down_red.png"),
                                QStringLiteral("kontur_up_black.png"),
                                QStringLiteral("kontur_up_red.png"),
                                QStringLiteral("lineerr.png"),
                                QStringLiteral("mbwd.png"),
                                QStringLiteral("mdown.png"),
                                QStringLiteral("mdownz.png"),
                                QStringLiteral("mfwd.png"),
                                QStringLiteral("mheight.png"),
                                QStringLiteral("mid_point.png"),
                                QStringLiteral("min-max.png"),
                                QStringLiteral("min-max_Монтажная область 1.png"),
                                QStringLiteral("mleft.png"),
                                QStringLiteral("mright.png"),
                                QStringLiteral("mup.png"),
                                QStringLiteral("mupz.png"),
                                QStringLiteral("open.png"),
                                QStringLiteral("pan.png"),
                                QStringLiteral("print.png"),
                                QStringLiteral("pts.png"),
                                QStringLiteral("rad.png"),
                                QStringLiteral("radarc.png"),
                                QStringLiteral("raderFilter1.png"),
                                QStringLiteral("raderr.png"),
                                QStringLiteral("raderrFilter2.png"),
                                QStringLiteral("raderr_R.png"),
                                QStringLiteral("reset.png"),
                                QStringLiteral("rline.png"),
                                QStringLiteral("rline_s.png"),
                                QStringLiteral("save.png"),
                                QStringLiteral("scale_x.png"),
                                QStringLiteral("scale_y.png"),
                                QStringLiteral("select.png"),
                                QStringLiteral("select_z.png"),
                                QStringLiteral("settings.png"),
                                QStringLiteral("table_back_black.png"),
                                QStringLiteral("table_back_red.png"),
                                QStringLiteral("table_fwd_black.png"),
                                QStringLiteral("table_fwd_red.png"),
                                QStringLiteral("text_placement.png"),
                                QStringLiteral("vangle.png"),
                                QStringLiteral("vdist.png"),
                                QStringLiteral("vdistmax.png"),
                                QStringLiteral("vdistmax1.png"),
                                QStringLiteral("vintor.png"),
                                QStringLiteral("Ресурс 5.png"),
                                QStringLiteral("Ресурс 6.png"),
                                QStringLiteral("Ресурс 70.png"),
                                QStringLiteral("Ресурс 71.png"),
                                QStringLiteral("Эту иконку.png")};
} // namespace

class TestAboutAndIcons : public QObject
{
    Q_OBJECT

private slots:
    void versionByDeviceKind_data();
    void versionByDeviceKind();
    void windowIsFixedAndCloses();
    void bundleHoldsEveryIcon();
    void faviconIsStoredCompressed();
    void registrationIsIdempotent();
};

void TestAboutAndIcons::versionByDeviceKind_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("version");
    QTest::newRow("contourograph") << int(CONTOUR) << "Версия: 2.0.4";
    QTest::newRow("contourograph with roughness sensor") << int(CONTOURPROF) << "Версия: 2.0.4";
    QTest::newRow("profilometer") << int(PROFILE) << "Версия: 10.0.0";
    QTest::newRow("additional trace kind") << int(ADDITIONAL_TRACE) << "Версия: 10.0.0";
}

void TestAboutAndIcons::versionByDeviceKind()
{
    QFETCH(int, kind);
    QFETCH(QString, version);
    TempSettings settings([=](Settings &s) { s.device.device_type = kind; });
    InfoWindow window;
    QStringList texts;
    for (QLabel *label : window.findChildren<QLabel *>()) {
        texts << label->text();
        QCOMPARE(label->alignment(), Qt::AlignCenter);
    }
    QCOMPARE(texts.value(0), QStringLiteral("Информация о программе"));
    QVERIFY2(texts.contains(version), qPrintable(texts.join(" | ")));
    const GrabResult grab = grabWindow(&window, QStringLiteral("about_%1").arg(kind));
    VERIFY_GRAB(grab);
    // Every line fits the fixed width.
    for (QLabel *label : window.findChildren<QLabel *>())
        QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
                 qPrintable(label->text()
                            + QStringLiteral(" %1 > %2")
                                  .arg(label->fontMetrics().horizontalAdvance(label->text()))
                                  .arg(label->width())));
}

void TestAboutAndIcons::windowIsFixedAndCloses()
{
    TempSettings settings;
    QWidget parent;
    InfoWindow window(&parent);
    QCOMPARE(window.windowTitle(), QStringLiteral("О программе"));
    QCOMPARE(window.minimumSize(), QSize(300, 200));
    QCOMPARE(window.maximumSize(), QSize(300, 200));
    QVERIFY(window.isModal());
    QVERIFY(!window.windowFlags().testFlag(Qt::WindowContextHelpButtonHint));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy accepted(&window, &QDialog::accepted);
    auto *close = window.findChild<QPushButton *>();
    QCOMPARE(close->text(), QStringLiteral("Закрыть"));
    close->click();
    QCOMPARE(accepted.count(), 1);
    QVERIFY(!window.isVisible());
}

void TestAboutAndIcons::bundleHoldsEveryIcon()
{
    QStringList found;
    QDirIterator it(QStringLiteral(":/icons/icons"));
    while (it.hasNext()) {
        it.next();
        found << it.fileName();
    }
    found.sort();
    QStringList expected = kIconNames;
    expected.sort();
    QCOMPARE(found, expected);
    for (const QString &name : kIconNames) {
        const QString path = QStringLiteral(":/icons/icons/") + name;
        QImageReader reader(path);
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(path + ": " + reader.errorString()));
        QVERIFY2(image.width() >= 16 && image.height() >= 16, qPrintable(path));
        // Every picture draws something.
        QVERIFY2(inkRatio(image) > 0.02, qPrintable(path));
        if (name.endsWith(QLatin1String(".png")))
            QCOMPARE(QImageReader::imageFormat(path), QByteArray("png"));
    }
}

void TestAboutAndIcons::faviconIsStoredCompressed()
{
    const QString path = QStringLiteral(":/icons/icons/favicon.ico");
    QResource resource(path);
    QVERIFY(resource.isValid());
    QCOMPARE(resource.compressionAlgorithm(), QResource::ZlibCompression);
    QVERIFY(resource.size() < resource.uncompressedSize());
    // Read through a file, the icon comes back inflated.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.size(), int(resource.uncompressedSize()));
    QCOMPARE(bytes.left(4), QByteArray("\x00\x00\x01\x00", 4));
    QImage icon;
    QVERIFY(icon.loadFromData(bytes, "ICO"));
    QCOMPARE(icon.size(), QSize(32, 32));
    // The PNG pictures are stored as they are.
    QCOMPARE(QResource(QStringLiteral(":/icons/icons/open.png")).compressionAlgorithm(),
             QResource::NoCompression);
}

void TestAboutAndIcons::registrationIsIdempotent()
{
    QCOMPARE(initIconResources(), 1);
    QCOMPARE(initIconResources(), 1);
    QCOMPARE(cleanupIconResources(), 1);
    QVERIFY(!QFile::exists(QStringLiteral(":/icons/icons/open.png")));
    QCOMPARE(initIconResources(), 1);
    QVERIFY(QFile::exists(QStringLiteral(":/icons/icons/open.png")));
}

GUI_TEST_MAIN(TestAboutAndIcons)
#include "tst_AboutAndIcons.moc"
