// The split tab's picture of the loaded source: records per minute as bars,
// stretches without records shaded, the first and last time at the ends and
// the planned cuts as lines. Times are recorded times; the shift only moves
// the texts to what the period fields show.
#pragma once

#include "PlannedCuts.h"
#include "ScanIndex.h"

#include <QList>
#include <QPair>
#include <QWidget>

class CTimelineStrip : public QWidget {
    Q_OBJECT

  public:
    explicit CTimelineStrip(QWidget *pParent = nullptr);

    // Takes the minutes of the index between lFirst and lLast (seconds).
    void SetSource(const CScanIndex &clIndex, int64_t lFirst, int64_t lLast, int64_t lShift,
                   bool bUtc);
    void SetCuts(const QList<StructPlannedCut> &clCuts);
    // Nothing loaded, or a scan running: an empty strip.
    void Clear();
    bool IsEmpty() const { return m_clMinutes.isEmpty(); }

    // Where things are drawn, in the widget's pixels.
    QRect PlotRect() const;
    int XOf(int64_t lTime) const;
    QList<int> CutLines() const;
    QList<QPair<int, int>> GapSpans() const;
    // The hover text at a column of the strip.
    QString TipAt(int lX) const;

    static QColor BarColour() { return {60, 110, 180}; }
    static QColor GapColour() { return {205, 205, 205}; }
    static QColor CutColour() { return {210, 30, 30}; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent *pEvent) override;
    bool event(QEvent *pEvent) override;

  private:
    QString TimeText(int64_t lTime, const QString &clstrFormat) const;

    QList<StructScanMinute> m_clMinutes; // in time order
    QList<StructPlannedCut> m_clCuts;
    int64_t m_lFirst = 0;
    int64_t m_lLast = 0;
    int64_t m_lShift = 0;
    bool m_bUtc = true;
    uint64_t m_lMostRecords = 0;
};
