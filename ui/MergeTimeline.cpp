#include "MergeTimeline.h"

#include "ModelJoinFiles.h"
#include "PathNormalise.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {

constexpr int kMargin = 4;
constexpr int kRowHeight = 14;
constexpr int kRowSpacing = 4;
constexpr int kMostRows = 12; // the widget's height stops growing here

} // namespace

CMergeTimeline::CMergeTimeline(QWidget *pParent) : QWidget(pParent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize CMergeTimeline::sizeHint() const {
    const int lRows = int(std::clamp<qsizetype>(m_clFiles.size(), 1, kMostRows));
    return {400, 2 * kMargin + lRows * (kRowHeight + kRowSpacing)};
}

void CMergeTimeline::SetFiles(const QList<StructJoinFileData> &clFiles) {
    m_clFiles.clear();
    for (const StructJoinFileData &clFile : clFiles) {
        if (!JoinTimeValid(clFile.start) || !JoinTimeValid(clFile.end) || clFile.end < clFile.start)
            continue;
        if (m_clFiles.isEmpty() || clFile.start < m_lFirst)
            m_lFirst = clFile.start;
        if (m_clFiles.isEmpty() || clFile.end > m_lLast)
            m_lLast = clFile.end;
        m_clFiles << clFile;
    }
    setFixedHeight(sizeHint().height());
    update();
}

int CMergeTimeline::XOf(int64_t lTime) const {
    const int lWidth = std::max(1, width() - 2 * kMargin);
    const double dSpan = double(std::max<int64_t>(1, m_lLast - m_lFirst));
    return kMargin + int(double(lTime - m_lFirst) / dSpan * (lWidth - 1) + 0.5);
}

QRect CMergeTimeline::BarRect(qsizetype lRow) const {
    const StructJoinFileData &clFile = m_clFiles[lRow];
    const int lLeft = XOf(clFile.start);
    return {lLeft, kMargin + int(lRow) * (kRowHeight + kRowSpacing),
            std::max(2, XOf(clFile.end) - lLeft), kRowHeight};
}

QList<QPair<int64_t, int64_t>> CMergeTimeline::Stretches(bool bGaps) const {
    QList<QPair<int64_t, int64_t>> clSpans;
    int64_t lLatestEnd = 0;
    for (qsizetype i = 0; i < m_clFiles.size(); ++i) {
        const StructJoinFileData &clFile = m_clFiles[i];
        // Touching in one second is neither, as in the tree.
        if (i > 0 && bGaps && clFile.start - lLatestEnd > 1)
            clSpans << qMakePair(lLatestEnd, clFile.start);
        if (i > 0 && !bGaps && clFile.start < lLatestEnd)
            clSpans << qMakePair(clFile.start, std::min(clFile.end, lLatestEnd));
        lLatestEnd = i == 0 ? clFile.end : std::max(lLatestEnd, clFile.end);
    }
    return clSpans;
}

QList<QPair<int, int>> CMergeTimeline::Pixels(const QList<QPair<int64_t, int64_t>> &clSpans) const {
    QList<QPair<int, int>> clPixels;
    for (const QPair<int64_t, int64_t> &clSpan : clSpans)
        clPixels << qMakePair(XOf(clSpan.first),
                              std::max(XOf(clSpan.second), XOf(clSpan.first) + 1));
    return clPixels;
}

QList<QPair<int, int>> CMergeTimeline::GapSpans() const {
    return Pixels(Stretches(true));
}

QList<QPair<int, int>> CMergeTimeline::OverlapSpans() const {
    return Pixels(Stretches(false));
}

QString CMergeTimeline::FileAt(const QPoint &clPoint) const {
    for (qsizetype i = 0; i < m_clFiles.size(); ++i) {
        if (BarRect(i).contains(clPoint))
            return m_clFiles[i].fileName;
    }
    return QString();
}

void CMergeTimeline::mousePressEvent(QMouseEvent *pEvent) {
    const QString clstrFile = FileAt(pEvent->position().toPoint());
    if (!clstrFile.isEmpty())
        emit FileClicked(clstrFile);
    QWidget::mousePressEvent(pEvent);
}

void CMergeTimeline::paintEvent(QPaintEvent *) {
    QPainter clPainter(this);
    clPainter.fillRect(rect(), palette().base());
    if (m_clFiles.isEmpty())
        return;
    const int lTop = kMargin;
    const int lHeight = height() - 2 * kMargin;
    for (const QPair<int, int> &clGap : GapSpans())
        clPainter.fillRect(QRect(clGap.first, lTop, clGap.second - clGap.first, lHeight),
                           CModelJoinFiles::MissingColour());
    for (const QPair<int, int> &clOverlap : OverlapSpans())
        clPainter.fillRect(
            QRect(clOverlap.first, lTop, clOverlap.second - clOverlap.first, lHeight),
            CModelJoinFiles::OverlapColour());
    clPainter.setPen(palette().color(QPalette::WindowText));
    for (qsizetype i = 0; i < m_clFiles.size(); ++i) {
        const QRect clBar = BarRect(i);
        clPainter.fillRect(clBar, palette().highlight());
        clPainter.setPen(palette().color(QPalette::HighlightedText));
        clPainter.drawText(clBar.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                           BareFileName(m_clFiles[i].fileName));
    }
}
