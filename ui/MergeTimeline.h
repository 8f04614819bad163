// The merge tab's picture of one recording: a row per file on a common time
// axis, each file's span as a bar, the gaps between files and their overlaps
// shaded in the colours the tree uses for them. A click on a bar names its
// file.
#pragma once

#include "JoinFileData.h"

#include <QList>
#include <QPair>
#include <QWidget>

class CMergeTimeline : public QWidget {
    Q_OBJECT

  public:
    explicit CMergeTimeline(QWidget *pParent = nullptr);

    // The files of one group in list order; those without valid times are
    // left out. An empty list clears the picture.
    void SetFiles(const QList<StructJoinFileData> &clFiles);
    qsizetype FileCount() const { return m_clFiles.size(); }

    // Where things are drawn, in the widget's pixels.
    QRect BarRect(qsizetype lRow) const;
    QList<QPair<int, int>> GapSpans() const;
    QList<QPair<int, int>> OverlapSpans() const;
    // The file whose bar holds the point; empty when none does.
    QString FileAt(const QPoint &clPoint) const;

    QSize sizeHint() const override;

  signals:
    void FileClicked(const QString &clstrFileName);

  protected:
    void paintEvent(QPaintEvent *pEvent) override;
    void mousePressEvent(QMouseEvent *pEvent) override;

  private:
    int XOf(int64_t lTime) const;
    // Spans in seconds where the files leave time uncovered (bGaps) or
    // cover it twice, as the tree marks them.
    QList<QPair<int64_t, int64_t>> Stretches(bool bGaps) const;
    QList<QPair<int, int>> Pixels(const QList<QPair<int64_t, int64_t>> &clSpans) const;

    QList<StructJoinFileData> m_clFiles;
    int64_t m_lFirst = 0;
    int64_t m_lLast = 0;
};
