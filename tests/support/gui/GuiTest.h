#pragma once

#include "platform/Platform.h"

#include <QApplication>
#include <QtTest>

// The main of a GUI test: a QApplication set up as the program sets itself up at start-up
// (Russian locale, font substitution, the decimal-comma filter on every double spin box, the
// compiled-in icons). Use it in place of QTEST_MAIN:
//
//     GUI_TEST_MAIN(TestDeviceControlWidget)
//     #include "tst_DeviceControlWidget.moc"
//
// The tests run offscreen (QT_QPA_PLATFORM=offscreen is set by CTest).
#define GUI_TEST_MAIN(TestObject)                                                                  \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        QApplication app(argc, argv);                                                              \
        setupPlatform();                                                                           \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
