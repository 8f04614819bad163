// The split worker's parts: naming, the overwrite and retry questions, and
// opening and closing the writer.
#include "FileSystem.h"
#include "PathNormalise.h"
#include "SplitEvents.h"
#include "SplitRun.h"

#include <QCoreApplication>

#include <string>

namespace {

QString NameProblemText(SplitNameResult enResult, const StructSplitName &clName) {
    switch (enResult) {
    case SplitNameResult::SourcePathTooLong:
        return FileProblemText(
            clName.sourcePath,
            QCoreApplication::translate("CDlgSplitter",
                                        "The path of the source file is longer than %1 characters.")
                .arg(kMaxPathChars));
    case SplitNameResult::NameTooLong:
        return QCoreApplication::translate(
                   "CDlgSplitter", "The name of split file %1 would be longer than %2 characters.")
            .arg(clName.partNumber)
            .arg(kMaxPathChars);
    case SplitNameResult::NoName:
        return QCoreApplication::translate("CDlgSplitter", "No name was given for the split file.");
    case SplitNameResult::TimeNotRepresentable:
        return QCoreApplication::translate(
                   "CDlgSplitter", "The start time of split file %1 can not be shown as a date.")
            .arg(clName.partNumber);
    case SplitNameResult::Ok:
        break;
    }
    return QString();
}

} // namespace

QString FileProblemText(const QString &clstrPath, const QString &clstrProblem) {
    return QStringLiteral("<%1>").arg(clstrPath) + u'\n' + clstrProblem;
}

bool CSplitRun::Fail(const QString &clstrText) {
    // The first failure is the cause; closing the part after it may fail too.
    if (!m_bFailureReported)
        m_clstrFailure = clstrText;
    m_bFailureReported = true;
    return false;
}

bool CSplitRun::OpenPart() {
    // A name that does not fit is an error: a shortened path names another file.
    const SplitNameResult enName = MakePartName(m_clName);
    if (enName != SplitNameResult::Ok)
        return Fail(NameProblemText(enName, m_clName));

    bool bReplaceAgreed = false;
    switch (AskOverwrite()) {
    case OVERWRITE_NOT_EXISTING:
        break;
    case OVERWRITE_YES:
    case OVERWRITE_YES_TO_ALL:
        bReplaceAgreed = true;
        break;
    case OVERWRITE_NO:
    case OVERWRITE_NO_TO_ALL:
        // The part gets no file; its records are dropped until the next part.
        m_pWriter.reset();
        return true;
    default:
        m_bUserEnded = true;
        return false;
    }

    if (!m_pWriter)
        m_pWriter = std::make_unique<CBrennovarstikFileFormatV1>();
    // A count-only run encodes every byte as a real one and throws them away.
    const std::wstring clstrWide =
        m_clSettings.countOnly ? std::wstring(L"/dev/null") : m_clName.outputPath.toStdWString();
    while (m_pWriter->OpenFileForWriting(
               clstrWide.c_str(), m_clHeader,
               m_clSettings.countOnly ? 0 : OutputFlags(clstrWide.c_str(), bReplaceAgreed)) !=
           FILE_OK) {
        // An output created without its header is closed, so that a retry
        // starts from a clean writer.
        (void)m_pWriter->CloseFileForWriting();
        if (!AskRetry())
            return false;
    }
    m_bPartOpen = true;
    m_clstrOpenPart = m_clName.outputPath;
    m_clPartReport = StructSplitPart();
    m_clPartReport.path = m_clName.outputPath;
    m_clWrittenParts << m_clName.outputPath;
    return true;
}

bool CSplitRun::ClosePart() {
    if (!m_bPartOpen)
        return true;
    m_bPartOpen = false;
    // A close that fails has lost records: the split has failed.
    if (m_pWriter->CloseFileForWriting() != FILE_OK)
        return Fail(FileProblemText(
            m_clstrOpenPart,
            QCoreApplication::translate("CDlgSplitter", "Can not write the file!")));
    m_clPartReport.bytes = m_pWriter->GetWrittenBytes();
    m_clEvents.SplitPartClosed(m_clPartReport);
    return true;
}

bool CSplitRun::WrittenThisRun(const QString &clstrPath) const {
    for (const QString &clstrWritten : m_clWrittenParts) {
        if (OutputIsSource(clstrPath, clstrWritten))
            return true;
    }
    return false;
}

uint8_t CSplitRun::AskOverwrite() {
    const QString &clstrOutput = m_clName.outputPath;
    const std::wstring clstrWide = clstrOutput.toStdWString();
    // A count-only run writes nothing, so its own earlier parts count as
    // there, as they would be in the real split.
    if (!PlatformPathExists(clstrWide.c_str()) &&
        !(m_clSettings.countOnly && WrittenThisRun(clstrOutput)))
        return OVERWRITE_NOT_EXISTING;
    // By the text and by the file itself, so that links and other spellings
    // of the source's path are caught too.
    if (OutputIsSource(clstrOutput, m_clstrSourceFile)) {
        if (!m_clStop.IsSet())
            m_clEvents.OverwriteSourceFile(BareFileName(clstrOutput));
        return OVERWRITE_ABORT;
    }
    std::atomic<uint8_t> &clAnswer = m_clContext.overwriteAnswer;
    const uint8_t lStanding = clAnswer;
    if (lStanding == OVERWRITE_NO_TO_ALL || lStanding == OVERWRITE_ABORT)
        return lStanding;
    // [YES to ALL] covers files that were there before, never a part that
    // this run has just written.
    if (lStanding == OVERWRITE_YES_TO_ALL && !WrittenThisRun(clstrOutput))
        return lStanding;

    const std::optional<uint8_t> clGiven =
        AskQuestion(&CSplitEvents::AskForOverwrite, clAnswer, OVERWRITE_ABORT);
    uint8_t lAnswer = clGiven.value_or(uint8_t(OVERWRITE_ABORT));
    if (lAnswer < OVERWRITE_YES || lAnswer > OVERWRITE_NO_TO_ALL)
        lAnswer = OVERWRITE_ABORT;
    // A single answer about one such part leaves [YES to ALL] standing for the rest.
    const bool bKeepStanding =
        lStanding == OVERWRITE_YES_TO_ALL && (lAnswer == OVERWRITE_YES || lAnswer == OVERWRITE_NO);
    clAnswer = bKeepStanding ? lStanding : lAnswer;
    return lAnswer;
}

bool CSplitRun::AskRetry() {
    const std::optional<uint8_t> clGiven =
        AskQuestion(&CSplitEvents::RetryOpenForWriting, m_clContext.retryAnswer, 0);
    m_bUserEnded = !clGiven || *clGiven != 1;
    return !m_bUserEnded;
}

std::optional<uint8_t> CSplitRun::AskQuestion(void (CSplitEvents::*pQuestion)(const QString &),
                                              std::atomic<uint8_t> &clAnswer, uint8_t lUnanswered) {
    // After a stop no question is asked: the run is over.
    CPlatformEvent *pAnswerEvent = m_clContext.answerEvent.get();
    if (pAnswerEvent == nullptr || m_clStop.IsSet())
        return std::nullopt;
    // An answer left over from an earlier question must not answer this one,
    // and a question closed without an answer counts as lUnanswered.
    pAnswerEvent->Reset();
    clAnswer = lUnanswered;
    m_clContext.questionOpen = true;
    (m_clEvents.*pQuestion)(BareFileName(m_clName.outputPath));
    // The stop comes first: a stop during a question is an abort, even when
    // an answer arrives at the same moment.
    const int lWoken = WaitForEitherEvent(m_clStop, *pAnswerEvent, kWaitInfinite);
    m_clContext.questionOpen = false;
    if (lWoken != 1)
        return std::nullopt;
    return clAnswer.load();
}
