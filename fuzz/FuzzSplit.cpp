// The split worker on fuzzed recordings: the input is scanned and split by
// time or into parts as the dialog does it, and every record the reader
// delivers must land in exactly one part, in reading order, as the container
// stores it. The reader is picked by the content: a container header, else a
// ".lan" marker first, else ".tmw" frames.
#include "ContainerCodec.h"
#include "FuzzReading.h"
#include "OpenFileFormat.h"
#include "SplitControl.h"
#include "SplitEvents.h"

#include <QDir>
#include <QFileInfo>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

// Answers nothing: a question would mean a part name was met twice, and the
// split then ends with a failure that is no finding.
class CFuzzEvents final : public CSplitEvents {
  public:
    void SplitterProgress(int) override {}
    void ScanEnded(const StructRunResult &clResult) override { m_bFinished = clResult.Succeeded(); }
    void SplitEnded(const StructRunResult &clResult) override {
        m_bFinished = clResult.Succeeded();
    }
    void AskForOverwrite(const QString &) override {}
    void OverwriteSourceFile(const QString &) override {}
    void RetryOpenForWriting(const QString &) override {}
    bool Finished() const { return m_bFinished; }

  private:
    bool m_bFinished = false;
};

// Every record of a file as the container writer stores it; empty entries
// stand for records it refuses.
std::vector<std::vector<uint8_t>> StoredRecords(const QString &clstrPath) {
    std::vector<std::vector<uint8_t>> clRecords;
    FileHeaderInfo clInfo{};
    const std::wstring clstrWide = clstrPath.toStdWString();
    std::unique_ptr<CVirtualFileFormat> pReader = OpenFileFormat(clstrWide.c_str(), clInfo);
    if (!pReader)
        return clRecords;
    for (;;) {
        RawRecord clRecord{};
        const FileResult enResult = pReader->ReadData(clRecord);
        if (enResult == FILE_DAMAGED)
            continue;
        if (enResult != FILE_OK)
            break;
        EncodePlan clPlan{};
        std::vector<uint8_t> &clBytes = clRecords.emplace_back();
        if (clRecord.payload != nullptr &&
            PlanRecordEncoding(clRecord, kWriterVersion, clPlan) == FILE_OK) {
            clBytes.resize(clPlan.length);
            EncodeRecord(clRecord, kWriterVersion, clPlan, clBytes.data());
        }
    }
    pReader->CloseFile();
    return clRecords;
}

const char *InputName(const uint8_t *pData, size_t lSize) {
    FileHeaderInfo clInfo{};
    if (lSize >= kContainerHeaderSize && DecodeContainerHeader(pData, clInfo) != 0)
        return "input.bvf";
    if (lSize > 0 && (pData[0] == '!' || pData[0] == 0x7F))
        return "input.lan";
    return "input.tmw";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t lSize) {
    const std::string clstrPath = FuzzFilePath(InputName(pData, lSize));
    if (!WriteWholeFile(clstrPath, pData, lSize))
        FuzzFailure("cannot write the input file");
    const QString clstrSource = QString::fromStdString(clstrPath);
    QDir clFolder = QFileInfo(clstrSource).dir();

    CFuzzEvents clEvents;
    StructWorkerContext clContext(&clEvents);
    StructSourceInfo clInfo;
    if (!StartScanWorker(clContext, clstrSource, clInfo, nullptr, 0))
        FuzzFailure("cannot start the scan");
    ReleaseWorker(clContext);
    if (clEvents.Finished()) {
        // The mode follows the input, so the corpus keeps both alive.
        StructSplitSettings clSettings;
        clSettings.namingScheme = 1;
        clSettings.mode = lSize % 2 == 0 ? SPLIT_BY_TIME : SPLIT_BY_NUMBER;
        clSettings.partLength = 60;
        clSettings.alignToUnit = true;
        clSettings.partCount = 3;
        if (StartSplitWorker(clContext, clInfo, clSettings, nullptr, 0) != SplitStart::Started)
            FuzzFailure("cannot start the split");
        ReleaseWorker(clContext);
        const QStringList clParts =
            clFolder.entryList({QStringLiteral("input__*.bvf")}, QDir::Files, QDir::Name);
        if (clEvents.Finished()) {
            std::vector<std::vector<uint8_t>> clInParts;
            for (const QString &clstrPart : clParts) {
                for (std::vector<uint8_t> &clRecord : StoredRecords(clFolder.filePath(clstrPart)))
                    clInParts.push_back(std::move(clRecord));
            }
            if (clInParts != StoredRecords(clstrSource))
                FuzzFailure("the parts do not hold every record of the source once, in order");
        }
        for (const QString &clstrPart : clParts)
            clFolder.remove(clstrPart);
    }
    return 0;
}
