// Building both tabs from small create helpers, the control table and the
// generic accessors that act on a control by its class.
#include "DlgSplitter.h"
#include "MergeTimeline.h"
#include "ProgressCodes.h"
#include "TimelineStrip.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimeEdit>
#include <QTimeZone>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

constexpr int kCaptionWidth = 120;

QDateTime EpochSeconds(qint64 lSeconds) {
    return QDateTime::fromSecsSinceEpoch(lSeconds, QTimeZone::utc());
}

} // namespace

void CDlgSplitter::CreateWidgets() {
    m_pTabs = new QTabWidget(this);
    auto *pDialogLayout = new QVBoxLayout(this);
    pDialogLayout->addWidget(m_pTabs);
    m_pTabs->addTab(CreateSplitPage(), tr("Split File"));
    m_pTabs->addTab(CreateMergePage(), tr("Merge Files"));
}

QHBoxLayout *CDlgSplitter::CreateRow(QVBoxLayout *pPage) {
    auto *pRow = new QHBoxLayout();
    pPage->addLayout(pRow);
    return pRow;
}

void CDlgSplitter::Register(Control enId, QWidget *pWidget, QHBoxLayout *pRow,
                            const QString &clstrTip) {
    if (!clstrTip.isEmpty())
        pWidget->setToolTip(clstrTip);
    m_pControls[size_t(enId)] = pWidget;
    pRow->addWidget(pWidget);
}

void CDlgSplitter::CreateLabel(Control enId, QHBoxLayout *pRow, const QString &clstrText,
                               int lMinWidth) {
    auto *pLabel = new QLabel(clstrText, this);
    if (lMinWidth > 0)
        pLabel->setMinimumWidth(lMinWidth);
    Register(enId, pLabel, pRow, QString());
}

void CDlgSplitter::CreateLineEdit(Control enId, QHBoxLayout *pRow, const QString &clstrText,
                                  const QString &clstrTip, bool bReadOnly) {
    auto *pEdit = new QLineEdit(clstrText, this);
    pEdit->setReadOnly(bReadOnly);
    pEdit->adjustSize();
    Register(enId, pEdit, pRow, clstrTip);
}

void CDlgSplitter::CreateCheckBox(Control enId, QHBoxLayout *pRow, const QString &clstrCaption,
                                  const QString &clstrTip) {
    Register(enId, new QCheckBox(clstrCaption, this), pRow, clstrTip);
}

void CDlgSplitter::CreateRadio(Control enId, QHBoxLayout *pRow, const QString &clstrCaption,
                               const QString &clstrTip, int lGroupId) {
    auto *pRadio = new QRadioButton(clstrCaption, this);
    pRadio->setMinimumWidth(kCaptionWidth);
    m_clSplitType.addButton(pRadio, lGroupId);
    Register(enId, pRadio, pRow, clstrTip);
}

void CDlgSplitter::CreatePushButton(Control enId, QHBoxLayout *pRow, const QString &clstrCaption,
                                    const QString &clstrTip) {
    Register(enId, new QPushButton(clstrCaption, this), pRow, clstrTip);
}

void CDlgSplitter::CreateProgressBar(Control enId, QHBoxLayout *pRow, const QString &clstrTip) {
    auto *pBar = new QProgressBar(this);
    pBar->setRange(0, kProgressEnd);
    pBar->setValue(0);
    pBar->setTextVisible(true);
    pBar->hide();
    Register(enId, pBar, pRow, clstrTip);
}

void CDlgSplitter::CreateSchemeCombo(QHBoxLayout *pRow) {
    auto *pCombo = new QComboBox(this);
    pCombo->addItems(
        {tr("NAME__date+time.bvf"), tr("NAME__SplitNumber.bvf"),
         tr("NAME__SplitNumber__date+time.bvf"), tr("NAME__date+time__SplitNumber.bvf"),
         tr("SplitNumber__NAME.bvf"), tr("SplitNumber__NAME__date+time.bvf"),
         tr("SplitNumber__date+time__NAME.bvf"), tr("date+time__NAME.bvf"),
         tr("date+time__NAME__SplitNumber.bvf"), tr("date+time__SplitNumber__NAME.bvf")});
    pCombo->setCurrentIndex(0);
    pCombo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    Register(SchemeCombo, pCombo, pRow, tr("Name of Split File:"));
}

void CDlgSplitter::CreateLengthEdit(QHBoxLayout *pRow) {
    auto *pEdit = new QTimeEdit(QTime(1, 0), this);
    // As its "[HH:MM]" label says, in every locale: a 12-hour locale must not
    // turn a length into a time of day.
    pEdit->setDisplayFormat(QStringLiteral("HH:mm"));
    pEdit->setWrapping(true);
    // The minimum, 00:00, stands for a whole day.
    pEdit->setSpecialValueText(tr("24:00"));
    pEdit->adjustSize();
    Register(LengthEdit, pEdit, pRow, tr("Set the length(by time) of the file"));
}

void CDlgSplitter::CreatePeriodEdit(Control enId, QHBoxLayout *pRow) {
    auto *pEdit = new QDateTimeEdit(this);
    // One form in every locale, down to the second that the period cuts at.
    pEdit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    pEdit->setTimeSpec(Qt::UTC);
    pEdit->setDateTime(EpochSeconds(0));
    pEdit->setWrapping(true);
    pEdit->adjustSize();
    Register(enId, pEdit, pRow, tr("Set the length of the file"));
}

void CDlgSplitter::CreateNumberSpin(QHBoxLayout *pRow) {
    auto *pSpin = new QSpinBox(this);
    pSpin->setRange(2, kMaxPartCount);
    pSpin->setValue(2);
    pSpin->adjustSize();
    Register(NumberSpin, pSpin, pRow, tr("Number of files"));
}

QWidget *CDlgSplitter::CreateSplitPage() {
    auto *pPage = new QWidget(this);
    auto *pLayout = new QVBoxLayout(pPage);

    QHBoxLayout *pRow = CreateRow(pLayout);
    CreateLabel(SourceLabel, pRow, tr("Source File:"), kCaptionWidth);
    CreateLineEdit(SourcePath, pRow, QString(), tr("Path and file name of the request file"), true);
    auto *pChoose = new QToolButton(this);
    pChoose->setText(tr("..."));
    Register(ChooseFileButton, pChoose, pRow, tr("Choose file in selection dialogue"));

    pRow = CreateRow(pLayout);
    CreateLabel(SchemeLabel, pRow, tr("Name of Split File:"), kCaptionWidth);
    CreateSchemeCombo(pRow);
    pRow->addStretch();
    CreateCheckBox(UtcCheck, pRow, tr("UTC"), tr("Show time in UTC"));

    pRow = CreateRow(pLayout);
    CreateLabel(FixedNameLabel, pRow, tr("Fixed name of Split File:"), 0);
    CreateLineEdit(FixedNamePath, pRow, QString(), tr("Path and file name of the destination file"),
                   true);

    pRow = CreateRow(pLayout);
    CreateCheckBox(SyncProtoCheck, pRow, tr("Synchronise file time stamps to protocol time"),
                   tr("Find first broadcasted time stamp in protocol.") + u'\n' +
                       tr("Adjust file bases time stamps with the found offset."));
    pRow->addStretch();

    pRow = CreateRow(pLayout);
    CreateRadio(ByTimeRadio, pRow, tr("Split by Time"), tr("Split into N minutes long parts"), 0);
    CreateLengthEdit(pRow);
    CreateLabel(LengthUnitLabel, pRow, tr("[HH:MM] "), 0);
    CreateCheckBox(AlignCheck, pRow, tr("Split at beginning of the time unit"),
                   tr("Split at beginning of the time unit"));
    pRow->addStretch();

    pRow = CreateRow(pLayout);
    CreateRadio(ByPeriodRadio, pRow, tr("Split by Period of Time"), tr("Split by Period of Time"),
                1);
    CreateLabel(FromLabel, pRow, tr("From "), 0);
    CreatePeriodEdit(FromEdit, pRow);
    CreateLabel(ToLabel, pRow, tr("  to  "), 0);
    CreatePeriodEdit(ToEdit, pRow);
    pRow->addStretch();

    pRow = CreateRow(pLayout);
    CreateRadio(ByNumberRadio, pRow, tr("Split by Number"), tr("Split into a number of parts"), 2);
    CreateNumberSpin(pRow);
    CreateLabel(SizeLabel, pRow, QString(), 0);
    pRow->addStretch();

    pRow = CreateRow(pLayout);
    CreateCheckBox(FreqCheck, pRow, tr("Correct DMO record frequency"),
                   tr("Correct DMO record frequency"));
    CreateLineEdit(FreqEdit, pRow, QStringLiteral("360000000"), tr("Frequency in HZ"), false);
    pRow->addStretch();

    pRow = CreateRow(pLayout);
    CreatePushButton(SplitStartStop, pRow, tr("Start"), tr("Start/Stop splitting"));
    SetEnabled(SplitStartStop, false);
    CreateProgressBar(SplitProgress, pRow, tr("Operation progress"));

    m_pTimeline = new CTimelineStrip(this);
    m_pTimeline->setObjectName(QStringLiteral("SplitTimeline"));
    pLayout->addWidget(m_pTimeline);
    pLayout->addStretch();

    m_clSplitType.setExclusive(true);
    if (QAbstractButton *pByTime = m_clSplitType.button(0))
        pByTime->setChecked(true);
    SetVisible(SyncProtoCheck, false);
    SetVisible(FreqCheck, false);
    SetVisible(FreqEdit, false);
    SetEnabled(FreqEdit, false);
    ConnectSplitControls();
    return pPage;
}

QWidget *CDlgSplitter::CreateMergePage() {
    auto *pPage = new QWidget(this);
    auto *pLayout = new QVBoxLayout(pPage);

    QHBoxLayout *pRow = CreateRow(pLayout);
    CreateLabel(MergeLabel, pRow, tr("Add files, or drop them into box:"), kCaptionWidth);

    pRow = CreateRow(pLayout);
    auto *pView = new QTreeView(this);
    pView->setModel(m_pMergeModel.get());
    pView->setSelectionModel(m_pMergeSelection.get());
    pView->setSortingEnabled(false);
    pView->setSelectionMode(QAbstractItemView::MultiSelection);
    connect(m_pMergeModel.get(), &CModelJoinFiles::expandAll, pView, &QTreeView::expandAll);
    connect(m_pMergeModel.get(), &CModelJoinFiles::resizeColumnToContents, pView,
            &QTreeView::resizeColumnToContents);
    Register(MergeView, pView, pRow, tr("List with files to merge"));

    m_pMergeTimeline = new CMergeTimeline(this);
    m_pMergeTimeline->setObjectName(QStringLiteral("MergeTimeline"));
    pLayout->addWidget(m_pMergeTimeline);

    pRow = CreateRow(pLayout);
    CreatePushButton(DeleteAllButton, pRow, tr("Delete all"), tr("Delete all files"));
    CreatePushButton(DeleteSelectedButton, pRow, tr("Delete selected"),
                     tr("Delete selected files"));
    CreatePushButton(AddFilesButton, pRow, tr("Add files"),
                     tr("Choose file(s) in selection dialogue"));

    pRow = CreateRow(pLayout);
    CreatePushButton(MergeStartStop, pRow, tr("Start"), tr("Start/Stop merging"));
    CreateProgressBar(MergeProgress, pRow, tr("Operation progress"));
    // No closing stretch: the list takes the free height.
    SetVisible(MergeProgress, false);
    ConnectMergeControls();
    return pPage;
}

void CDlgSplitter::ConnectMergeControls() {
    if (auto *pButton = ControlAs<QPushButton>(DeleteAllButton))
        connect(pButton, &QPushButton::clicked, this, &CDlgSplitter::Button_Joiner_CleanAll);
    if (auto *pButton = ControlAs<QPushButton>(DeleteSelectedButton))
        connect(pButton, &QPushButton::clicked, this, &CDlgSplitter::Button_Joiner_Delete);
    if (auto *pButton = ControlAs<QPushButton>(AddFilesButton))
        connect(pButton, &QPushButton::clicked, this, &CDlgSplitter::Button_Joiner_ChooseFiles);
    if (auto *pButton = ControlAs<QPushButton>(MergeStartStop))
        connect(pButton, &QPushButton::clicked, this, &CDlgSplitter::Button_Joiner_StartStop);
    connect(m_pMergeSelection.get(), &QItemSelectionModel::selectionChanged, this,
            &CDlgSplitter::UpdateMergeTimeline);
    connect(m_pMergeTimeline, &CMergeTimeline::FileClicked, this, &CDlgSplitter::SelectMergeFile);
}

void CDlgSplitter::ConnectSplitControls() {
    if (auto *pChoose = ControlAs<QToolButton>(ChooseFileButton))
        connect(pChoose, &QToolButton::clicked, this, &CDlgSplitter::Button_Splitter_ChooseFile);
    if (auto *pCombo = ControlAs<QComboBox>(SchemeCombo))
        connect(pCombo, &QComboBox::currentIndexChanged, this,
                &CDlgSplitter::Combo_Splitter_FileNameShema);
    if (auto *pUtc = ControlAs<QCheckBox>(UtcCheck))
        connect(pUtc, &QCheckBox::stateChanged, this,
                [this](int lState) { CheckBox_Splitter_Utc(Qt::CheckState(lState)); });
    if (auto *pSync = ControlAs<QCheckBox>(SyncProtoCheck))
        connect(pSync, &QCheckBox::stateChanged, this,
                [this](int lState) { CheckBox_Splitter_SyncProtoTime(Qt::CheckState(lState)); });
    if (auto *pFreq = ControlAs<QCheckBox>(FreqCheck))
        connect(pFreq, &QCheckBox::stateChanged, this,
                [this](int lState) { Button_Splitter_Freq(Qt::CheckState(lState)); });
    if (auto *pSpin = ControlAs<QSpinBox>(NumberSpin))
        connect(pSpin, &QSpinBox::valueChanged, this, &CDlgSplitter::Button_Splitter_NumberChanged);
    if (auto *pStart = ControlAs<QPushButton>(SplitStartStop))
        connect(pStart, &QPushButton::clicked, this, &CDlgSplitter::Button_Splitter_StartStop);
    connect(&m_clSplitType, &QButtonGroup::idClicked, this,
            &CDlgSplitter::Radio_Splitter_SplitType);
    connect(this, &CDlgSplitter::Signal_Button_Splitter_StartStop, this,
            &CDlgSplitter::Button_Splitter_StartStop);
    if (auto *pLength = ControlAs<QTimeEdit>(LengthEdit))
        connect(pLength, &QTimeEdit::timeChanged, this, &CDlgSplitter::Button_Splitter_TimeChanged);
    ConnectPeriodEdits(true);
    ConnectTimeline();
}

// The planned cuts follow every setting that moves them; connected after the
// controls' own slots, which the cuts depend on.
void CDlgSplitter::ConnectTimeline() {
    const auto fnUpdate = [this] { UpdateTimeline(false); };
    for (int lId : {UtcCheck, SyncProtoCheck, AlignCheck})
        if (auto *pCheck = ControlAs<QCheckBox>(lId))
            connect(pCheck, &QCheckBox::stateChanged, this, fnUpdate);
    if (auto *pCombo = ControlAs<QComboBox>(SchemeCombo))
        connect(pCombo, &QComboBox::currentIndexChanged, this, fnUpdate);
    if (auto *pLength = ControlAs<QTimeEdit>(LengthEdit))
        connect(pLength, &QTimeEdit::timeChanged, this, fnUpdate);
    for (int lId : {FromEdit, ToEdit})
        if (auto *pEdit = ControlAs<QDateTimeEdit>(lId))
            connect(pEdit, &QDateTimeEdit::dateTimeChanged, this, fnUpdate);
    if (auto *pSpin = ControlAs<QSpinBox>(NumberSpin))
        connect(pSpin, &QSpinBox::valueChanged, this, fnUpdate);
    connect(&m_clSplitType, &QButtonGroup::idToggled, this, fnUpdate);
}

// The period edits are taken off their slots while the dialog itself sets
// them, so that only the user's changes are carried and clamped.
void CDlgSplitter::ConnectPeriodEdits(bool bConnect) {
    auto *pFrom = ControlAs<QDateTimeEdit>(FromEdit);
    auto *pTo = ControlAs<QDateTimeEdit>(ToEdit);
    if (pFrom != nullptr) {
        if (bConnect)
            connect(pFrom, &QDateTimeEdit::dateTimeChanged, this,
                    &CDlgSplitter::Button_Splitter_StartTimeChanged, Qt::UniqueConnection);
        else
            disconnect(pFrom, &QDateTimeEdit::dateTimeChanged, this,
                       &CDlgSplitter::Button_Splitter_StartTimeChanged);
    }
    if (pTo != nullptr) {
        if (bConnect)
            connect(pTo, &QDateTimeEdit::dateTimeChanged, this,
                    &CDlgSplitter::Button_Splitter_EndTimeChanged, Qt::UniqueConnection);
        else
            disconnect(pTo, &QDateTimeEdit::dateTimeChanged, this,
                       &CDlgSplitter::Button_Splitter_EndTimeChanged);
    }
}

QWidget *CDlgSplitter::ControlWidget(int lId) const {
    if (lId < 0 || lId >= ControlCount)
        return nullptr;
    return m_pControls[size_t(lId)];
}

void CDlgSplitter::SetVisible(int lId, bool bVisible) {
    if (QWidget *pWidget = ControlWidget(lId))
        pWidget->setVisible(bVisible);
}

void CDlgSplitter::SetEnabled(int lId, bool bEnabled) {
    if (QWidget *pWidget = ControlWidget(lId))
        pWidget->setEnabled(bEnabled);
}

bool CDlgSplitter::IsChecked(int lId) const {
    const auto *pButton = ControlAs<QAbstractButton>(lId);
    return pButton != nullptr && pButton->isChecked();
}

void CDlgSplitter::SetControlValue(int lId, qint64 lValue) {
    QWidget *pWidget = ControlWidget(lId);
    const QString clstrNumber = QStringLiteral("%1").arg(lValue);
    if (auto *pSpin = qobject_cast<QSpinBox *>(pWidget))
        pSpin->setValue(int(lValue));
    else if (auto *pLine = qobject_cast<QLineEdit *>(pWidget))
        pLine->setText(clstrNumber);
    else if (auto *pCombo = qobject_cast<QComboBox *>(pWidget))
        pCombo->setCurrentIndex(int(lValue));
    else if (auto *pCheck = qobject_cast<QCheckBox *>(pWidget))
        pCheck->setChecked(lValue != 0);
    else if (auto *pRadio = qobject_cast<QRadioButton *>(pWidget))
        pRadio->setChecked(lValue != 0);
    else if (auto *pLabel = qobject_cast<QLabel *>(pWidget))
        pLabel->setText(clstrNumber);
    else if (auto *pTool = qobject_cast<QToolButton *>(pWidget))
        pTool->setArrowType(Qt::ArrowType(lValue));
    else if (auto *pPush = qobject_cast<QPushButton *>(pWidget))
        pPush->setText(clstrNumber);
    else if (auto *pPlain = qobject_cast<QPlainTextEdit *>(pWidget))
        pPlain->setPlainText(clstrNumber);
    else if (auto *pText = qobject_cast<QTextEdit *>(pWidget))
        pText->setPlainText(clstrNumber);
    else if (auto *pDateTime = qobject_cast<QDateTimeEdit *>(pWidget))
        pDateTime->setDateTime(EpochSeconds(lValue));
    else if (auto *pSlider = qobject_cast<QSlider *>(pWidget))
        pSlider->setValue(int(lValue));
    else if (auto *pBar = qobject_cast<QProgressBar *>(pWidget))
        pBar->setValue(int(lValue));
}

void CDlgSplitter::SetControlText(int lId, const QString &clstrText) {
    QWidget *pWidget = ControlWidget(lId);
    if (auto *pSpin = qobject_cast<QSpinBox *>(pWidget)) {
        pSpin->setValue(clstrText.toInt(nullptr, 10));
    } else if (auto *pLine = qobject_cast<QLineEdit *>(pWidget)) {
        pLine->setText(clstrText);
    } else if (auto *pCombo = qobject_cast<QComboBox *>(pWidget)) {
        const int lIndex = pCombo->findText(clstrText, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (lIndex >= 0)
            pCombo->setCurrentIndex(lIndex);
    } else if (auto *pButton = qobject_cast<QAbstractButton *>(pWidget)) {
        pButton->setText(clstrText);
    } else if (auto *pLabel = qobject_cast<QLabel *>(pWidget)) {
        pLabel->setText(clstrText);
    } else if (auto *pPlain = qobject_cast<QPlainTextEdit *>(pWidget)) {
        pPlain->setPlainText(clstrText);
    } else if (auto *pText = qobject_cast<QTextEdit *>(pWidget)) {
        pText->setPlainText(clstrText);
    } else if (auto *pDateTime = qobject_cast<QDateTimeEdit *>(pWidget)) {
        pDateTime->setDisplayFormat(clstrText);
    } else if (auto *pSlider = qobject_cast<QSlider *>(pWidget)) {
        pSlider->setValue(clstrText.toInt(nullptr, 10));
    } else if (auto *pBar = qobject_cast<QProgressBar *>(pWidget)) {
        pBar->setValue(clstrText.toInt(nullptr, 10));
    }
}

QString CDlgSplitter::ControlText(int lId) const {
    QWidget *pWidget = ControlWidget(lId);
    if (auto *pSpin = qobject_cast<QSpinBox *>(pWidget))
        return pSpin->text();
    if (auto *pLine = qobject_cast<QLineEdit *>(pWidget))
        return pLine->text();
    if (auto *pCombo = qobject_cast<QComboBox *>(pWidget))
        return pCombo->currentText();
    if (auto *pButton = qobject_cast<QAbstractButton *>(pWidget))
        return pButton->text();
    if (auto *pLabel = qobject_cast<QLabel *>(pWidget))
        return pLabel->text();
    if (auto *pPlain = qobject_cast<QPlainTextEdit *>(pWidget))
        return pPlain->toPlainText();
    if (auto *pText = qobject_cast<QTextEdit *>(pWidget))
        return pText->toPlainText();
    if (auto *pDateTime = qobject_cast<QDateTimeEdit *>(pWidget))
        return pDateTime->displayFormat();
    if (auto *pSlider = qobject_cast<QSlider *>(pWidget))
        return QStringLiteral("%1").arg(pSlider->value());
    if (auto *pBar = qobject_cast<QProgressBar *>(pWidget))
        return QStringLiteral("%1").arg(pBar->value());
    return QString();
}
