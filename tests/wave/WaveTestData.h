// Test helpers for the wave side: packets laid out as the board documents them
// (55 AA 08, two bytes not examined, length high/low, channel, 299 samples, one
// closing byte), and a plot that records every request it is asked for.
#pragma once

#include "PlotRequests.h"
#include "WaveStore.h"

#include <QByteArray>
#include <QStringList>

#include <array>
#include <span>

using TSamples = std::array<uint8_t, 299>;

// Samples that tell packets apart; neighbours differ by 13, so they never spell 55 AA.
inline TSamples SamplesFor(int id) {
    TSamples s{};
    for (size_t k = 0; k < s.size(); ++k)
        s[k] = static_cast<uint8_t>((id * 7 + static_cast<int>(k) * 13) % 251);
    s[0] = static_cast<uint8_t>(id & 0xFF);
    s[1] = static_cast<uint8_t>((id >> 8) & 0xFF);
    return s;
}

inline QByteArray Packet(int channel, const TSamples& samples, int length = 0x012C) {
    QByteArray p;
    p.append("\x55\xAA\x08", 3);
    p.append('\x01');
    p.append('\x2A');
    p.append(static_cast<char>(length >> 8));
    p.append(static_cast<char>(length & 0xFF));
    p.append(static_cast<char>(channel));
    for (uint8_t b : samples)
        p.append(static_cast<char>(b));
    p.append('\x5C');
    return p;
}

inline std::span<const uint8_t> Span(const QByteArray& a) {
    return {reinterpret_cast<const uint8_t*>(a.constData()), static_cast<size_t>(a.size())};
}

// The first 299 samples of a store row equal the packet's.
template <typename Row> bool Holds(const Row& row, const TSamples& samples) {
    return std::equal(samples.begin(), samples.end(), row.begin());
}

class TRecordingPlot final : public TPlotRequests {
public:
    void AddStripLayer(int s, int r) override { Log("AddStrip", {s, r}); }
    void AddLargeLayer(int r) override { Log("AddLarge", {r}); }
    void DrawStripRecord(int s, int r, int p) override { Log("DrawStrip", {s, r, p}); }
    void DrawLargeRecord(int s, int r, int p) override { Log("DrawLarge", {s, r, p}); }
    void FreeStripLayer(int s, int r) override { Log("FreeStrip", {s, r}); }
    void FreeLargeLayer(int r) override { Log("FreeLarge", {r}); }
    void ClearStripLayer(int s, int r) override { Log("ClearStrip", {s, r}); }
    void ClearLargeLayer(int r) override { Log("ClearLarge", {r}); }
    void RaiseStripLayer(int s, int r) override { Log("RaiseStrip", {s, r}); }
    void RaiseLargeLayer(int r) override { Log("RaiseLarge", {r}); }
    void RaiseTopLayer(int s) override { Log("RaiseTop", {s}); }
    void RaiseOverlayLayers() override { Log("RaiseOverlay", {}); }
    void SetChannelCaption(const QString& text) override {
        requests << QStringLiteral("Caption '%1'").arg(text);
    }

    QStringList requests;

private:
    void Log(const char* name, std::initializer_list<int> args) {
        QString line = QString::fromLatin1(name);
        for (int a : args)
            line += QLatin1Char(' ') + QString::number(a);
        requests << line;
    }
};

// Expected requests, written out: "DrawStrip 0 3 -1" and so on.
inline QStringList Requests(std::initializer_list<const char*> lines) {
    QStringList out;
    for (const char* l : lines)
        out << QString::fromLatin1(l);
    return out;
}
