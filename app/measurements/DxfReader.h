#pragma once

#include "measurements/DxfDrawing.h"

#include <QByteArray>
#include <QStringList>

#include <functional>

class QIODevice;

// What a read of an ASCII DXF file gives: the drawing, and a line for every part of the file
// that could not be used (each also written to the log). A file that is not an ASCII DXF, or
// that cannot be read at all, gives an empty drawing and a problem saying why.
struct DxfReadResult
{
    DxfDrawing drawing;
    QStringList problems;
};

// Reads the lines, circles, arcs, ellipses and polylines (lightweight and old-style, bulges as
// arcs) of the ENTITIES section. Group codes and values are read as pairs. Coordinates are
// taken as millimetres and multiplied by unitFactor, the display unit's factor; ellipses are
// measured as polylines whose chords stay within 0.1 µm of them. An entity that lacks a
// coordinate or carries a value that is not a number is left out with a problem line; the rest
// of the file still loads.
//
// progress, when given, is called every few thousand group codes with the bytes read so far and
// the size of the text; when it returns false the read stops and gives an empty drawing with the
// problem "the read was cancelled". It is called on the reading thread.
using DxfReadProgress = std::function<bool(qint64 done, qint64 total)>;
DxfReadResult readDxf(QIODevice *device, double unitFactor, const DxfReadProgress &progress = {});
DxfReadResult readDxf(const QByteArray &bytes, double unitFactor,
                      const DxfReadProgress &progress = {});

// The problem of a read that progress stopped.
QString dxfReadCancelledText();
