// The pixels a text covers, rendered without anti-aliasing, so that every layer
// model draws the plot's numbers with exactly the same pixels.
#pragma once

#include <QPoint>
#include <QString>

#include <vector>

struct TTextMask {
    int Width = 0;
    int Height = 0;
    std::vector<QPoint> Pixels; // offsets from the text's top-left corner
};

// Needs a QGuiApplication (fonts). Masks are cached: the plot writes the same few
// hundred numbers over and over.
TTextMask TextMask(const QString& text, int points);
