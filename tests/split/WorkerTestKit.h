// Shared pieces of the worker tests: recordings made from record lists, an
// independent look at what the parts hold (their frames byte by byte, and the
// records' times through the reader), and a scripted CSplitEvents that
// answers the questions of a run and records everything it is told.
#pragma once

#include "BrennovarstikFileFormatV1.h"
#include "ContainerBytes.h"
#include "OpenFileFormat.h"
#include "SplitControl.h"
#include "SplitEvents.h"
#include "WorkerContext.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QTimeZone>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace WorkerTestKit {

// ---- Time --------------------------------------------------------------

constexpr uint64_t kGsmEpochSeconds = 11644473600ULL; // 1601-01-01 to 1970-01-01

// Seconds since 1970 of "yyyy-MM-dd hh:mm:ss" in UTC, or of "hh:mm:ss" on
// 2024-03-07, the day most tests use.
inline int64_t At(const char *pText) {
    int y = 2024, mo = 3, d = 7, h = 0, mi = 0, s = 0;
    if (std::strlen(pText) == 8)
        std::sscanf(pText, "%d:%d:%d", &h, &mi, &s);
    else
        std::sscanf(pText, "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s);
    constexpr int64_t kJulianDayOf1970 = 2440588;
    return (QDate(y, mo, d).toJulianDay() - kJulianDayOf1970) * 86400 + h * 3600 + mi * 60 + s;
}

// The reverse of At: "hh:mm:ss" on 2024-03-07, the full text otherwise.
inline QString Clock(int64_t lSeconds) {
    const QDateTime clTime = QDateTime::fromSecsSinceEpoch(lSeconds, QTimeZone::utc());
    if (clTime.date() == QDate(2024, 3, 7))
        return clTime.toString(QStringLiteral("hh:mm:ss"));
    return clTime.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

// ---- Records -----------------------------------------------------------

// One record of a test recording. Records of one list differ from each other
// by their index (milliseconds, data bytes, counters), so that every record
// of a source can be recognised in the parts.
struct RecordSpec {
    uint8_t kind = PAYLOAD_TETRA;
    int64_t time = 0;       // seconds since 1970; generic: bytes 16..23, native order
    uint64_t frequency = 0; // 0: the record states none
    uint32_t size = 0;      // generic payload length (default 80), TETRA/GSM data bytes (default 8)
};

inline RecordSpec Tetra(int64_t lTime, uint64_t lHz = 0) {
    return {PAYLOAD_TETRA, lTime, lHz, 0};
}
inline RecordSpec Aux(int64_t lTime, uint64_t lHz = 0) {
    return {PAYLOAD_TETRA_AUX, lTime, lHz, 0};
}
inline RecordSpec Dmr(int64_t lTime, uint64_t lHz = 0) {
    return {PAYLOAD_DMR, lTime, lHz, 0};
}
inline RecordSpec Gsm(int64_t lTime, uint64_t lHz = 0) {
    return {PAYLOAD_GSM, lTime, lHz, 0};
}
inline RecordSpec Generic(int64_t lTime, uint32_t lSize = 80, uint64_t lHz = 0) {
    return {PAYLOAD_GENERIC, lTime, lHz, lSize};
}
inline RecordSpec Notice() {
    return {PAYLOAD_NOTICE, 0, 0, 0};
}

// Builds the RawRecord a RecordSpec describes; its payload lives in the builder until the
// next call.
class CRecordBuilder {
  public:
    const RawRecord &Build(const RecordSpec &clSpec, uint32_t lIndex) {
        m_clRecord = RawRecord{};
        m_clRecord.recordClass = 2;
        m_clRecord.payloadKind = clSpec.kind;
        m_clRecord.frequency = clSpec.frequency;
        m_clRecord.sourceByte = uint8_t(lIndex);
        m_clRecord.symbolRate = 18000;
        const uint16_t lMs = uint16_t(lIndex % 1000);
        const uint32_t lData = clSpec.size != 0 ? clSpec.size : 8;
        switch (clSpec.kind) {
        case PAYLOAD_TETRA:
        case PAYLOAD_TETRA_AUX:
            std::memset(&m_clTetra, 0, sizeof(m_clTetra));
            m_clTetra.timeSeconds = uint64_t(clSpec.time);
            m_clTetra.milliseconds = lMs;
            m_clTetra.hyperframe = uint16_t(lIndex);
            m_clTetra.multiframe = 1 + lIndex % 60;
            m_clTetra.frame = 1 + lIndex % 18;
            m_clTetra.timeslot = 1 + lIndex % 4;
            m_clTetra.valueFlags = clSpec.frequency != 0 ? 0x10 : 0;
            m_clTetra.frequency = clSpec.frequency;
            m_clTetra.bitCount = uint16_t(lData * 8);
            Fill(m_clTetra.data, lData, lIndex);
            Point(&m_clTetra, kTetraTmvLength);
            break;
        case PAYLOAD_DMR:
            std::memset(&m_clDmr, 0, sizeof(m_clDmr));
            m_clDmr.timeslot = uint8_t(lIndex % 2);
            m_clDmr.burstKind = 1;
            m_clDmr.timeSeconds = uint64_t(clSpec.time);
            m_clDmr.milliseconds = lMs;
            m_clDmr.word1 = uint16_t(lIndex);
            m_clDmr.value48 = clSpec.frequency;
            Point(&m_clDmr, kDmrTmvLength);
            break;
        case PAYLOAD_GSM:
            std::memset(&m_clGsm, 0, sizeof(m_clGsm));
            m_clGsm.fileTime =
                (uint64_t(clSpec.time) + kGsmEpochSeconds) * 10000000ULL + uint64_t(lMs) * 10000;
            m_clGsm.value1 = lIndex;
            m_clGsm.byte1 = clSpec.frequency != 0 ? 0x10 : 0;
            m_clGsm.value2 = clSpec.frequency;
            m_clGsm.bitCount = uint16_t(lData * 8);
            Fill(m_clGsm.data, lData, lIndex);
            Point(&m_clGsm, kGsmTmvLength);
            break;
        case PAYLOAD_NOTICE:
            std::memset(&m_clNotice, 0, sizeof(m_clNotice));
            m_clNotice.code = 10000 + lIndex;
            m_clNotice.value = lIndex;
            std::memcpy(m_clNotice.text, "notice", 6);
            Point(&m_clNotice, kNoticeTmvLength);
            break;
        default: {
            const uint32_t lSize = clSpec.size != 0 ? clSpec.size : 80;
            m_clGeneric.assign(lSize, 0);
            Fill(m_clGeneric.data(), lSize, lIndex);
            PutNative(16, uint64_t(clSpec.time), lSize);
            PutNative(64, clSpec.frequency, lSize);
            Point(m_clGeneric.data(), lSize);
            break;
        }
        }
        return m_clRecord;
    }

  private:
    static void Fill(uint8_t *pData, uint32_t lLength, uint32_t lIndex) {
        for (uint32_t i = 0; i < lLength; ++i)
            pData[i] = uint8_t(lIndex * 7 + i);
    }
    // Generic payloads hold their time and frequency as native integers.
    void PutNative(uint32_t lAt, uint64_t lValue, uint32_t lSize) {
        if (lAt + 8 <= lSize)
            std::memcpy(m_clGeneric.data() + lAt, &lValue, 8);
    }
    void Point(void *pPayload, uint32_t lLength) {
        m_clRecord.payload = pPayload;
        m_clRecord.payloadLength = lLength;
    }

    RawRecord m_clRecord{};
    TetraTmv m_clTetra{};
    DmrTmv m_clDmr{};
    GsmTmv m_clGsm{};
    NoticeTmv m_clNotice{};
    std::vector<uint8_t> m_clGeneric;
};

inline FileHeaderInfo TestHeader(uint64_t lMagic) {
    FileHeaderInfo clInfo{};
    clInfo.infoType = 1;
    clInfo.fileMagic = lMagic;
    clInfo.startTime = At("10:00:00");
    std::strcpy(clInfo.recordingType, "TETRA");
    std::strcpy(clInfo.infoText1, "worker test");
    return clInfo;
}

// Changes record lIndex, its payload included, before it is written.
using RecordEdit = std::function<void(int lIndex, RawRecord &clRecord)>;

// A container holding the records in order, through our writer.
inline bool WriteRecording(const QString &clstrPath, const QList<RecordSpec> &clSpecs,
                           uint64_t lMagic = 0x5EC0DE, const RecordEdit &fnEdit = {}) {
    CBrennovarstikFileFormatV1 clWriter;
    const std::wstring clstrWide = clstrPath.toStdWString();
    if (clWriter.OpenFileForWriting(clstrWide.c_str(), TestHeader(lMagic), 2) != FILE_OK)
        return false;
    CRecordBuilder clBuilder;
    for (int i = 0; i < clSpecs.size(); ++i) {
        RawRecord clRecord = clBuilder.Build(clSpecs[i], uint32_t(i));
        if (fnEdit)
            fnEdit(i, clRecord);
        if (clWriter.WriteData(clRecord) != FILE_OK) {
            clWriter.CloseFileForWriting();
            return false;
        }
    }
    return clWriter.CloseFileForWriting() == FILE_OK;
}

// ---- Looking at files ------------------------------------------------------

inline QByteArray FileBytes(const QString &clstrPath) {
    QFile clFile(clstrPath);
    if (!clFile.open(QIODevice::ReadOnly))
        return {};
    return clFile.readAll();
}

inline bool WriteBytes(const QString &clstrPath, const QByteArray &clBytes) {
    QFile clFile(clstrPath);
    return clFile.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           clFile.write(clBytes) == clBytes.size();
}

// A container cut into its header and frames by the length fields alone.
struct ContainerFrames {
    bool ok = false; // the frames fill the file exactly
    QByteArray header;
    QList<QByteArray> frames;
};

inline ContainerFrames FramesOf(const QByteArray &clBytes) {
    ContainerFrames clResult;
    if (clBytes.size() < ContainerBytes::kHeaderSize)
        return clResult;
    clResult.header = clBytes.left(ContainerBytes::kHeaderSize);
    int lAt = ContainerBytes::kHeaderSize;
    while (lAt + 4 <= clBytes.size()) {
        const uint32_t lLength = ContainerBytes::Be32At(clBytes, lAt);
        if (lLength < uint32_t(ContainerBytes::kFrameHead) ||
            lLength > uint32_t(clBytes.size() - lAt))
            return clResult;
        clResult.frames << clBytes.mid(lAt, int(lLength));
        lAt += int(lLength);
    }
    clResult.ok = lAt == clBytes.size();
    return clResult;
}

inline ContainerFrames FramesOf(const QString &clstrPath) {
    return FramesOf(FileBytes(clstrPath));
}

// What a part holds as the reader sees it: per record its time ("hh:mm:ss"),
// "N" for a notice, "-" for a generic record without a time. Read without the
// split's own record-time code.
inline QStringList RecordTimes(const QString &clstrPath) {
    FileHeaderInfo clInfo{};
    const std::wstring clstrWide = clstrPath.toStdWString();
    std::unique_ptr<CVirtualFileFormat> pReader = OpenFileFormat(clstrWide.c_str(), clInfo);
    if (!pReader)
        return {QStringLiteral("cannot open")};
    QStringList clTimes;
    for (;;) {
        RawRecord clRecord{};
        const FileResult enResult = pReader->ReadData(clRecord);
        if (enResult == FILE_END_OF_DATA)
            break;
        if (enResult != FILE_OK) {
            clTimes << QStringLiteral("result %1").arg(int(enResult));
            break;
        }
        switch (clRecord.payloadKind) {
        case PAYLOAD_TETRA:
        case PAYLOAD_TETRA_AUX:
            clTimes << Clock(int64_t(static_cast<const TetraTmv *>(clRecord.payload)->timeSeconds));
            break;
        case PAYLOAD_DMR:
            clTimes << Clock(int64_t(static_cast<const DmrTmv *>(clRecord.payload)->timeSeconds));
            break;
        case PAYLOAD_GSM:
            clTimes << Clock(
                int64_t(static_cast<const GsmTmv *>(clRecord.payload)->fileTime / 10000000ULL -
                        kGsmEpochSeconds));
            break;
        case PAYLOAD_NOTICE:
            clTimes << QStringLiteral("N");
            break;
        default:
            if (clRecord.payloadLength >= 24) {
                uint64_t lTime = 0;
                std::memcpy(&lTime, static_cast<const uint8_t *>(clRecord.payload) + 16, 8);
                clTimes << Clock(int64_t(lTime));
            } else {
                clTimes << QStringLiteral("-");
            }
            break;
        }
    }
    pReader->CloseFile();
    return clTimes;
}

// The files of a folder other than the named ones, sorted by name.
inline QStringList FilesIn(const QString &clstrFolder, const QStringList &clExcept = {}) {
    QStringList clFiles =
        QDir(clstrFolder).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &clstrName : clExcept)
        clFiles.removeAll(clstrName);
    return clFiles;
}

// Every part as "name: time time ...", in name order.
inline QStringList DescribeParts(const QString &clstrFolder, const QStringList &clExcept) {
    QStringList clParts;
    for (const QString &clstrName : FilesIn(clstrFolder, clExcept))
        clParts << clstrName + QStringLiteral(": ") +
                       RecordTimes(QDir(clstrFolder).filePath(clstrName)).join(u' ');
    return clParts;
}

// The text with every match of the expression replaced by fnReplace's result.
inline QString
ReplaceMatches(const QString &clstrText, const QRegularExpression &clExpression,
               const std::function<QString(const QRegularExpressionMatch &)> &fnReplace) {
    QString clstrOut;
    qsizetype lAt = 0;
    for (const QRegularExpressionMatch &clMatch : clExpression.globalMatch(clstrText)) {
        clstrOut += clstrText.mid(lAt, clMatch.capturedStart() - lAt) + fnReplace(clMatch);
        lAt = clMatch.capturedEnd();
    }
    return clstrOut + clstrText.mid(lAt);
}

// A part description (DescribeParts) with every time in it, in the part's
// name and its records, moved by lSeconds. Record times stay on their day.
inline QString ShiftedDescription(const QString &clstrText, int64_t lSeconds) {
    static const QRegularExpression kName(
        QStringLiteral(R"((\d{4}-\d\d-\d\d)_(\d\d)\.(\d\d)\.(\d\d))"));
    static const QRegularExpression kClock(QStringLiteral(R"((?<![\d.])(\d\d):(\d\d):(\d\d))"));
    const QString clstrNamed =
        ReplaceMatches(clstrText, kName, [lSeconds](const QRegularExpressionMatch &clMatch) {
            const QTime clTime(clMatch.captured(2).toInt(), clMatch.captured(3).toInt(),
                               clMatch.captured(4).toInt());
            return QDateTime(QDate::fromString(clMatch.captured(1), Qt::ISODate), clTime,
                             QTimeZone::utc())
                .addSecs(lSeconds)
                .toString(QStringLiteral("yyyy-MM-dd_hh.mm.ss"));
        });
    return ReplaceMatches(clstrNamed, kClock, [lSeconds](const QRegularExpressionMatch &clMatch) {
        return QTime(clMatch.captured(1).toInt(), clMatch.captured(2).toInt(),
                     clMatch.captured(3).toInt())
            .addSecs(int(lSeconds))
            .toString(QStringLiteral("hh:mm:ss"));
    });
}

// The frames at the given indexes, in that order.
inline QList<QByteArray> Pick(const QList<QByteArray> &clFrames, const QList<int> &clIndexes) {
    QList<QByteArray> clPicked;
    for (int i : clIndexes)
        clPicked << clFrames.value(i);
    return clPicked;
}

// Empty when the parts, in the given order, hold exactly the expected frames
// (each frame once, byte for byte) and each carries the expected header;
// otherwise what differs first.
inline QString CompareParts(const QStringList &clParts, const QByteArray &clHeader,
                            const QList<QByteArray> &clExpected) {
    QList<QByteArray> clFound;
    for (const QString &clstrPart : clParts) {
        const ContainerFrames clFrames = FramesOf(clstrPart);
        if (!clFrames.ok)
            return QStringLiteral("%1: not whole frames").arg(clstrPart);
        if (clFrames.header != clHeader)
            return QStringLiteral("%1: header differs from the source's").arg(clstrPart);
        clFound << clFrames.frames;
    }
    if (clFound.size() != clExpected.size())
        return QStringLiteral("%1 records in the parts, %2 expected")
            .arg(clFound.size())
            .arg(clExpected.size());
    for (int i = 0; i < clFound.size(); ++i) {
        if (clFound[i] != clExpected[i])
            return QStringLiteral("record %1 differs").arg(i);
    }
    return QString();
}

// ---- Scripted events -----------------------------------------------------

// How one question is answered.
struct Reply {
    enum Kind : uint8_t {
        Answer,   // store the code and set the answer event
        Close,    // set the answer event without storing anything
        Stop,     // press Stop while the question is shown
        NoAnswer, // leave the question open
    };
    Kind kind = Answer;
    uint8_t code = 0;             // overwrite answer, or 1 retry / 0 give up
    bool fromOtherThread = false; // answered a little later by another thread
    std::function<void()> before; // runs first, e.g. to clear the way for a retry

    static Reply Code(uint8_t lCode, bool bLater = false) {
        Reply clReply;
        clReply.code = lCode;
        clReply.fromOtherThread = bLater;
        return clReply;
    }
    static Reply Of(Kind enKind, bool bLater = false) {
        Reply clReply;
        clReply.kind = enKind;
        clReply.fromOtherThread = bLater;
        return clReply;
    }
};

class CScriptedEvents final : public CSplitEvents {
  public:
    ~CScriptedEvents() override { JoinHelpers(); }

    void Attach(StructWorkerContext &clContext) { m_pContext = &clContext; }
    // The replies to the questions in the order they are asked.
    void Script(const QList<Reply> &clReplies) {
        std::lock_guard clLock(m_clMutex);
        m_clReplies = clReplies;
    }
    // Runs on the worker's thread with every progress code.
    void OnProgress(std::function<void(int)> fnHook) { m_fnOnProgress = std::move(fnHook); }

    void SplitterProgress(int lCode) override {
        {
            std::lock_guard clLock(m_clMutex);
            m_clCodes << lCode;
            if (lCode == 1000 || lCode == 2000 || lCode == -1) {
                m_lEndCode = lCode;
                m_clEnded.notify_all();
            }
        }
        if (m_fnOnProgress)
            m_fnOnProgress(lCode);
    }
    // Ends are recorded as the codes the dialog turns them into.
    void ScanEnded(const StructRunResult &clResult) override {
        SplitterProgress(clResult.Succeeded() ? 1000 : -1);
    }
    void SplitEnded(const StructRunResult &clResult) override {
        if (!clResult.reason.isEmpty()) {
            std::lock_guard clLock(m_clMutex);
            m_clErrors << clResult.reason;
        }
        SplitterProgress(clResult.Succeeded() ? 2000 : -1);
    }
    void SplitterNotice(const QString &clstrText) override {
        std::lock_guard clLock(m_clMutex);
        m_clNotices << clstrText;
    }
    void AskForOverwrite(const QString &clstrFileName) override {
        Ask(QStringLiteral("ask:") + clstrFileName, false);
    }
    void OverwriteSourceFile(const QString &clstrFileName) override {
        std::lock_guard clLock(m_clMutex);
        m_clQuestions << QStringLiteral("source:") + clstrFileName;
    }
    void RetryOpenForWriting(const QString &clstrFileName) override {
        Ask(QStringLiteral("retry:") + clstrFileName, true);
    }

    // The end code of the run (1000, 2000 or -1), 0 when none came in time.
    int WaitForEnd(unsigned long lTimeoutMs = 15000) {
        std::unique_lock clLock(m_clMutex);
        m_clEnded.wait_for(clLock, std::chrono::milliseconds(lTimeoutMs),
                           [this] { return m_lEndCode != 0; });
        return m_lEndCode;
    }
    // Forgets the last run, for a second run with the same events.
    void Restart() {
        JoinHelpers();
        std::lock_guard clLock(m_clMutex);
        m_lEndCode = 0;
        m_clCodes.clear();
        m_clQuestions.clear();
        m_clErrors.clear();
        m_clNotices.clear();
    }
    void JoinHelpers() {
        for (std::thread &clHelper : m_clHelpers)
            clHelper.join();
        m_clHelpers.clear();
    }

    QList<int> Codes() {
        std::lock_guard clLock(m_clMutex);
        return m_clCodes;
    }
    QStringList Questions() {
        std::lock_guard clLock(m_clMutex);
        return m_clQuestions;
    }
    QStringList Errors() {
        std::lock_guard clLock(m_clMutex);
        return m_clErrors;
    }
    QStringList Notices() {
        std::lock_guard clLock(m_clMutex);
        return m_clNotices;
    }

  private:
    void Ask(const QString &clstrEntry, bool bRetry) {
        Reply clReply;
        {
            std::lock_guard clLock(m_clMutex);
            m_clQuestions << clstrEntry;
            if (m_clReplies.isEmpty()) {
                // Not in the script: the test fails on the question list, and
                // the run ends instead of hanging.
                m_clQuestions << QStringLiteral("(unscripted)");
                clReply = Reply::Code(bRetry ? 0 : OVERWRITE_ABORT);
            } else {
                clReply = m_clReplies.takeFirst();
            }
        }
        StructWorkerContext *pContext = m_pContext;
        auto fnReply = [pContext, clReply, bRetry]() {
            if (clReply.fromOtherThread)
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
            if (clReply.before)
                clReply.before();
            switch (clReply.kind) {
            case Reply::Answer:
                if (bRetry)
                    AnswerRetryQuestion(*pContext, clReply.code != 0);
                else
                    AnswerOverwriteQuestion(*pContext, clReply.code);
                break;
            case Reply::Close:
                pContext->answerEvent->Set();
                break;
            case Reply::Stop:
                RequestWorkerStop(*pContext);
                break;
            case Reply::NoAnswer:
                break;
            }
        };
        if (clReply.fromOtherThread)
            m_clHelpers.emplace_back(fnReply);
        else
            fnReply();
    }

    StructWorkerContext *m_pContext = nullptr;
    std::mutex m_clMutex;
    std::condition_variable m_clEnded;
    QList<Reply> m_clReplies;
    QList<int> m_clCodes;
    QStringList m_clQuestions;
    QStringList m_clErrors;
    QStringList m_clNotices;
    int m_lEndCode = 0;
    std::function<void(int)> m_fnOnProgress;
    std::vector<std::thread> m_clHelpers;
};

// The dialog's side of a run: events, context and source description.
struct WorkerRig {
    CScriptedEvents events;
    StructWorkerContext context{&events};
    StructSourceInfo source;
    // The loaded protocol components the workers are given.
    StructProtoComponent *components = nullptr;
    uint32_t componentCount = 0;

    WorkerRig() { events.Attach(context); }
    ~WorkerRig() {
        ReleaseWorker(context);
        events.JoinHelpers();
    }

    // Scans the path as loading a source does; the end code.
    int Scan(const QString &clstrPath) {
        events.Restart();
        if (!StartScanWorker(context, clstrPath, source, components, componentCount))
            return 0;
        const int lCode = events.WaitForEnd();
        ReleaseWorker(context);
        return lCode;
    }
    // Splits the scanned source; the end code.
    int Split(const StructSplitSettings &clSettings) {
        events.Restart();
        if (StartSplitWorker(context, source, clSettings, components, componentCount) !=
            SplitStart::Started)
            return 0;
        const int lCode = events.WaitForEnd();
        ReleaseWorker(context);
        events.JoinHelpers();
        return lCode;
    }
};

// ---- Settings ----------------------------------------------------------

inline StructSplitSettings ByTime(int64_t lLength, bool bAlign, uint32_t lScheme = 2) {
    StructSplitSettings clSettings;
    clSettings.mode = SPLIT_BY_TIME;
    clSettings.partLength = lLength;
    clSettings.alignToUnit = bAlign;
    clSettings.namingScheme = lScheme;
    return clSettings;
}

inline StructSplitSettings ByPeriod(int64_t lFrom, int64_t lTo, uint32_t lScheme = 2) {
    StructSplitSettings clSettings;
    clSettings.mode = SPLIT_BY_PERIOD;
    clSettings.periodStart = lFrom;
    clSettings.periodEnd = lTo;
    clSettings.namingScheme = lScheme;
    return clSettings;
}

inline StructSplitSettings ByNumber(uint32_t lCount, uint32_t lScheme = 1) {
    StructSplitSettings clSettings;
    clSettings.mode = SPLIT_BY_NUMBER;
    clSettings.partCount = lCount;
    clSettings.namingScheme = lScheme;
    return clSettings;
}

} // namespace WorkerTestKit
