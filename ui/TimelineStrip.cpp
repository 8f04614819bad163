#include "TimelineStrip.h"

#include <QDateTime>
#include <QHelpEvent>
#include <QPainter>
#include <QTimeZone>
#include <QToolTip>

#include <algorithm>

namespace {

constexpr int kMargin = 4;
constexpr int kBarHeight = 44;
constexpr int kDamageMark = 3;
constexpr int kCutReach = 3; // pixels either side of a cut line that show its text
constexpr int64_t kLongestQuiet = 60;

} // namespace

CTimelineStrip::CTimelineStrip(QWidget *pParent) : QWidget(pParent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMouseTracking(true);
}

QSize CTimelineStrip::sizeHint() const {
    return {400, kBarHeight + 2 * kMargin + fontMetrics().height() + 2};
}

void CTimelineStrip::SetSource(const CScanIndex &clIndex, int64_t lFirst, int64_t lLast,
                               int64_t lShift, bool bUtc) {
    m_clMinutes.clear();
    m_clCuts.clear();
    m_lMostRecords = 0;
    m_lFirst = lFirst;
    m_lLast = std::max(lFirst, lLast);
    m_lShift = lShift;
    m_bUtc = bUtc;
    const CScanIndex::Minutes &clMap = clIndex.MinuteMap();
    // Glitch times outside the span would squeeze the recording to a line.
    for (auto clAt = clMap.lower_bound(CScanIndex::MinuteOf(lFirst));
         clAt != clMap.end() && clAt->first <= CScanIndex::MinuteOf(m_lLast); ++clAt) {
        m_clMinutes << clAt->second;
        m_lMostRecords = std::max(m_lMostRecords, clAt->second.records);
    }
    update();
}

void CTimelineStrip::SetCuts(const QList<StructPlannedCut> &clCuts) {
    m_clCuts = IsEmpty() ? QList<StructPlannedCut>() : clCuts;
    update();
}

void CTimelineStrip::Clear() {
    m_clMinutes.clear();
    m_clCuts.clear();
    update();
}

QRect CTimelineStrip::PlotRect() const {
    return {kMargin, kMargin, std::max(1, width() - 2 * kMargin), kBarHeight};
}

int CTimelineStrip::XOf(int64_t lTime) const {
    const QRect clPlot = PlotRect();
    const double dSpan = double(std::max<int64_t>(1, m_lLast - m_lFirst));
    const double dAt = double(std::clamp(lTime, m_lFirst, m_lLast) - m_lFirst) / dSpan;
    return clPlot.left() + int(dAt * (clPlot.width() - 1) + 0.5);
}

QList<int> CTimelineStrip::CutLines() const {
    QList<int> clLines;
    for (const StructPlannedCut &clCut : m_clCuts)
        clLines << XOf(clCut.time);
    return clLines;
}

QList<QPair<int, int>> CTimelineStrip::GapSpans() const {
    QList<QPair<int, int>> clSpans;
    for (qsizetype i = 1; i < m_clMinutes.size(); ++i) {
        if (m_clMinutes[i].earliest - m_clMinutes[i - 1].latest > kLongestQuiet)
            clSpans << qMakePair(XOf(m_clMinutes[i - 1].latest), XOf(m_clMinutes[i].earliest));
    }
    return clSpans;
}

QString CTimelineStrip::TimeText(int64_t lTime, const QString &clstrFormat) const {
    const QDateTime clTime = QDateTime::fromSecsSinceEpoch(lTime + m_lShift, QTimeZone::utc());
    return (m_bUtc ? clTime : clTime.toLocalTime()).toString(clstrFormat);
}

QString CTimelineStrip::TipAt(int lX) const {
    if (IsEmpty())
        return QString();
    for (const StructPlannedCut &clCut : m_clCuts) {
        if (std::abs(XOf(clCut.time) - lX) > kCutReach)
            continue;
        if (clCut.partNumber == 0)
            return tr("%1: the period ends").arg(TimeText(clCut.time, QStringLiteral("HH:mm:ss")));
        return tr("%1: part %2 starts, %3")
            .arg(TimeText(clCut.time, QStringLiteral("HH:mm:ss")))
            .arg(clCut.partNumber)
            .arg(clCut.name);
    }
    // The bucket under the pointer is the minutes that fall into its column.
    const QRect clPlot = PlotRect();
    const double dPerPixel = double(std::max<int64_t>(1, m_lLast - m_lFirst)) / clPlot.width();
    const int64_t lFrom = m_lFirst + int64_t((lX - clPlot.left()) * dPerPixel);
    const int64_t lFromMinute = CScanIndex::MinuteOf(lFrom);
    const int64_t lToMinute = CScanIndex::MinuteOf(lFrom + int64_t(dPerPixel));
    uint64_t lRecords = 0;
    for (const StructScanMinute &clMinute : m_clMinutes) {
        const int64_t lMinute = CScanIndex::MinuteOf(clMinute.earliest);
        if (lMinute >= lFromMinute && lMinute <= lToMinute)
            lRecords += clMinute.records;
    }
    return tr("%1: %2 records")
        .arg(TimeText(lFromMinute * 60, QStringLiteral("yyyy-MM-dd HH:mm")))
        .arg(lRecords);
}

bool CTimelineStrip::event(QEvent *pEvent) {
    if (pEvent->type() == QEvent::ToolTip) {
        auto *pHelp = static_cast<QHelpEvent *>(pEvent);
        const QString clstrTip = TipAt(pHelp->pos().x());
        if (clstrTip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(pHelp->globalPos(), clstrTip, this);
        return true;
    }
    return QWidget::event(pEvent);
}

void CTimelineStrip::paintEvent(QPaintEvent *) {
    QPainter clPainter(this);
    const QRect clPlot = PlotRect();
    clPainter.fillRect(clPlot, palette().base());
    if (IsEmpty())
        return;
    for (const QPair<int, int> &clGap : GapSpans())
        clPainter.fillRect(QRect(clGap.first, clPlot.top(), std::max(1, clGap.second - clGap.first),
                                 clPlot.height()),
                           GapColour());
    for (const StructScanMinute &clMinute : m_clMinutes) {
        const int64_t lStart = CScanIndex::MinuteOf(clMinute.earliest) * 60;
        const int lLeft = XOf(lStart);
        const int lWidth = std::max(1, XOf(lStart + 60) - lLeft);
        const int lHeight =
            std::max(1, int(double(clMinute.records) / double(m_lMostRecords) * clPlot.height()));
        clPainter.fillRect(QRect(lLeft, clPlot.bottom() + 1 - lHeight, lWidth, lHeight),
                           BarColour());
        if (clMinute.damaged)
            clPainter.fillRect(QRect(lLeft, clPlot.top(), lWidth, kDamageMark), Qt::black);
    }
    clPainter.setPen(QPen(CutColour(), 1));
    for (int lX : CutLines())
        clPainter.drawLine(lX, clPlot.top(), lX, clPlot.bottom());
    clPainter.setPen(palette().color(QPalette::WindowText));
    const QRect clText(clPlot.left(), clPlot.bottom() + 2, clPlot.width(), fontMetrics().height());
    const QString clstrFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
    clPainter.drawText(clText, Qt::AlignLeft | Qt::AlignVCenter, TimeText(m_lFirst, clstrFormat));
    clPainter.drawText(clText, Qt::AlignRight | Qt::AlignVCenter, TimeText(m_lLast, clstrFormat));
}
