// The merge tab's tree: one group row per recording (file magic) with the
// group's length and size, under it the files in list order, a gap row before
// a file that starts more than a second after an earlier one ends, and a
// yellow time cell on a file that overlaps earlier ones. Rebuilt whole from
// a copy of the merge list on every change.
#pragma once

#include "JoinFileData.h"

#include <QColor>
#include <QList>
#include <QStandardItemModel>

class CModelJoinFiles : public QStandardItemModel {
    Q_OBJECT
    Q_CLASSINFO("Author", "vintermark GmbH")
    Q_CLASSINFO("Status", "Development")

  public:
    using QStandardItemModel::QStandardItemModel;

    // The role under which a group row's column-0 item carries its magic.
    static constexpr int kMagicRole = Qt::UserRole + 1;
    // The backgrounds of a gap row and of an overlapping file's time, which
    // the merge timeline shares.
    static QColor MissingColour() { return {255, 155, 0}; }
    static QColor OverlapColour() { return {255, 255, 0}; }

  public slots:
    // Rebuilds the tree from the list, then asks the view to expand all rows
    // and to fit columns 0, 1 and 2 to their contents.
    void UpdateView(QList<StructJoinFileData> clAddList);
    // No rows; the three columns with their header texts.
    void ClearList();

  signals:
    void expandAll();
    void resizeColumnToContents(int lColumn);
};
