// Shared pieces of the worker tests: recordings made from record lists, an
// independent look at what files hold (frames cut by their length fields,
// record times read from the payloads here), the cut rules stated plainly as
// the model that splits are compared with, a reader standing in for a source,
// and scripted CSplitEvents.
#pragma once

#include "BrennovarstikFileFormatV1.h"
#include "ContainerBytes.h"
#include "OpenFileFormat.h"
#include "ReadOnlyFileFormat.h"
#include "SplitControl.h"
#include "SplitEvents.h"
#include "WorkerContext.h"
#include "WorkerEvents.h"
#include "WorkerLoop.h"

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

#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace WorkerTestKit {

using ::Reply;

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

// Builds the RawRecord a RecordSpec describes; its payload lives in the
// builder until the next call.
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
            m_clTetra = TetraTmv{};
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
            m_clDmr = DmrTmv{};
            m_clDmr.timeslot = uint8_t(lIndex % 2);
            m_clDmr.burstKind = 1;
            m_clDmr.timeSeconds = uint64_t(clSpec.time);
            m_clDmr.milliseconds = lMs;
            m_clDmr.word1 = uint16_t(lIndex);
            m_clDmr.value48 = clSpec.frequency;
            Point(&m_clDmr, kDmrTmvLength);
            break;
        case PAYLOAD_GSM:
            m_clGsm = GsmTmv{};
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
            m_clNotice = NoticeTmv{};
            m_clNotice.code = 10000 + lIndex;
            m_clNotice.value = lIndex;
            std::memcpy(m_clNotice.text, "notice", 6);
            Point(&m_clNotice, kNoticeTmvLength);
            break;
        default: {
            const uint32_t lSize = clSpec.size != 0 ? clSpec.size : 80;
            m_clGeneric.assign(lSize, 0);
            Fill(m_clGeneric.data(), lSize, lIndex);
            // Generic payloads hold their time and frequency as native integers.
            if (lSize >= 24)
                std::memcpy(m_clGeneric.data() + 16, &clSpec.time, 8);
            if (lSize >= 72)
                std::memcpy(m_clGeneric.data() + 64, &clSpec.frequency, 8);
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

// A container holding the records in order, through our writer; the header
// start is lStart unless that is 0.
inline bool WriteRecording(const QString &clstrPath, const QList<RecordSpec> &clSpecs,
                           uint64_t lMagic = 0x5EC0DE, const RecordEdit &fnEdit = {},
                           int64_t lStart = 0) {
    CBrennovarstikFileFormatV1 clWriter;
    FileHeaderInfo clHeader = TestHeader(lMagic);
    if (lStart != 0)
        clHeader.startTime = lStart;
    const std::wstring clstrWide = clstrPath.toStdWString();
    if (clWriter.OpenFileForWriting(clstrWide.c_str(), clHeader, 2) != FILE_OK)
        return false;
    CRecordBuilder clBuilder;
    bool bWritten = true;
    for (int i = 0; i < clSpecs.size() && bWritten; ++i) {
        RawRecord clRecord = clBuilder.Build(clSpecs[i], uint32_t(i));
        if (fnEdit)
            fnEdit(i, clRecord);
        bWritten = clWriter.WriteData(clRecord) == FILE_OK;
    }
    return clWriter.CloseFileForWriting() == FILE_OK && bWritten;
}

// ---- Looking at records and files -------------------------------------------

// A record's time in seconds since 1970, read here from its payload: none for
// notices, other kinds and generic payloads too short to hold one.
inline std::optional<int64_t> TimeOf(const RawRecord &clRecord) {
    if (clRecord.payload == nullptr)
        return std::nullopt;
    uint64_t lValue = 0;
    switch (clRecord.payloadKind) {
    case PAYLOAD_TETRA:
    case PAYLOAD_TETRA_AUX:
        return int64_t(static_cast<const TetraTmv *>(clRecord.payload)->timeSeconds);
    case PAYLOAD_DMR:
        return int64_t(static_cast<const DmrTmv *>(clRecord.payload)->timeSeconds);
    case PAYLOAD_GSM:
        return int64_t(static_cast<const GsmTmv *>(clRecord.payload)->fileTime / 10000000ULL -
                       kGsmEpochSeconds);
    case PAYLOAD_GENERIC:
        if (clRecord.payloadLength < 24)
            return std::nullopt;
        std::memcpy(&lValue, static_cast<const uint8_t *>(clRecord.payload) + 16, 8);
        return int64_t(lValue);
    default:
        return std::nullopt;
    }
}

// The frequency a record states in its payload: TETRA only when marked
// valid, the others when not 0; none for other kinds and short generics.
inline std::optional<uint64_t> FrequencyOf(const RawRecord &clRecord) {
    uint64_t lHz = 0;
    switch (clRecord.payloadKind) {
    case PAYLOAD_TETRA:
    case PAYLOAD_TETRA_AUX: {
        const auto &clTetra = *static_cast<const TetraTmv *>(clRecord.payload);
        return clTetra.valueFlags & 0x10 ? std::optional<uint64_t>(clTetra.frequency)
                                         : std::nullopt;
    }
    case PAYLOAD_DMR:
        lHz = static_cast<const DmrTmv *>(clRecord.payload)->value48;
        break;
    case PAYLOAD_GSM:
        lHz = static_cast<const GsmTmv *>(clRecord.payload)->value2;
        break;
    case PAYLOAD_GENERIC:
        if (clRecord.payloadLength >= 72)
            std::memcpy(&lHz, static_cast<const uint8_t *>(clRecord.payload) + 64, 8);
        break;
    default:
        break;
    }
    return lHz != 0 ? std::optional<uint64_t>(lHz) : std::nullopt;
}

// Reads the file through the format choice to its end, handing every record
// and the reader to fnRecord. Empty when it was read to its end, otherwise
// what stopped it.
inline QString ReadRecords(const QString &clstrPath,
                           const std::function<void(RawRecord &, CVirtualFileFormat &)> &fnRecord,
                           FileHeaderInfo *pHeader = nullptr) {
    FileHeaderInfo clInfo{};
    const std::wstring clstrWide = clstrPath.toStdWString();
    std::unique_ptr<CVirtualFileFormat> pReader = OpenFileFormat(clstrWide.c_str(), clInfo);
    if (!pReader)
        return QStringLiteral("cannot open");
    if (pHeader != nullptr)
        *pHeader = clInfo;
    QString clstrProblem;
    for (;;) {
        RawRecord clRecord{};
        const FileResult enResult = pReader->ReadData(clRecord);
        if (enResult == FILE_END_OF_DATA)
            break;
        if (enResult != FILE_OK) {
            clstrProblem = QStringLiteral("result %1").arg(int(enResult));
            break;
        }
        fnRecord(clRecord, *pReader);
    }
    pReader->CloseFile();
    return clstrProblem;
}

// What a file holds as the reader sees it: per record its time ("hh:mm:ss"),
// "N" for a notice, "-" for a record without a time; a reading problem last.
inline QStringList RecordTimes(const QString &clstrPath) {
    QStringList clTimes;
    const QString clstrProblem =
        ReadRecords(clstrPath, [&](RawRecord &clRecord, CVirtualFileFormat &) {
            const std::optional<int64_t> clTime = TimeOf(clRecord);
            clTimes << (clTime                                   ? Clock(*clTime)
                        : clRecord.payloadKind == PAYLOAD_NOTICE ? QStringLiteral("N")
                                                                 : QStringLiteral("-"));
        });
    if (!clstrProblem.isEmpty())
        clTimes << clstrProblem;
    return clTimes;
}

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
    qsizetype rest = 0; // bytes after the last whole frame
};

inline ContainerFrames FramesOf(const QByteArray &clBytes) {
    ContainerFrames clResult;
    clResult.header = clBytes.left(ContainerBytes::kHeaderSize);
    qsizetype lAt = ContainerBytes::kHeaderSize;
    while (lAt + 4 <= clBytes.size()) {
        const uint32_t lLength = ContainerBytes::Be32At(clBytes, int(lAt));
        if (lLength < uint32_t(ContainerBytes::kFrameHead) || lLength > clBytes.size() - lAt)
            break;
        clResult.frames << clBytes.mid(lAt, lLength);
        lAt += lLength;
    }
    clResult.rest = std::max<qsizetype>(0, clBytes.size() - lAt);
    clResult.ok = clBytes.size() >= ContainerBytes::kHeaderSize && clResult.rest == 0;
    return clResult;
}

inline ContainerFrames FramesOf(const QString &clstrPath) {
    return FramesOf(FileBytes(clstrPath));
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

// A part description (DescribeParts) with every time in it, in the part's
// name and its records, moved by lSeconds. Record times stay on their day.
inline QString ShiftedDescription(const QString &clstrText, int64_t lSeconds) {
    static const QRegularExpression kTime(QStringLiteral(
        R"((\d{4}-\d\d-\d\d)_(\d\d)\.(\d\d)\.(\d\d)|(?<![\d.])(\d\d):(\d\d):(\d\d))"));
    QString clstrOut;
    qsizetype lAt = 0;
    for (const QRegularExpressionMatch &clMatch : kTime.globalMatch(clstrText)) {
        clstrOut += clstrText.mid(lAt, clMatch.capturedStart() - lAt);
        lAt = clMatch.capturedEnd();
        const auto fnNumber = [&clMatch](int i) { return clMatch.captured(i).toInt(); };
        if (clMatch.hasCaptured(1))
            clstrOut += QDateTime(QDate::fromString(clMatch.captured(1), Qt::ISODate),
                                  QTime(fnNumber(2), fnNumber(3), fnNumber(4)), QTimeZone::utc())
                            .addSecs(lSeconds)
                            .toString(QStringLiteral("yyyy-MM-dd_hh.mm.ss"));
        else
            clstrOut += QTime(fnNumber(5), fnNumber(6), fnNumber(7))
                            .addSecs(int(lSeconds))
                            .toString(QStringLiteral("hh:mm:ss"));
    }
    return clstrOut + clstrText.mid(lAt);
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

// ---- The cut rules, stated plainly --------------------------------------------

// A record as the cut rules see it: its time after any shift (none for kinds
// without one, or a glitch) and the reader's consumed position after it.
struct CutInput {
    std::optional<int64_t> time;
    uint64_t consumed = 0;
};
// What happens to one record: 'W' written into the open part, 'N' written
// into a new part, 'S' skipped, 'E' the split ends; then the open part's
// number and the time that names it.
struct CutStep {
    char action = 'W';
    uint32_t part = 1;
    int64_t start = 0;
};

// lFirst: the source's first time as the scan found it, moved by the offset;
// lSize: the source's size in bytes. The returned list starts with the state
// before the first record (action ' ').
inline QList<CutStep> ModelCuts(const QList<CutInput> &clRecords, const StructSplitSettings &clSet,
                                int64_t lFirst, uint64_t lSize) {
    constexpr int64_t kLast = std::numeric_limits<int64_t>::max();
    // By time a part ends one length after its first record, or with aligned
    // parts at the next multiple of the length since 1970 (a day when none
    // is set); a record at or after that moment begins the next part.
    const int64_t L = clSet.partLength > 0 ? clSet.partLength : 86400;
    const auto fnEnd = [&](int64_t t) {
        const int64_t lFrom = clSet.alignToUnit ? t - t % L : t;
        return lFrom > kLast - L ? kLast : lFrom + L;
    };
    // By number part k may take records until the reader has consumed k
    // n-ths of the source (whole bytes); a part never stays empty, and the
    // last one takes the rest. It is named after the latest time seen.
    const uint32_t n = std::max<uint32_t>(clSet.partCount, 1);
    const auto fnLimit = [&](uint32_t k) {
        return k >= n ? std::numeric_limits<uint64_t>::max()
                      : uint64_t(double(k) * (double(lSize) / double(n)));
    };
    CutStep clState{' ', 1, clSet.mode == SPLIT_BY_PERIOD ? clSet.periodStart : lFirst};
    QList<CutStep> clSteps{clState};
    int64_t lPartEnd = fnEnd(lFirst);
    int64_t lLatest = lFirst;
    bool bStarted = false, bEnded = false, bHolds = false;
    for (const CutInput &clRecord : clRecords) {
        const std::optional<int64_t> t = clRecord.time;
        clState.action = 'W';
        if (clSet.mode == SPLIT_BY_TIME && t && *t >= lPartEnd) {
            clState = {'N', clState.part + 1, *t};
            lPartEnd = fnEnd(*t);
        } else if (clSet.mode == SPLIT_BY_PERIOD) {
            // From the first record at or after the start until the first one
            // after the end, whatever the times in between.
            bStarted = bStarted || (t && *t >= clSet.periodStart);
            bEnded = bEnded || (bStarted && t && *t > clSet.periodEnd);
            clState.action = bEnded ? 'E' : bStarted ? 'W' : 'S';
        } else if (clSet.mode == SPLIT_BY_NUMBER) {
            lLatest = t.value_or(lLatest);
            if (bHolds && clRecord.consumed > fnLimit(clState.part))
                clState = {'N', clState.part + 1, lLatest};
            bHolds = true;
        } else if (clSet.mode > SPLIT_BY_NUMBER) {
            clState.action = 'E';
        }
        clSteps << clState;
    }
    return clSteps;
}

// ---- A reader standing in for a source ------------------------------------------

struct ReadCounts {
    uint64_t delivered = 0; // records handed out
    uint64_t afterStop = 0; // of those, handed out after the stop request
    bool stopped = false;
};

// Hands out the records of the real reader and counts them into clCounts,
// which outlive it; once lStopAt records have been handed out in all it calls
// fnAtStop; after lFailAfter records of its own it answers enFailure for good.
class CStandInReader final : public CReadOnlyFileFormat {
  public:
    CStandInReader(SourceReader pInner, ReadCounts &clCounts, uint64_t lStopAt,
                   std::function<void()> fnAtStop, uint64_t lFailAfter, FileResult enFailure)
        : m_pInner(std::move(pInner)), m_clCounts(clCounts), m_lStopAt(lStopAt),
          m_fnAtStop(std::move(fnAtStop)), m_lFailAfter(lFailAfter), m_enFailure(enFailure) {}

    FileResult OpenFile(const wchar_t *, FileHeaderInfo &, uint8_t) override {
        return FILE_WRONG_STATE;
    }
    FileResult ReadData(RawRecord &clRecord) override {
        if (m_lOwn >= m_lFailAfter)
            return m_enFailure;
        const FileResult enResult = m_pInner->ReadData(clRecord);
        if (enResult != FILE_OK)
            return enResult;
        ++m_lOwn;
        if (m_clCounts.stopped)
            ++m_clCounts.afterStop;
        if (++m_clCounts.delivered == m_lStopAt) {
            m_clCounts.stopped = true;
            m_fnAtStop();
        }
        return enResult;
    }
    void CloseFile() override { m_pInner.reset(); }
    double GetProgress() override { return m_pInner ? m_pInner->GetProgress() : 0; }
    uint64_t GetFileSize(bool bTotal) override {
        return m_pInner ? m_pInner->GetFileSize(bTotal) : 0;
    }
    const wchar_t *GetFileName() override { return m_pInner ? m_pInner->GetFileName() : L""; }
    bool IsOnlineFile() override { return m_pInner && m_pInner->IsOnlineFile(); }

  private:
    SourceReader m_pInner;
    ReadCounts &m_clCounts;
    uint64_t m_lStopAt;
    std::function<void()> m_fnAtStop;
    uint64_t m_lFailAfter;
    FileResult m_enFailure;
    uint64_t m_lOwn = 0;
};

// Opens sources as the workers do, each (or only clstrOnly) behind a stand-in.
inline std::function<SourceReader(const QString &, FileHeaderInfo &)>
StandInOpener(ReadCounts &clCounts, uint64_t lStopAt, std::function<void()> fnAtStop,
              const QString &clstrOnly = {}, uint64_t lFailAfter = ~uint64_t(0),
              FileResult enFailure = FILE_OK) {
    return [=, &clCounts](const QString &clstrPath, FileHeaderInfo &clInfo) {
        SourceReader pReader = OpenSource(clstrPath, clInfo);
        if (!pReader || (!clstrOnly.isEmpty() && clstrPath != clstrOnly))
            return pReader;
        return SourceReader(new CStandInReader(std::move(pReader), clCounts, lStopAt, fnAtStop,
                                               lFailAfter, enFailure));
    };
}

// ---- Scripted events and the dialog's side ------------------------------------

class CScriptedEvents final : public CSplitEvents, public CEventsScript {
  public:
    void SplitterProgress(int lCode) override { Progress(lCode); }
    // Ends are recorded as the codes the dialog turns them into.
    void ScanEnded(const StructRunResult &clResult) override {
        Progress(clResult.Succeeded() ? 1000 : -1);
    }
    void SplitEnded(const StructRunResult &clResult) override {
        if (!clResult.reason.isEmpty())
            Append(QStringLiteral("failed ") + clResult.reason);
        Progress(clResult.Succeeded() ? 2000 : -1);
    }
    void SplitterNotice(const QString &clstrText) override {
        Append(QStringLiteral("notice ") + clstrText);
    }
    void AskForOverwrite(const QString &clstrFileName) override {
        Answer(QStringLiteral("ask:") + clstrFileName, false);
    }
    void OverwriteSourceFile(const QString &clstrFileName) override {
        Append(QStringLiteral("source:") + clstrFileName);
    }
    void RetryOpenForWriting(const QString &clstrFileName) override {
        Answer(QStringLiteral("retry:") + clstrFileName, true);
    }

  private:
    void Answer(const QString &clstrQuestion, bool bRetry) {
        StructWorkerContext *pContext = m_pContext;
        Ask(clstrQuestion, Reply::Code(bRetry ? 0 : OVERWRITE_ABORT),
            [pContext, bRetry](const Reply &clReply) {
                if (bRetry)
                    AnswerRetryQuestion(*pContext, clReply.code != 0);
                else
                    AnswerOverwriteQuestion(*pContext, clReply.code);
                return QString();
            });
    }
};

// The context as the dialog sets it up for a run, for a worker body run on
// the test's own thread with its own way of opening sources.
inline void PrepareDirectRun(StructWorkerContext &clContext, const QStringList &clFiles,
                             StructSourceInfo &clSource) {
    clContext.stopEvent = std::make_unique<CPlatformEvent>(true, false);
    clContext.doneEvent = std::make_unique<CPlatformEvent>(false, false);
    clContext.answerEvent = std::make_unique<CPlatformEvent>(false, false);
    clContext.fileList = std::make_unique<QStringList>(clFiles);
    clContext.mergeDestination = std::make_unique<QString>();
    clContext.mergeOutputs = std::make_unique<QStringList>();
    clContext.sourceInfo = &clSource;
}

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
