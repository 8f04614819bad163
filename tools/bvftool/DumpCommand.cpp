// bvftool dump: one line per record with its kind, time, frequency and the
// key fields of its payload.
#include "Commands.h"
#include "FileSurvey.h"
#include "RecordFields.h"
#include "ToolCommon.h"

#include <QTextStream>

#include <cstdio>

namespace {

QString TetraFields(const RawRecord &clRecord) {
    const auto &clTetra = *static_cast<const TetraTmv *>(clRecord.payload);
    return QStringLiteral("hyperframe=%1 multiframe=%2 frame=%3 timeslot=%4 %5 burst=%6 "
                          "bits=%7%8")
        .arg(clTetra.hyperframe)
        .arg(clTetra.multiframe)
        .arg(clTetra.frame)
        .arg(clTetra.timeslot)
        .arg(clTetra.direction == 0 ? QStringLiteral("downlink") : QStringLiteral("uplink"))
        .arg(clTetra.burstType)
        .arg(clTetra.bitCount)
        .arg(clTetra.extended != 0 ? QStringLiteral(" extended") : QString());
}

QString DmrFields(const RawRecord &clRecord) {
    const auto &clDmr = *static_cast<const DmrTmv *>(clRecord.payload);
    QStringList clItems;
    for (int lSlot = 0; lSlot < kDmrItemSlots; ++lSlot) {
        const DmrConstItemRef clItem = DmrItemAt(clDmr, lSlot);
        if (clItem.item->itemKind != 0)
            clItems
                << QStringLiteral("%1:%2").arg(clItem.item->itemKind).arg(clItem.item->bitCount);
    }
    return QStringLiteral("timeslot=%1 burst-kind=%2 items=%3 [%4]")
        .arg(clDmr.timeslot)
        .arg(clDmr.burstKind)
        .arg(clItems.size())
        .arg(clItems.join(u' '));
}

QString GsmFields(const RawRecord &clRecord) {
    const auto &clGsm = *static_cast<const GsmTmv *>(clRecord.payload);
    return QStringLiteral("direction=%1 bits=%2").arg(clGsm.direction).arg(clGsm.bitCount);
}

QString NoticeFields(const RawRecord &clRecord) {
    const auto &clNotice = *static_cast<const NoticeTmv *>(clRecord.payload);
    QString clstrText;
    for (const uint8_t lByte : clNotice.text) {
        if (lByte == 0)
            break;
        clstrText += lByte >= 0x20 && lByte < 0x7F ? QChar(lByte) : QChar(u'?');
    }
    return QStringLiteral("code=%1 value=%2 text=\"%3\"")
        .arg(clNotice.code)
        .arg(clNotice.value)
        .arg(clstrText);
}

// Only payloads of their kind's full length are looked into.
QString PayloadFields(const RawRecord &clRecord) {
    if (clRecord.payload == nullptr)
        return QStringLiteral("no payload");
    switch (clRecord.payloadKind) {
    case PAYLOAD_TETRA:
    case PAYLOAD_TETRA_AUX:
        if (clRecord.payloadLength == kTetraTmvLength)
            return TetraFields(clRecord);
        break;
    case PAYLOAD_DMR:
        if (clRecord.payloadLength == kDmrTmvLength)
            return DmrFields(clRecord);
        break;
    case PAYLOAD_GSM:
        if (clRecord.payloadLength == kGsmTmvLength)
            return GsmFields(clRecord);
        break;
    case PAYLOAD_NOTICE:
        if (clRecord.payloadLength == kNoticeTmvLength)
            return NoticeFields(clRecord);
        break;
    default:
        break;
    }
    return QStringLiteral("length=%1").arg(clRecord.payloadLength);
}

} // namespace

int RunDump(const QStringList &clArguments) {
    CCommandParser clCommand(
        QStringLiteral("dump"),
        QStringLiteral("Prints one line per record of a recording: kind, time (UTC, with "
                       "milliseconds), frequency in Hz and the key fields of the payload: "
                       "TETRA counters, direction, burst type and bit count; DMR timeslot, "
                       "burst kind and items (kind:bits); GSM direction and bit count.\n"
                       "Exit status: 0 read to the end or to the limit, 1 the file could not "
                       "be opened or read."));
    QCommandLineParser &clParser = clCommand.Parser();
    clParser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The recording."));
    clParser.addOptions({
        {QStringLiteral("limit"), QStringLiteral("Stop after N printed records."),
         QStringLiteral("N")},
        {QStringLiteral("kinds"),
         QStringLiteral("Print only these kinds: a comma-separated list of tetra, dmr, generic, "
                        "aux, gsm, notice (or kind numbers)."),
         QStringLiteral("LIST")},
        OnlineOption(),
    });
    if (const std::optional<int> clEnd = clCommand.Parse(clArguments))
        return *clEnd;
    const QStringList clFiles = clParser.positionalArguments();
    if (clFiles.size() != 1)
        return clCommand.Fail(QStringLiteral("exactly one file is needed"));
    qint64 lLimit = -1;
    if (clParser.isSet(QStringLiteral("limit"))) {
        bool bOk = false;
        lLimit = clParser.value(QStringLiteral("limit")).toLongLong(&bOk);
        if (!bOk || lLimit < 0)
            return clCommand.Fail(QStringLiteral("--limit needs a whole number from 0 on"));
    }
    QList<uint8_t> clKinds;
    if (clParser.isSet(QStringLiteral("kinds")) &&
        !ParsePayloadKinds(clParser.value(QStringLiteral("kinds")), clKinds))
        return clCommand.Fail(
            QStringLiteral("--kinds needs a list of tetra, dmr, generic, aux, gsm, notice"));

    qint64 lPrinted = 0;
    QString clstrLines;
    auto flush = [&clstrLines] {
        PrintOut(clstrLines);
        clstrLines.clear();
    };
    const bool bOnline = clParser.isSet(QStringLiteral("online"));
    const StructFileSurvey clSurvey =
        SurveyFile(clFiles[0], -1, bOnline, [&](const RawRecord &clRecord) {
            if (lLimit >= 0 && lPrinted >= lLimit)
                return false;
            if (!clKinds.isEmpty() && !clKinds.contains(clRecord.payloadKind))
                return true;
            const std::optional<int64_t> clMs = RecordTimeMilliseconds(clRecord);
            clstrLines += QStringLiteral("%1 %2 %3 %4\n")
                              .arg(PayloadKindName(clRecord.payloadKind), -7)
                              .arg(clMs ? UtcTextMs(*clMs) : QStringLiteral("-"), -23)
                              .arg(clRecord.frequency, 10)
                              .arg(PayloadFields(clRecord));
            if (++lPrinted % 1024 == 0)
                flush();
            return lLimit < 0 || lPrinted < lLimit;
        });
    flush();
    if (!clSurvey.opened) {
        PrintFileError(clFiles[0], CannotOpenText(clFiles[0]));
        return kExitFailed;
    }
    if (clSurvey.readFailed) {
        PrintFileError(clFiles[0], QStringLiteral("reading stopped with an error"));
        return kExitFailed;
    }
    return kExitOk;
}
