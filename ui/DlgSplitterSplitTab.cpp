// The slots of the "Split File" tab: choosing a source, the naming and time
// display options, the split type with its controls, the carry rules of the
// editors, the size estimate, Start/Stop, the workers' progress codes and
// the end of a run with the command-line request.
#include "DlgSplitter.h"
#include "ProgressCodes.h"
#include "TimelineStrip.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTimeEdit>
#include <QTimeZone>

#include <algorithm>

namespace {

constexpr uint64_t kKindTetraAuxBit = uint64_t(1) << 3;

QDateTime Clamped(const QDateTime &clTime, const QDateTime &clFirst, const QDateTime &clLast) {
    if (clTime < clFirst)
        return clFirst;
    if (clTime > clLast)
        return clLast;
    return clTime;
}

} // namespace

void CDlgSplitter::Button_Splitter_ChooseFile() {
    QString clstrStart = ControlText(SourcePath);
    if (clstrStart.isEmpty())
        clstrStart =
            QStandardPaths::standardLocations(QStandardPaths::DesktopLocation).value(0) + u'/';
    const QString clstrChosen = m_pPrompts->AskOpenFileName(
        this, tr("Choose split file"), clstrStart,
        tr("Splitfiles (*.bvf *.tmw *.lan);;BVF file (*.bvf);;All (*.*)"));
    if (!clstrChosen.isEmpty())
        LoadSource(clstrChosen);
}

void CDlgSplitter::Combo_Splitter_FileNameShema(int lNewState) {
    SetEnabled(FixedNamePath, lNewState == m_lSchemeCount);
}

void CDlgSplitter::Button_Splitter_Freq(Qt::CheckState enNewState) {
    SetEnabled(FreqEdit, enNewState != Qt::Unchecked);
}

void CDlgSplitter::CheckBox_Splitter_Utc(Qt::CheckState enNewState) {
    auto *pFrom = ControlAs<QDateTimeEdit>(FromEdit);
    auto *pTo = ControlAs<QDateTimeEdit>(ToEdit);
    if (pFrom == nullptr || pTo == nullptr)
        return;
    ConnectPeriodEdits(false);
    m_clStoredStart = pFrom->dateTime();
    m_clStoredEnd = pTo->dateTime();
    // The instants stay; only their presentation changes.
    const Qt::TimeSpec enSpec = enNewState != Qt::Unchecked ? Qt::UTC : Qt::LocalTime;
    m_clStoredStart = m_clStoredStart.toTimeSpec(enSpec);
    m_clSourceInfo.first = m_clSourceInfo.first.toTimeSpec(enSpec);
    m_clStoredEnd = m_clStoredEnd.toTimeSpec(enSpec);
    m_clSourceInfo.last = m_clSourceInfo.last.toTimeSpec(enSpec);
    pFrom->setTimeSpec(enSpec);
    pTo->setTimeSpec(enSpec);
    pFrom->setDateTime(m_clStoredStart);
    pTo->setDateTime(m_clStoredEnd);
    ConnectPeriodEdits(true);
}

void CDlgSplitter::CheckBox_Splitter_SyncProtoTime(Qt::CheckState enNewState) {
    const int64_t lOffset = m_clSourceInfo.offset;
    if (lOffset == 0)
        return;
    auto *pFrom = ControlAs<QDateTimeEdit>(FromEdit);
    auto *pTo = ControlAs<QDateTimeEdit>(ToEdit);
    if (pFrom == nullptr || pTo == nullptr)
        return;
    m_clStoredStart = pFrom->dateTime();
    m_clStoredEnd = pTo->dateTime();
    int64_t lShift = 0;
    if (enNewState == Qt::Checked && !m_clSourceInfo.synchronised) {
        lShift = lOffset;
        m_clSourceInfo.synchronised = true;
    } else if (enNewState == Qt::Unchecked && m_clSourceInfo.synchronised) {
        lShift = -lOffset;
        m_clSourceInfo.synchronised = false;
    }
    m_clSourceInfo.first = m_clSourceInfo.first.addSecs(lShift);
    m_clSourceInfo.last = m_clSourceInfo.last.addSecs(lShift);
    m_clStoredStart = m_clStoredStart.addSecs(lShift);
    m_clStoredEnd = m_clStoredEnd.addSecs(lShift);
    // Set without the carry and clamp slots: the source span has moved with
    // the shown times.
    ConnectPeriodEdits(false);
    pFrom->setDateTime(m_clStoredStart);
    pTo->setDateTime(m_clStoredEnd);
    ConnectPeriodEdits(true);
    CheckBox_Splitter_Utc(IsChecked(UtcCheck) ? Qt::Checked : Qt::Unchecked);
}

void CDlgSplitter::Radio_Splitter_SplitType(int lId) {
    const bool bLoaded = !m_clSourceInfo.name.isEmpty();
    const bool bKnownType = lId >= 0 && lId <= 2;
    for (Control enRadio : {ByTimeRadio, ByPeriodRadio, ByNumberRadio})
        SetEnabled(enRadio, bLoaded && bKnownType);

    static const QList<Control> kByType[3] = {
        {LengthEdit, LengthUnitLabel, AlignCheck},
        {FromLabel, FromEdit, ToLabel, ToEdit},
        {NumberSpin, SizeLabel},
    };
    for (int lType = 0; lType < 3; ++lType) {
        for (Control enControl : kByType[lType])
            SetEnabled(enControl, bLoaded && lType == lId);
    }

    for (Control enEdit : {FromEdit, ToEdit}) {
        if (auto *pEdit = ControlAs<QDateTimeEdit>(enEdit)) {
            if (lId == 1)
                pEdit->setCurrentSection(QDateTimeEdit::SecondSection);
            else
                pEdit->setSelectedSection(QDateTimeEdit::NoSection);
        }
    }

    // The "Fixed name" entry exists only while splitting by period.
    auto *pCombo = ControlAs<QComboBox>(SchemeCombo);
    if (pCombo != nullptr && lId != 1) {
        while (pCombo->count() > m_lSchemeCount)
            pCombo->removeItem(pCombo->count() - 1);
    }
    const bool bFixedRow = pCombo != nullptr && pCombo->count() > m_lSchemeCount;
    SetVisible(FixedNameLabel, bFixedRow);
    SetVisible(FixedNamePath, bFixedRow);
}

// Wrapping edits roll a section over without touching the next larger one;
// the carry is added here, judged by the section the edit has selected.
QDateTime CDlgSplitter::CarriedDateTime(const QDateTime &clOld, const QDateTime &clNew,
                                        const QDateTimeEdit &clEdit) const {
    const QDateTime clOldShown = clOld.toTimeSpec(clEdit.timeSpec());
    const QDateTime clNewShown = clNew.toTimeSpec(clEdit.timeSpec());
    const QTime clOldTime = clOldShown.time();
    const QTime clNewTime = clNewShown.time();
    const QDate clOldDate = clOldShown.date();
    const QDate clNewDate = clNewShown.date();
    switch (clEdit.currentSection()) {
    case QDateTimeEdit::SecondSection:
        if (clOldTime.second() == 59 && clNewTime.second() == 0)
            return clNew.addSecs(60);
        if (clOldTime.second() == 0 && clNewTime.second() == 59)
            return clNew.addSecs(-60);
        break;
    case QDateTimeEdit::MinuteSection:
        if (clOldTime.minute() == 59 && clNewTime.minute() == 0)
            return clNew.addSecs(3600);
        if (clOldTime.minute() == 0 && clNewTime.minute() == 59)
            return clNew.addSecs(-3600);
        break;
    case QDateTimeEdit::HourSection:
        if (clOldTime.hour() == 23 && clNewTime.hour() == 0)
            return clNew.addSecs(86400);
        if (clOldTime.hour() == 0 && clNewTime.hour() == 23)
            return clNew.addSecs(-86400);
        break;
    case QDateTimeEdit::DaySection:
        if (clOldDate.day() >= 28 && clNewDate.day() == 1)
            return clNew.addMonths(1);
        if (clOldDate.day() == 1 && clNewDate.day() >= 28)
            return clNew.addMonths(-1);
        break;
    case QDateTimeEdit::MonthSection:
        if (clOldDate.month() == 12 && clNewDate.month() == 1)
            return clNew.addYears(1);
        if (clOldDate.month() == 1 && clNewDate.month() == 12)
            return clNew.addYears(-1);
        break;
    default:
        break;
    }
    return clNew;
}

void CDlgSplitter::PeriodTimeChanged(Control enEdit, QDateTime &clStored, const QDateTime &clNew) {
    auto *pEdit = ControlAs<QDateTimeEdit>(enEdit);
    if (pEdit == nullptr || clNew == clStored)
        return;
    const QDateTime clCarried = CarriedDateTime(clStored, clNew, *pEdit);
    clStored = Clamped(clCarried, m_clSourceInfo.first, m_clSourceInfo.last);
    // Setting the edit calls this slot again with the stored value: no change.
    pEdit->setDateTime(clStored);
}

void CDlgSplitter::Button_Splitter_StartTimeChanged(const QDateTime &clStart) {
    PeriodTimeChanged(FromEdit, m_clStoredStart, clStart);
}

void CDlgSplitter::Button_Splitter_EndTimeChanged(const QDateTime &clEnd) {
    PeriodTimeChanged(ToEdit, m_clStoredEnd, clEnd);
}

void CDlgSplitter::Button_Splitter_TimeChanged(const QTime &clNewTime) {
    auto *pEdit = ControlAs<QTimeEdit>(LengthEdit);
    if (pEdit == nullptr || clNewTime == m_clStoredLength)
        return;
    QTime clResult = clNewTime;
    const QTime &clOld = m_clStoredLength;
    switch (pEdit->currentSection()) {
    case QDateTimeEdit::SecondSection:
        if (clOld.second() == 59 && clNewTime.second() == 0)
            clResult = clNewTime.addSecs(60);
        else if (clOld.second() == 0 && clNewTime.second() == 59)
            clResult = clNewTime.addSecs(-60);
        break;
    case QDateTimeEdit::MinuteSection:
        if (clOld.minute() == 59 && clNewTime.minute() == 0)
            clResult = clNewTime.addSecs(3600);
        else if (clOld.minute() == 0 && clNewTime.minute() == 59)
            clResult = clNewTime.addSecs(-3600);
        break;
    default:
        break;
    }
    m_clStoredLength = clResult;
    pEdit->setTime(clResult);
}

void CDlgSplitter::Button_Splitter_NumberChanged(int lNumber) {
    auto *pLabel = ControlAs<QLabel>(SizeLabel);
    if (pLabel == nullptr)
        return;
    if (m_clSourceInfo.size == 0 || m_clSourceInfo.name.isEmpty() || lNumber <= 0) {
        pLabel->clear();
        return;
    }
    const double dMegabytes = (double(m_clSourceInfo.size) / double(lNumber) + 2355.0) / 1048576.0;
    pLabel->setText(tr("%1 MB per file").arg(dMegabytes, 0, 'f', 2));
}

StructSplitTabValues CDlgSplitter::ReadSplitTab() const {
    StructSplitTabValues clValues;
    clValues.showUtc = IsChecked(UtcCheck);
    if (const auto *pCombo = ControlAs<QComboBox>(SchemeCombo))
        clValues.schemeIndex = uint32_t(std::max(0, pCombo->currentIndex()));
    clValues.fixedNameText = ControlText(FixedNamePath);
    clValues.protocolOffset = m_clSourceInfo.offset;
    clValues.syncChecked = IsChecked(SyncProtoCheck);
    clValues.splitTypeId = m_clSplitType.checkedId();
    if (const auto *pLength = ControlAs<QTimeEdit>(LengthEdit)) {
        clValues.lengthHours = pLength->time().hour();
        clValues.lengthMinutes = pLength->time().minute();
    }
    clValues.alignChecked = IsChecked(AlignCheck);
    if (const auto *pFrom = ControlAs<QDateTimeEdit>(FromEdit))
        clValues.periodFrom = pFrom->dateTime().toSecsSinceEpoch();
    if (const auto *pTo = ControlAs<QDateTimeEdit>(ToEdit))
        clValues.periodTo = pTo->dateTime().toSecsSinceEpoch();
    // The edits show seconds, so the period is cut at the seconds shown.
    clValues.minutePrecision = false;
    if (const auto *pSpin = ControlAs<QSpinBox>(NumberSpin))
        clValues.partCount = pSpin->value();
    clValues.frequencyChecked = IsChecked(FreqCheck);
    if (ControlWidget(FreqEdit) != nullptr)
        clValues.frequencyText = ControlText(FreqEdit);
    return clValues;
}

void CDlgSplitter::Button_Splitter_StartStop() {
    // While a worker is held, on either tab, the button stops it.
    if (WorkerHeld(m_clContext)) {
        RequestWorkerStop(m_clContext);
        return;
    }
    if (m_clSourceInfo.name.isEmpty())
        return;
    if (ControlWidget(LengthEdit) == nullptr || ControlWidget(FromEdit) == nullptr ||
        ControlWidget(ToEdit) == nullptr)
        return;
    StructSplitSettings clSettings;
    if (!CollectSplitSettings(ReadSplitTab(), clSettings))
        return;
    ForgetWorker();
    switch (StartSplitWorker(m_clContext, m_clSourceInfo, clSettings, m_clComponents.Entries(),
                             m_clComponents.Count(), &m_clScanIndex)) {
    case SplitStart::Started:
    case SplitStart::NoSource:
        break;
    case SplitStart::SourcePathTooLong:
        m_pPrompts->ShowWarning(
            this, tr("Error"),
            QStringLiteral("<%1>\n").arg(m_clSourceInfo.name) +
                tr("The path of the source file is longer than %1 characters.").arg(259));
        break;
    case SplitStart::NotStarted:
        m_pPrompts->ShowWarning(this, tr("Error"),
                                QStringLiteral("<%1>\n").arg(m_clSourceInfo.name) +
                                    tr("The split could not be started."));
        break;
    }
}

// A finished or failed run takes the source into the tab afresh: the period
// edits return to the source's span.
void CDlgSplitter::TakeSourceIntoTab() {
    if (m_clSourceInfo.offset == 0)
        SetControlValue(SyncProtoCheck, 0);
    auto *pFrom = ControlAs<QDateTimeEdit>(FromEdit);
    auto *pTo = ControlAs<QDateTimeEdit>(ToEdit);
    if (pFrom != nullptr && pTo != nullptr) {
        ConnectPeriodEdits(false);
        m_clStoredStart = m_clSourceInfo.first.toUTC();
        pFrom->setTimeSpec(Qt::UTC);
        pFrom->setDateTime(m_clStoredStart);
        m_clStoredEnd = m_clSourceInfo.last.toUTC();
        pTo->setTimeSpec(Qt::UTC);
        pTo->setDateTime(m_clStoredEnd);
        ConnectPeriodEdits(true);
    }
    CheckBox_Splitter_Utc(IsChecked(UtcCheck) ? Qt::Checked : Qt::Unchecked);
    // Offered once a protocol component has found an offset.
    SetVisible(SyncProtoCheck, m_clSourceInfo.offset != 0);
    // A scan clears synchronised, but the box keeps its state: the new
    // source's times must move as well, or the period shown and the shifted
    // records of the split would disagree.
    if (m_clSourceInfo.offset != 0 && IsChecked(SyncProtoCheck) && !m_clSourceInfo.synchronised)
        CheckBox_Splitter_SyncProtoTime(Qt::Checked);
    const auto *pSpin = ControlAs<QSpinBox>(NumberSpin);
    Button_Splitter_NumberChanged(std::max(2, pSpin != nullptr ? pSpin->value() : 2));
    UpdateTimeline(true);
}

void CDlgSplitter::UpdateTimeline(bool bLoad) {
    if (m_pTimeline == nullptr || (!bLoad && m_pTimeline->IsEmpty()))
        return;
    // The name is cleared as a scan starts and set only once it has ended.
    if (m_clSourceInfo.name.isEmpty()) {
        m_pTimeline->Clear();
        return;
    }
    const int64_t lShift = m_clSourceInfo.synchronised ? m_clSourceInfo.offset : 0;
    m_pTimeline->SetSource(m_clScanIndex, m_clSourceInfo.first.toSecsSinceEpoch() - lShift,
                           m_clSourceInfo.last.toSecsSinceEpoch() - lShift, lShift,
                           IsChecked(UtcCheck));
    StructSplitSettings clSettings;
    if (CollectSplitSettings(ReadSplitTab(), clSettings))
        m_pTimeline->SetCuts(PlanCuts(m_clScanIndex, clSettings, m_clSourceInfo));
}

void CDlgSplitter::Slot_Splitter_ProgressBar(const int lPercent) {
    auto *pBar = ControlAs<QProgressBar>(SplitProgress);
    if (lPercent == 0) {
        SetVisible(SplitProgress, true);
        SetEnabled(SplitStartStop, true);
        SetControlText(SplitStartStop, tr("Stop"));
        if (pBar != nullptr)
            pBar->setValue(0);
        return;
    }
    if (lPercent > 0 && lPercent < kProgressEnd) {
        if (pBar != nullptr)
            pBar->setValue(lPercent);
        return;
    }

    if (pBar != nullptr)
        pBar->setValue(kProgressEnd);
    SetVisible(SplitProgress, false);
    SetControlText(SplitStartStop, tr("Start"));
    // A script's status follows the last run of an automated split.
    if (m_bQuitAfterRun && lPercent == kProgressSplitFinished)
        m_lExitStatus = 0;
    else if (m_bQuitAfterRun && lPercent < 0)
        m_lExitStatus = 1;

    const QString clstrRunError = m_clstrRunError;
    m_clstrRunError.clear();
    const QString clstrRunNotice = m_clstrRunNotice;
    m_clstrRunNotice.clear();
    if (m_clSourceInfo.name.isEmpty()) {
        UpdateTimeline(false);
        SetVisible(SyncProtoCheck, false);
        for (Control enControl :
             {SplitStartStop, SchemeLabel, SchemeCombo, UtcCheck, FixedNameLabel, FixedNamePath})
            SetEnabled(enControl, false);
        // Named when known: a script's log must tell which file it was.
        const QString clstrSource = ControlText(SourcePath);
        m_pPrompts->ShowWarning(
            this, tr("Error"),
            clstrSource.isEmpty()
                ? tr("Can not open file or unsupported filetype!")
                : tr("<%1>\nCan not open file or unsupported filetype!").arg(clstrSource));
    } else {
        if (lPercent < kProgressSplitFinished)
            TakeSourceIntoTab();
        for (Control enControl :
             {SplitStartStop, SchemeLabel, SchemeCombo, UtcCheck, FixedNameLabel, FixedNamePath})
            SetEnabled(enControl, true);
    }
    Radio_Splitter_SplitType(m_clSplitType.checkedId());

    const bool bNoFrequency = m_clSourceInfo.frequency == -1;
    SetControlText(FreqEdit, bNoFrequency ? QStringLiteral("0")
                                          : QStringLiteral("%1").arg(m_clSourceInfo.frequency));
    const bool bOfferCorrection = bNoFrequency && (m_clSourceInfo.kindMask & kKindTetraAuxBit) != 0;
    SetVisible(FreqCheck, bOfferCorrection);
    SetControlValue(FreqCheck, 0);
    SetVisible(FreqEdit, bOfferCorrection);

    // Shown before the end-of-run step, so that an automated run quits only
    // after the box.
    if (!clstrRunError.isEmpty() && !m_clSourceInfo.name.isEmpty())
        m_pPrompts->ShowWarning(this, tr("Error"), clstrRunError);
    else if (!clstrRunNotice.isEmpty() && lPercent == kProgressSplitFinished)
        m_pPrompts->ShowWarning(this, tr("Warning"), clstrRunNotice);
    ScheduleThreadEnds();
}

void CDlgSplitter::Slot_Splitter_Error(const QString &clstrText) {
    if (m_clstrRunError.isEmpty())
        m_clstrRunError = clstrText;
}

void CDlgSplitter::Slot_Splitter_Notice(const QString &clstrText) {
    m_clstrRunNotice = clstrText;
}

void CDlgSplitter::ApplyPeriodRequest() {
    auto *pFrom = ControlAs<QDateTimeEdit>(FromEdit);
    auto *pTo = ControlAs<QDateTimeEdit>(ToEdit);
    if (pFrom == nullptr || pTo == nullptr)
        return;
    ConnectPeriodEdits(false);
    const QDateTime clFirst = m_clSourceInfo.first.toUTC();
    const QDateTime clLast = m_clSourceInfo.last.toUTC();
    m_clStoredStart = Clamped(m_clRequest.periodStart.toUTC(), clFirst, clLast);
    m_clStoredEnd = Clamped(m_clRequest.periodEnd.toUTC(), clFirst, clLast);
    const QString clstrWithSeconds = QStringLiteral("0000-00-00 00:00:00");
    const QString clstrWithoutSeconds = QStringLiteral("0000-00-00 00:00");
    for (QDateTimeEdit *pEdit : {pFrom, pTo}) {
        pEdit->setDisplayFormat(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        pEdit->setTimeSpec(Qt::UTC);
        pEdit->setDateTime(pEdit == pFrom ? m_clStoredStart : m_clStoredEnd);
        const QFontMetrics clMetrics = pEdit->fontMetrics();
        const int lShort = clMetrics.horizontalAdvance(clstrWithoutSeconds);
        const int lExtra = clMetrics.horizontalAdvance(clstrWithSeconds) - lShort;
        pEdit->setMinimumWidth(std::max(pEdit->width(), lShort) + lExtra);
    }
    ConnectPeriodEdits(true);
    CheckBox_Splitter_Utc(m_clRequest.utc ? Qt::Checked : Qt::Unchecked);
}

// A period that overlaps the source is cut to it; one wholly outside it
// would still give the records at its nearer end.
QString CDlgSplitter::PeriodRefusal() const {
    if (m_clRequest.kind != 3 || m_clSourceInfo.name.isEmpty())
        return QString();
    if (m_clRequest.periodEnd >= m_clSourceInfo.first &&
        m_clRequest.periodStart <= m_clSourceInfo.last)
        return QString();
    const QString clstrFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss");
    return tr("The period %1 to %2 (UTC) lies wholly outside the recording, which runs from %3 "
              "to %4. Nothing was split.")
        .arg(m_clRequest.periodStart.toUTC().toString(clstrFormat),
             m_clRequest.periodEnd.toUTC().toString(clstrFormat),
             m_clSourceInfo.first.toUTC().toString(clstrFormat),
             m_clSourceInfo.last.toUTC().toString(clstrFormat));
}

void CDlgSplitter::ApplyCommandLineRequest() {
    const StructCommandLine &clRequest = m_clRequest;
    SetControlText(SourcePath, clRequest.sourcePath);
    int lSplitType = 0;
    switch (clRequest.kind) {
    case 1:
    case 2:
        SetControlValue(SchemeCombo, clRequest.scheme);
        SetControlValue(UtcCheck, clRequest.utc ? 1 : 0);
        if (auto *pLength = ControlAs<QTimeEdit>(LengthEdit)) {
            const QSignalBlocker clBlock(pLength);
            pLength->setTime(clRequest.partLength);
        }
        SetControlValue(AlignCheck, clRequest.kind == 2 ? 1 : 0);
        SetControlValue(ByTimeRadio, 1);
        lSplitType = 0;
        break;
    case 3: {
        int lScheme = clRequest.scheme;
        if (clRequest.fixedNameGiven && !clRequest.fixedName.isEmpty()) {
            if (auto *pCombo = ControlAs<QComboBox>(SchemeCombo))
                pCombo->addItem(tr("Fixed name"));
            lScheme = m_lSchemeCount;
            SetControlText(FixedNamePath, clRequest.fixedName);
        }
        SetControlValue(SchemeCombo, lScheme);
        SetControlValue(UtcCheck, clRequest.utc ? 1 : 0);
        ApplyPeriodRequest();
        SetControlValue(ByPeriodRadio, 1);
        lSplitType = 1;
        break;
    }
    default:
        SetControlValue(SchemeCombo, clRequest.scheme);
        SetControlValue(UtcCheck, clRequest.utc ? 1 : 0);
        SetControlValue(NumberSpin, qint64(clRequest.partCount));
        SetControlValue(ByNumberRadio, 1);
        lSplitType = 2;
        break;
    }
    Radio_Splitter_SplitType(lSplitType);
}

void CDlgSplitter::Slot_ThreadEnds() {
    if (m_bRenaming) {
        m_bThreadEndsDeferred = true;
        return;
    }
    ReleaseWorker(m_clContext);
    bool bStart = false;
    QString clstrRefusal;
    if (m_clRequest.kind >= 1 && m_clRequest.kind <= 4) {
        ApplyCommandLineRequest();
        bStart = m_clRequest.startOption != 0;
        m_bQuitAfterRun = m_clRequest.startOption == 2;
        if (m_bQuitAfterRun)
            clstrRefusal = PeriodRefusal();
    }
    // Applied once.
    m_clRequest.kind = 0;
    if (!clstrRefusal.isEmpty()) {
        // The automated run ends here, before anything is written; the dialog
        // is no longer part of it.
        m_bQuitAfterRun = false;
        emit Signal_Gui_AdjustSize();
        m_pPrompts->ShowWarning(this, tr("Error"), clstrRefusal);
        AutomatedRunFailed();
        return;
    }
    if (m_bRestartAfterRename) {
        m_bRestartAfterRename = false;
        bStart = true;
    }
    emit Signal_Gui_AdjustSize();
    if (bStart) {
        emit Signal_Button_Splitter_StartStop();
        // Nothing started (no source, or settings that start nothing): an
        // automated run has failed and no end code will come.
        if (m_bQuitAfterRun && !WorkerHeld(m_clContext))
            AutomatedRunFailed();
    } else if (m_bQuitAfterRun) {
        ScheduleQuit();
    }
}
